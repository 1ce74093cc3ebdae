#include "TiloObjCBridge/TiloObjCWindow.h"

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

#include "Tilo/base/TiloLogger.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "TiloObjCBridge/TiloObjCView.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemLibraries.h"
#include "platform/ui/UIColor.h"
#include "platform/ui/ViewRenderer.h"
#include "tilo/tilo.h"

namespace tilo::bridge {

std::shared_ptr<TiloObjCWindow> TiloObjCWindow::create(double widthPt, double heightPt,
                                                       double scale) {
  auto window = platform::UIWindow::create({widthPt, heightPt}, scale, {});
  return window ? registered(std::make_shared<TiloObjCWindow>(std::move(window))) : nullptr;
}

namespace {

using WindowList = std::vector<std::weak_ptr<TiloObjCWindow>>;

// The live windows, for publishing after each pump. Main thread only, so that no other
// thread can find it gone when the library is unloaded or the process exits.
WindowList& liveWindows() {
  static WindowList windows;
  return windows;
}

}  // namespace

TiloObjCWindow::TiloObjCWindow(std::shared_ptr<platform::UIWindow> window)
    : window_(std::move(window)), root_(platform::UIViewController::create("tilo_window")) {
  window_->setRootViewController(root_);
  // The newest window is where an app-open ad (shown without a view controller) goes.
  window_->makeKeyWindow();
  platform::ViewRenderer::pixelSize(*window_, 0, pixelWidth_, pixelHeight_);
}

std::shared_ptr<TiloObjCWindow> TiloObjCWindow::registered(std::shared_ptr<TiloObjCWindow> window) {
  auto& windows = liveWindows();
  std::erase_if(windows, [](const auto& weak) { return weak.expired(); });
  windows.push_back(window);
  window->releaseCaches_ = platform::NotificationCenter::defaultCenter().addCacheReleaseObserver(
      [weak = std::weak_ptr<TiloObjCWindow>(window)] {
        if (auto self = weak.lock()) self->renderer_->releaseCaches();
      });
  return window;
}

void TiloObjCWindow::publishForRenderThreads() {
  auto& windows = liveWindows();
  if (windows.empty()) return;
  // A copy: publishing runs view code, which must not find the list changing under it.
  // Its room stays from pump to pump, so that an idle one allocates nothing.
  static WindowList current;
  current.assign(windows.begin(), windows.end());
  for (const auto& weak : current) {
    auto window = weak.lock();
    if (window && window->renderThreadUses_.load(std::memory_order_relaxed) &&
        !window->window_->isClosed()) {
      window->renderer_->publish(*window->window_, window->window_->scale());
    }
  }
  current.clear();
}

void* TiloObjCWindow::rootViewControllerHandle() {
  if (!rootHandle_) {
    rootHandle_ = HandleTable::shared().insert(HandleType::viewController,
                                               std::make_shared<TiloObjCViewController>(root_));
  }
  return rootHandle_;
}

bool TiloObjCWindow::renderRGBA(std::uint8_t* buffer, std::size_t stride) {
  if (stride < static_cast<std::size_t>(pixelWidth_) * 4) return false;
  renderer_->publish(*window_, window_->scale());
  return renderer_->copyAll(buffer, stride, platform::PixelFormat::rgbaPremultiplied) ==
         platform::RetainedRenderer::CopyResult::copied;
}

bool TiloObjCWindow::render(std::uint8_t* buffer, std::size_t stride, platform::PixelFormat format,
                            platform::PixelRect& damaged) {
  damaged = {};
  if (stride < static_cast<std::size_t>(pixelWidth_) * 4) return false;
  renderer_->publish(*window_, window_->scale());
  return renderer_->copyChanges(buffer, stride, format, damaged) ==
         platform::RetainedRenderer::CopyResult::copied;
}

void TiloObjCWindow::willDestroy() {
  // What is shown in the window ends with it: popups and full-screen ads shown from its
  // root view controller report their dismissal, and so does an inspector over it.
  if (inspector_) inspector_->close();
  window_->close();
  // The views' handles outlive the window; they leave it now.
  const auto placed = root_->view()->subviews();
  for (const auto& view : placed) {
    if (auto wrapper = std::dynamic_pointer_cast<TiloObjCView>(view)) wrapper->unplace();
  }
  if (rootHandle_) HandleTable::shared().remove(rootHandle_, HandleType::viewController);
  rootHandle_ = nullptr;
}

tilo_status findViewController(const tilo_view_controller* handle,
                               std::shared_ptr<platform::UIViewController>& controller) {
  controller = nullptr;
  if (!handle) return TILO_STATUS_OK;
  auto found = HandleTable::shared().find(handle, HandleType::viewController);
  if (found.status != TILO_STATUS_OK) return found.status;
  controller = static_cast<TiloObjCViewController&>(*found.object).controller();
  return TILO_STATUS_OK;
}

namespace {

struct CheckedWindow {
  tilo_status status;
  std::shared_ptr<TiloObjCWindow> window;
};

CheckedWindow checkWindow(const tilo_window* handle) {
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return {life, nullptr};
  if (!onMainThread()) return {TILO_STATUS_WRONG_THREAD, nullptr};
  auto found = HandleTable::shared().find(handle, HandleType::window);
  return {found.status, std::static_pointer_cast<TiloObjCWindow>(found.object)};
}

bool finiteNonNegative(double value) {
  return std::isfinite(value) && value >= 0;
}

}  // namespace
}  // namespace tilo::bridge

