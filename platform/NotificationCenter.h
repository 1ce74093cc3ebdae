// Named notifications delivered synchronously on the posting thread.
//
//   Subscription token = NotificationCenter::defaultCenter().addObserver(
//       kDidEnterBackgroundNotification, [weak] { if (auto self = weak.lock()) self->save(); });
//
// The returned Subscription removes the observer when cancelled or destroyed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Reactive.h"

namespace tilo::platform {

inline constexpr const char* kDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";
inline constexpr const char* kWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
// Caches (glyphs, decoded images, retained frames) let go of what they can rebuild.
inline constexpr const char* kDidReceiveMemoryWarningNotification =
    "UIApplicationDidReceiveMemoryWarningNotification";

class NotificationCenter {
 public:
  static NotificationCenter& defaultCenter();

  [[nodiscard]] Subscription addObserver(std::string name, std::function<void()> callback);
  // For caches of what can be rebuilt (decoded images, glyphs, spare frames): `release`
  // runs on a memory warning and when the application enters the background alike.
  [[nodiscard]] Subscription addCacheReleaseObserver(std::function<void()> release);
  void post(const std::string& name);
  std::size_t observerCount(const std::string& name) const;

 private:
  struct Observer {
    std::uint64_t id;
    std::string name;
    std::shared_ptr<detail::Slot<int>> slot;
  };
  mutable std::mutex mutex_;
  std::vector<Observer> observers_;
  std::uint64_t nextId_ = 1;
};

}  // namespace tilo::platform
