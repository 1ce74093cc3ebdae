// tilo_window: a view tree an engine hosts. It owns the platform window, its root view
// controller (what full-screen ads are shown from) and a renderer that keeps its pixels
// between frames and redraws only what changed.
//
//   auto window = TiloObjCWindow::create(390, 844, 3);   // std::invalid_argument on bad sizes
//   window->render(texture, pitch, PixelFormat::bgraPremultiplied, damaged);  // per frame
//
// Render threads: the renderer is shared with them (renderer(), never the window itself,
// whose views are the main thread's); they copy the frame the main thread published last.
// A window rendered from another thread is published at the end of every pump
// (publishForRenderThreads).
//
// View wrappers (banner, native, line banner) are placed in the root view at a frame or
// pinned to a safe-area edge; the view tree keeps them alive while they are placed, and
// destroying the window takes them out. Destroying it also closes the platform window, so
// that a light popup or full-screen ad shown from it is dismissed (did_dismiss follows).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "Tilo/inspector/AdInspector.h"
#include "TiloObjCBridge/HandleTable.h"
#include "platform/Reactive.h"
#include "platform/ui/PixelFormat.h"
#include "platform/ui/PixelRect.h"
#include "platform/ui/RetainedRenderer.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"
#include "tilo/tilo.h"

namespace tilo::bridge {

// The object a tilo_view_controller handle names; its window ends it.
class TiloObjCViewController final : public HandleObject {
 public:
  explicit TiloObjCViewController(std::shared_ptr<platform::UIViewController> controller)
      : controller_(std::move(controller)) {}
  const std::shared_ptr<platform::UIViewController>& controller() const { return controller_; }

 private:
  std::shared_ptr<platform::UIViewController> controller_;
};

class TiloObjCWindow final : public HandleObject {
 public:
  static std::shared_ptr<TiloObjCWindow> create(double widthPt, double heightPt, double scale);
  explicit TiloObjCWindow(std::shared_ptr<platform::UIWindow> window);

  const std::shared_ptr<platform::UIWindow>& window() const { return window_; }
  const std::shared_ptr<platform::UIViewController>& rootViewController() const { return root_; }
  // The tilo_view_controller handle of the root, made on first request.
  void* rootViewControllerHandle();

  // Fixed at creation, so any thread may ask.
  void pixelSize(int& width, int& height) const {
    width = pixelWidth_;
    height = pixelHeight_;
  }
  // Main thread: publishes, then copies. False when `stride` is below width × 4.
  bool renderRGBA(std::uint8_t* buffer, std::size_t stride);
  bool render(std::uint8_t* buffer, std::size_t stride, platform::PixelFormat format,
              platform::PixelRect& damaged);
  // For render threads: copies of the published frame. The first call marks the window
  // for publishing at the end of each pump.
  std::shared_ptr<platform::RetainedRenderer> rendererForRenderThread() {
    renderThreadUses_.store(true, std::memory_order_relaxed);
    return renderer_;
  }
  // Main thread, at the end of each pump: publishes the windows that render threads use.
  static void publishForRenderThreads();

  void willDestroy() override;

  // The ad inspector opened over this window last (closed or not); main thread.
  std::shared_ptr<inspector::AdInspector>& inspector() { return inspector_; }

 private:
  static std::shared_ptr<TiloObjCWindow> registered(std::shared_ptr<TiloObjCWindow> window);

  const std::shared_ptr<platform::UIWindow> window_;
  const std::shared_ptr<platform::UIViewController> root_;
  const std::shared_ptr<platform::RetainedRenderer> renderer_ =
      std::make_shared<platform::RetainedRenderer>();
  int pixelWidth_ = 0;
  int pixelHeight_ = 0;
  std::atomic<bool> renderThreadUses_{false};
  void* rootHandle_ = nullptr;
  platform::Subscription releaseCaches_;  // memory warning and background
  std::shared_ptr<inspector::AdInspector> inspector_;
};

// The view controller a tilo_view_controller handle names; null for NULL, status otherwise.
tilo_status findViewController(const tilo_view_controller* handle,
                               std::shared_ptr<platform::UIViewController>& controller);

}  // namespace tilo::bridge