using tilo::bridge::checkWindow;

extern "C" {

tilo_window* tilo_window_create(double width_pt, double height_pt, double scale) {
  using namespace tilo::bridge;
  using tilo::platform::ViewRenderer;
  static_assert(ViewRenderer::kMaxPixelDimension == TILO_WINDOW_MAX_PIXELS);
  tilo_status status = lifeStatus();
  if (status == TILO_STATUS_OK) installOpenUrlHandler();
  if (status != TILO_STATUS_OK) {
    // forked or shut down: nothing is touched
  } else if (!onMainThread()) {
    status = TILO_STATUS_WRONG_THREAD;
  } else if (!std::isfinite(width_pt) || !std::isfinite(height_pt) || width_pt <= 0 ||
             height_pt <= 0 || !(scale >= tilo::platform::UIWindow::kMinScale) ||
             !(scale <= tilo::platform::UIWindow::kMaxScale)) {
    status = TILO_STATUS_INVALID_ARGUMENT;
  } else {
    // Every window renders: at least one pixel a side, and no more than the renderer draws.
    const double width = ViewRenderer::pixels(width_pt, scale);
    const double height = ViewRenderer::pixels(height_pt, scale);
    if (width < 1 || height < 1) {
      status = TILO_STATUS_INVALID_ARGUMENT;
    } else if (width > TILO_WINDOW_MAX_PIXELS || height > TILO_WINDOW_MAX_PIXELS) {
      status = TILO_STATUS_TOO_LARGE;
    } else {
      status = requireLibraries(tilo::platform::SystemFeature::graphics);
    }
  }
  if (status != TILO_STATUS_OK) {
    setLastStatus(status);
    return nullptr;
  }
  try {
    auto window = TiloObjCWindow::create(width_pt, height_pt, scale);
    if (!window) {
      setLastStatus(TILO_STATUS_INVALID_ARGUMENT);
      return nullptr;
    }
    auto* handle =
        static_cast<tilo_window*>(HandleTable::shared().insert(HandleType::window, window));
    setLastStatus(handle ? TILO_STATUS_OK : TILO_STATUS_INTERNAL_ERROR);
    return handle;
  } catch (...) {  // bad_alloc, or a font library that failed to load
    setLastStatus(TILO_STATUS_INTERNAL_ERROR);
  }
  return nullptr;
}

tilo_status tilo_window_destroy(tilo_window* window) {
  using namespace tilo::bridge;
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  if (!onMainThread()) return TILO_STATUS_WRONG_THREAD;
  auto found = HandleTable::shared().remove(window, HandleType::window);
  if (found.object) found.object->willDestroy();
  return found.status;
}

tilo_status tilo_window_set_safe_area_insets(tilo_window* window, double top, double left,
                                             double bottom, double right) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  if (!finiteNonNegative(top) || !finiteNonNegative(left) || !finiteNonNegative(bottom) ||
      !finiteNonNegative(right)) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] {
    return object->window()->setSafeAreaInsets({top, left, bottom, right})
               ? TILO_STATUS_OK
               : TILO_STATUS_INVALID_ARGUMENT;
  });
}

