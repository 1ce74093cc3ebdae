// tilo_ad_inspector_*: the in-app ad inspector over a tilo_window, and tilo_window_scroll,
// which its pages need.
#include <cmath>
#include <mutex>

#include "Tilo/inspector/AdInspector.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCWindow.h"
#include "platform/Environment.h"
#include "tilo/tilo.h"

namespace tilo::bridge {
namespace {

struct CloseCallback {
  tilo_ad_inspector_close_callback callback = nullptr;
  void* context = nullptr;
};

std::mutex closeMutex;
CloseCallback closeCallback;

// Runs on the main loop after the inspector closed; the callback is read then.
void reportClosed(void* windowHandle) {
  CloseCallback target;
  {
    std::lock_guard lock(closeMutex);
    target = closeCallback;
  }
  if (!target.callback) return;
  HostCallbackScope inCallback;
  target.callback(target.context, static_cast<tilo_window*>(windowHandle));
}

struct CheckedWindow {
  tilo_status status;
  std::shared_ptr<TiloObjCWindow> window;
};

CheckedWindow checkedWindow(const tilo_window* handle) {
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return {life, nullptr};
  if (!onMainThread()) return {TILO_STATUS_WRONG_THREAD, nullptr};
  auto found = HandleTable::shared().find(handle, HandleType::window);
  return {found.status, std::static_pointer_cast<TiloObjCWindow>(found.object)};
}

}  // namespace

void forgetAdInspectorCloseCallback() {
  std::lock_guard lock(closeMutex);
  closeCallback = {};
}

}  // namespace tilo::bridge

extern "C" {

tilo_status tilo_ad_inspector_open(tilo_window* window) {
  using namespace tilo::bridge;
  const auto checked = checkedWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  return guarded([&] {
    auto& current = object->inspector();
    if (current && current->isOpen()) return TILO_STATUS_OK;
    void* handle = window;
    auto opened =
        tilo::inspector::AdInspector::open(object->window(), [handle] { reportClosed(handle); });
    if (!opened) return TILO_STATUS_AD_SHOWING;  // open refuses over a presented ad
    current = std::move(opened);
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_ad_inspector_close(tilo_window* window) {
  using namespace tilo::bridge;
  const auto checked = checkedWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  return guarded([&] {
    if (auto& current = object->inspector()) current->close();
    return TILO_STATUS_OK;
  });
}

tilo_status tilo_ad_inspector_set_close_callback(tilo_ad_inspector_close_callback callback,
                                                 void* context) {
  using namespace tilo::bridge;
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  std::lock_guard lock(closeMutex);
  closeCallback = {callback, context};
  return TILO_STATUS_OK;
}

int tilo_window_scroll(tilo_window* window, double x, double y, double dx, double dy) {
  using namespace tilo::bridge;
  const auto checked = checkedWindow(window);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  const auto& object = checked.window;
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(dx) || !std::isfinite(dy)) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] { return object->window()->scroll({x, y}, {dx, dy}) ? 1 : 0; });
}

}  // extern "C"
