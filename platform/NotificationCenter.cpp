#include "platform/NotificationCenter.h"

#include <algorithm>
#include <utility>

namespace tilo::platform {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter* center = new NotificationCenter();
  return *center;
}

Subscription NotificationCenter::addObserver(std::string name, std::function<void()> callback) {
  auto slot = std::make_shared<detail::Slot<int>>();
  slot->subscriber.receiveValue = [callback = std::move(callback)](const int&) { callback(); };
  std::uint64_t id;
  {
    std::lock_guard lock(mutex_);
    id = nextId_++;
    observers_.push_back(Observer{id, std::move(name), slot});
  }
  return Subscription([this, id, slot] {
    slot->cancel();
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [id](const Observer& o) { return o.id == id; });
  });
}

Subscription NotificationCenter::addCacheReleaseObserver(std::function<void()> release) {
  auto both = std::make_shared<std::pair<Subscription, Subscription>>(
      addObserver(kDidReceiveMemoryWarningNotification, release),
      addObserver(kDidEnterBackgroundNotification, release));
  return Subscription([both] {
    both->first.cancel();
    both->second.cancel();
  });
}

void NotificationCenter::post(const std::string& name) {
  std::vector<std::shared_ptr<detail::Slot<int>>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& observer : observers_) {
      if (observer.name == name) targets.push_back(observer.slot);
    }
  }
  for (auto& slot : targets) slot->value(0);
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(observers_.begin(), observers_.end(),
                                                [&](const Observer& o) { return o.name == name; }));
}

}  // namespace tilo::platform