tilo_status tilo_window_set_appearance(tilo_window* window, int appearance) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  if (appearance != TILO_APPEARANCE_LIGHT && appearance != TILO_APPEARANCE_DARK) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] {
    object->window()->setAppearance(appearance == TILO_APPEARANCE_DARK
                                        ? tilo::platform::UIUserInterfaceStyle::dark
                                        : tilo::platform::UIUserInterfaceStyle::light);
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_window_pixel_size(tilo_window* window, int* width, int* height) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  if (!width || !height) return TILO_STATUS_NULL_ARGUMENT;
  return guarded([&] {
    object->pixelSize(*width, *height);
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_window_render_rgba(tilo_window* window, uint8_t* buffer, size_t stride) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  if (!buffer) return TILO_STATUS_NULL_ARGUMENT;
  int width = 0, height = 0;
  object->pixelSize(width, height);
  if (auto rows = checkPixelRows(buffer, stride, width, height); rows != TILO_STATUS_OK) {
    return rows;
  }
  return guarded([&] {
    return object->renderRGBA(buffer, stride) ? TILO_STATUS_OK : TILO_STATUS_INTERNAL_ERROR;
  });
}

tilo_status tilo_window_render(tilo_window* window, uint8_t* buffer, size_t stride,
                               int pixel_format, struct tilo_rect* damaged) {
  using namespace tilo::bridge;
  using tilo::platform::PixelFormat;
  using tilo::platform::PixelRect;
  using tilo::platform::RetainedRenderer;
  // The main thread publishes and copies; another thread only copies what was published,
  // through the renderer alone (the window and its views stay the main thread's).
  const bool main = onMainThread();
  std::shared_ptr<TiloObjCWindow> object;
  std::shared_ptr<RetainedRenderer> renderer;
  int width = 0, height = 0;
  if (main) {
    auto checked = checkWindow(window);
    if (checked.status != TILO_STATUS_OK) return checked.status;
    object = std::move(checked.window);
    object->pixelSize(width, height);
  } else {
    if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
    const tilo_status status =
        HandleTable::shared().visit(window, HandleType::window, [&](HandleObject& found) {
          auto& windowObject = static_cast<TiloObjCWindow&>(found);
          windowObject.pixelSize(width, height);
          renderer = windowObject.rendererForRenderThread();
        });
    if (status != TILO_STATUS_OK) return status;
  }
  if (!buffer || !damaged) return TILO_STATUS_NULL_ARGUMENT;
  PixelFormat format;
  if (!pixelFormatFrom(pixel_format, format)) return TILO_STATUS_INVALID_ARGUMENT;
  if (stride % 4 != 0) return TILO_STATUS_INVALID_ARGUMENT;
  if (auto rows = checkPixelRows(buffer, stride, width, height); rows != TILO_STATUS_OK) {
    return rows;
  }
  return guarded([&] {
    PixelRect rect;
    bool copied = true;
    if (object) {
      copied = object->render(buffer, stride, format, rect);
    } else {
      // Nothing published yet: the next pump publishes, and the buffer stays as it was.
      copied = renderer->copyChanges(buffer, stride, format, rect) !=
               RetainedRenderer::CopyResult::strideTooSmall;
    }
    if (!copied) return TILO_STATUS_INTERNAL_ERROR;
    *damaged = {static_cast<double>(rect.x), static_cast<double>(rect.y),
                static_cast<double>(rect.width), static_cast<double>(rect.height)};
    return TILO_STATUS_OK;
  });
}

int tilo_window_tap(tilo_window* window, double x, double y) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  if (!std::isfinite(x) || !std::isfinite(y)) return TILO_STATUS_INVALID_ARGUMENT;
  return guarded([&] { return object->window()->tap({x, y}) ? 1 : 0; });
}

tilo_view_controller* tilo_window_root_view_controller(tilo_window* window) {
  using namespace tilo::bridge;
  auto [status, object] = checkWindow(window);
  if (status != TILO_STATUS_OK) {
    setLastStatus(status);
    return nullptr;
  }
  void* handle = nullptr;
  try {
    handle = object->rootViewControllerHandle();
  } catch (...) {
  }
  setLastStatus(handle ? TILO_STATUS_OK : TILO_STATUS_INTERNAL_ERROR);
  return static_cast<tilo_view_controller*>(handle);
}

tilo_status tilo_window_add_view(tilo_window* window, void* view, tilo_rect frame) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  auto found = findView(view);
  if (found.status != TILO_STATUS_OK) return found.status;
  if (!isValidRect(frame)) return TILO_STATUS_INVALID_ARGUMENT;
  return guarded([&] {
    found.view->placeAt(object->rootViewController()->view(),
                        {frame.x, frame.y, frame.width, frame.height});
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_window_add_view_pinned(tilo_window* window, void* view, int edge, double height) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  auto found = findView(view);
  if (found.status != TILO_STATUS_OK) return found.status;
  if ((edge != TILO_WINDOW_EDGE_TOP && edge != TILO_WINDOW_EDGE_BOTTOM) || !std::isfinite(height) ||
      height <= 0) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] {
    found.view->placePinned(*object->window(), object->rootViewController()->view(),
                            edge == TILO_WINDOW_EDGE_TOP, height);
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_window_element_frame(tilo_window* window, const char* identifier,
                                      tilo_rect* frame) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  if (auto status = checkIdentifier(identifier); status != TILO_STATUS_OK) return status;
  if (!frame) return TILO_STATUS_NULL_ARGUMENT;
  return guarded([&] {
    auto& root = *checked.window->window();
    root.layoutIfNeeded();
    // Depth first, front to back among siblings: the one a tap there would reach first.
    std::function<const tilo::platform::UIView*(const tilo::platform::UIView&)> find =
        [&](const tilo::platform::UIView& view) -> const tilo::platform::UIView* {
      if (view.isHidden()) return nullptr;
      for (auto it = view.subviews().rbegin(); it != view.subviews().rend(); ++it) {
        if (const auto* found = find(**it)) return found;
      }
      return view.accessibilityIdentifier() == identifier ? &view : nullptr;
    };
    const auto* element = find(root);
    if (!element) return TILO_STATUS_INVALID_ARGUMENT;
    const auto rect = element->convertRect(element->bounds(), nullptr);
    *frame = tilo_rect{rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_window_remove_view(tilo_window* window, void* view) {
  using namespace tilo::bridge;
  const auto checked = checkWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  auto found = findView(view);
  if (found.status != TILO_STATUS_OK) return found.status;
  return guarded([&] {
    if (found.view->superview() != object->rootViewController()->view()) {
      return TILO_STATUS_INVALID_ARGUMENT;
    }
    found.view->unplace();
    return TILO_STATUS_OK;
  });
}

}  // extern "C"
