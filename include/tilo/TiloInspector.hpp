// The ad inspector over a window (tilo_inspector.h). Part of Tilo.hpp; include that.
//
//   (void)tilo::AdInspector::setCloseCallback([&](tilo_window*) { game.resume(); });
//   if (tilo::AdInspector::open(window) == TILO_STATUS_OK) game.pause();
//   ... window.tap(x, y); window.scroll(x, y, 0, 120); ...   // the player uses it
#pragma once

#include <tilo/Tilo.hpp>

#include <functional>

namespace tilo {

class AdInspector {
 public:
  // TILO_STATUS_OK (also when open already), TILO_STATUS_AD_SHOWING over an ad being shown.
  [[nodiscard]] static tilo_status open(const Window& window) {
    return tilo_ad_inspector_open(window.handle());
  }
  [[nodiscard]] static tilo_status close(const Window& window) {
    return tilo_ad_inspector_close(window.handle());
  }
  // Called on the main thread, inside runMainLoopFor, each time an inspector closes, with
  // the handle of its window; an empty function calls none. Kept until replaced.
  [[nodiscard]] static tilo_status setCloseCallback(std::function<void(tilo_window*)> closed) {
    using Closed = detail::CallbackSlot<void(tilo_window*)>;
    Closed& slot = detail::immortal<Closed>();
    return slot.install(
        std::move(closed),
        [](tilo_ad_inspector_close_callback trampoline, void* context) {
          return tilo_ad_inspector_set_close_callback(trampoline, context);
        },
        [](void* context, tilo_window* window) { Closed::call(context, window); });
  }
};

}  // namespace tilo
