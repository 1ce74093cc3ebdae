#include "TiloObjCBridge/TiloObjCWindow.h"

#include <cmath>
#include <stdexcept>

#include "TiloObjCBridge/BridgeValues.h"
#include "TiloObjCBridge/TiloObjCFullScreenAd.h"
#include "TiloObjCBridge/TiloObjCView.h"
#include "platform/ui/UIColor.h"
#include "tilo/tilo.h"

namespace tilo::bridge {

std::shared_ptr<TiloObjCWindow> TiloObjCWindow::create(double widthPt, double heightPt,
                                                       double scale) {
  return std::make_shared<TiloObjCWindow>(
      platform::UIWindow::create({widthPt, heightPt}, scale, {}));
}

TiloObjCWindow::TiloObjCWindow(std::shared_ptr<platform::UIWindow> window)
    : window_(std::move(window)), root_(platform::UIViewController::create("tilo_window")) {
  window_->setRootViewController(root_);
  // The newest window is where an app-open ad (shown without a view controller) goes.
  window_->makeKeyWindow();
}

void* TiloObjCWindow::rootViewControllerHandle() {
  if (!rootHandle_) {
    rootHandle_ = HandleTable::shared().insert(HandleType::viewController,
                                               std::make_shared<TiloObjCViewController>(root_));
  }
  return rootHandle_;
}

void TiloObjCWindow::pixelSize(int& width, int& height) const {
  platform::ViewRenderer::pixelSize(*window_, 0, width, height);
}

bool TiloObjCWindow::renderRGBA(std::uint8_t* buffer, std::size_t stride) {
  int width = 0, height = 0;
  pixelSize(width, height);
  if (stride < static_cast<std::size_t>(width) * 4) return false;
  return renderer_.renderRGBA(*window_, buffer, width, height, stride,
                              platform::AlphaMode::premultiplied);
}

void TiloObjCWindow::willDestroy() {
  // What is shown in the window ends with it: popups and full-screen ads shown from its
  // root view controller report their dismissal.
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
  tilo_status status = TILO_STATUS_OK;
  if (!onMainThread()) {
    status = TILO_STATUS_WRONG_THREAD;
  } else if (!std::isfinite(width_pt) || !std::isfinite(height_pt) || width_pt <= 0 ||
             height_pt <= 0 || (scale != 1 && scale != 2 && scale != 3)) {
    status = TILO_STATUS_INVALID_ARGUMENT;
  } else {
    // Every window renders: at least one pixel a side, and no more than the renderer draws.
    const double width = ViewRenderer::pixels(width_pt, scale);
    const double height = ViewRenderer::pixels(height_pt, scale);
    if (width < 1 || height < 1) {
      status = TILO_STATUS_INVALID_ARGUMENT;
    } else if (width > TILO_WINDOW_MAX_PIXELS || height > TILO_WINDOW_MAX_PIXELS) {
      status = TILO_STATUS_TOO_LARGE;
    }
  }
  if (status != TILO_STATUS_OK) {
    setLastStatus(status);
    return nullptr;
  }
  try {
    auto window = TiloObjCWindow::create(width_pt, height_pt, scale);
    auto* handle =
        static_cast<tilo_window*>(HandleTable::shared().insert(HandleType::window, window));
    setLastStatus(handle ? TILO_STATUS_OK : TILO_STATUS_INTERNAL_ERROR);
    return handle;
  } catch (const std::invalid_argument&) {
    setLastStatus(TILO_STATUS_INVALID_ARGUMENT);
  } catch (...) {
    setLastStatus(TILO_STATUS_INTERNAL_ERROR);
  }
  return nullptr;
}

tilo_status tilo_window_destroy(tilo_window* window) {
  using namespace tilo::bridge;
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
    try {
      object->window()->setSafeAreaInsets({top, left, bottom, right});
    } catch (const std::invalid_argument&) {
      return TILO_STATUS_INVALID_ARGUMENT;
    }
    return TILO_STATUS_OK;
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
  return guarded([&] {
    return object->renderRGBA(buffer, stride) ? TILO_STATUS_OK : TILO_STATUS_BUFFER_TOO_SMALL;
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
