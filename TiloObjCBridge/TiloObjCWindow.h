// tilo_window: a view tree an engine hosts. It owns the platform window, its root view
// controller (what full-screen ads are shown from) and a renderer that keeps its surface
// between frames.
//
//   auto window = TiloObjCWindow::create(390, 844, 3);   // std::invalid_argument on bad sizes
//   window->renderRGBA(pixels, stride);                   // once per frame
//
// View wrappers (banner, native, line banner) are placed in the root view at a frame or
// pinned to a safe-area edge; the view tree keeps them alive while they are placed, and
// destroying the window takes them out. Destroying it also closes the platform window, so
// that a light popup or full-screen ad shown from it is dismissed (did_dismiss follows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "TiloObjCBridge/HandleTable.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/ViewRenderer.h"
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

  void pixelSize(int& width, int& height) const;
  // False when `stride` is below width × 4.
  bool renderRGBA(std::uint8_t* buffer, std::size_t stride);

  void willDestroy() override;

 private:
  const std::shared_ptr<platform::UIWindow> window_;
  const std::shared_ptr<platform::UIViewController> root_;
  platform::ViewRenderer renderer_;
  void* rootHandle_ = nullptr;
};

// The view controller a tilo_view_controller handle names; null for NULL, status otherwise.
tilo_status findViewController(const tilo_view_controller* handle,
                               std::shared_ptr<platform::UIViewController>& controller);

}  // namespace tilo::bridge
