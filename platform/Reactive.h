// Current-value subjects, cancellable subscriptions and the few operators the SDK uses.
//
//   auto ready = CurrentValueSubject<bool>::create(false);
//   Subscription s = ready->publisher()
//       .filter([](bool v) { return v; })
//       .timeout(3.0, "Timeout occurred")
//       .sink([](bool) { ... }, [](Error e) { ... });
//
// A subscription replays the subject's current value (when it has one) inside sink(),
// then receives every later value on the sending thread. Destroying or cancelling the
// Subscription ends delivery: once cancel() returns, no callback of it runs again.
//
// Warning: a callback runs under its subscription's lock (that is what makes cancel()
// final). Keep callbacks to bookkeeping and post anything that may call out to a host.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/Environment.h"

namespace tilo::platform {

// Why a publisher failed, in the words its operator was given: the one failure here is
// timeout()'s.
using Error = std::string;

// Move-only RAII handle; cancels on destruction.
class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> onCancel) : onCancel_(std::move(onCancel)) {}
  Subscription(Subscription&& other) noexcept : onCancel_(std::exchange(other.onCancel_, {})) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      cancel();
      onCancel_ = std::exchange(other.onCancel_, {});
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { cancel(); }

  void cancel() {
    if (auto onCancel = std::exchange(onCancel_, {})) onCancel();
  }
  bool isActive() const { return static_cast<bool>(onCancel_); }

 private:
  std::function<void()> onCancel_;
};

template <class T>
struct Subscriber {
  std::function<void(const T&)> receiveValue;
  std::function<void(Error)> receiveFailure;
};

namespace detail {
inline thread_local int deliveriesInProgress = 0;

// Counts, on the delivering thread, a callback that runs under a slot's lock. Opened
// before the lock, so that what the callback deferred (a log line) runs after it.
class DeliveryScope {
 public:
  DeliveryScope() { ++deliveriesInProgress; }
  ~DeliveryScope() { --deliveriesInProgress; }
  DeliveryScope(const DeliveryScope&) = delete;
  DeliveryScope& operator=(const DeliveryScope&) = delete;

 private:
  HeldLockScope held_;
};

// One downstream connection. Delivery and cancellation exclude each other, so a
// cancelled slot never delivers again; the mutex is recursive because a callback may
// cancel its own subscription.
template <class T>
struct Slot {
  std::recursive_mutex mutex;
  bool active = true;
  Subscriber<T> subscriber;

  void value(const T& v) {
    DeliveryScope scope;
    std::lock_guard lock(mutex);
    if (active && subscriber.receiveValue) subscriber.receiveValue(v);
  }
  void failure(Error e) {
    DeliveryScope scope;
    std::lock_guard lock(mutex);
    if (!active) return;
    active = false;
    if (subscriber.receiveFailure) subscriber.receiveFailure(e);
  }
  void cancel() {
    std::lock_guard lock(mutex);
    active = false;
  }
};
}  // namespace detail

// True while the calling thread runs a subscriber's callback, that is, under the lock of
// its subscription. Code that calls out to a host (listeners) posts instead of running
// then; tests check that it did.
inline bool isDeliveringReactiveValue() {
  return detail::deliveriesInProgress > 0;
}

template <class T>
class Publisher {
 public:
  using Output = T;
  using SubscribeFunction = std::function<Subscription(Subscriber<T>)>;

  explicit Publisher(SubscribeFunction subscribe) : subscribe_(std::move(subscribe)) {}

  Subscription subscribe(Subscriber<T> subscriber) const {
    return subscribe_(std::move(subscriber));
  }
  Subscription sink(std::function<void(const T&)> onValue,
                    std::function<void(Error)> onFailure = {}) const {
    return subscribe(Subscriber<T>{std::move(onValue), std::move(onFailure)});
  }

  template <class F>
  auto map(F transform) const -> Publisher<std::decay_t<std::invoke_result_t<F, const T&>>> {
    using U = std::decay_t<std::invoke_result_t<F, const T&>>;
    auto upstream = subscribe_;
    return Publisher<U>([upstream, transform](Subscriber<U> downstream) {
      return upstream(Subscriber<T>{
          [transform, onValue = downstream.receiveValue](const T& v) { onValue(transform(v)); },
          downstream.receiveFailure});
    });
  }

  Publisher<T> filter(std::function<bool(const T&)> predicate) const {
    auto upstream = subscribe_;
    return Publisher<T>([upstream, predicate](Subscriber<T> downstream) {
      return upstream(Subscriber<T>{[predicate, onValue = downstream.receiveValue](const T& v) {
                                      if (predicate(v)) onValue(v);
                                    },
                                    downstream.receiveFailure});
    });
  }

  // Drops a value equal to the one delivered just before it.
  Publisher<T> removeDuplicates() const {
    auto upstream = subscribe_;
    return Publisher<T>([upstream](Subscriber<T> downstream) {
      auto last = std::make_shared<std::pair<std::mutex, std::optional<T>>>();
      return upstream(Subscriber<T>{[last, onValue = downstream.receiveValue](const T& v) {
                                      {
                                        std::lock_guard lock(last->first);
                                        if (last->second && *last->second == v) return;
                                        last->second = v;
                                      }
                                      onValue(v);
                                    },
                                    downstream.receiveFailure});
    });
  }

  // For publishers of std::optional<U>: drops empty values and unwraps the rest.
  auto dropEmpty() const {
    using U = typename T::value_type;
    auto upstream = subscribe_;
    return Publisher<U>([upstream](Subscriber<U> downstream) {
      return upstream(Subscriber<T>{[onValue = downstream.receiveValue](const T& v) {
                                      if (v) onValue(*v);
                                    },
                                    downstream.receiveFailure});
    });
  }

  // Fails with `error` when `seconds` pass without a value, counted from subscription
  // and restarted by every value. The deadline runs on the main executor.
  Publisher<T> timeout(double seconds, Error error) const {
    auto upstream = subscribe_;
    return Publisher<T>([upstream, seconds, error](Subscriber<T> downstream) {
      struct State {
        std::mutex mutex;
        unsigned long generation = 0;
        Subscription upstream;
        std::shared_ptr<detail::Slot<T>> slot = std::make_shared<detail::Slot<T>>();
      };
      auto state = std::make_shared<State>();
      state->slot->subscriber = std::move(downstream);
      std::weak_ptr<State> weak = state;
      auto arm = [weak, seconds, error] {
        auto s = weak.lock();
        if (!s) return;
        unsigned long generation;
        {
          std::lock_guard lock(s->mutex);
          generation = ++s->generation;
        }
        Environment::current().mainExecutor()->postDelayed(
            [weak, generation, error] {
              auto s = weak.lock();
              if (!s) return;
              Subscription expired;
              {
                std::lock_guard lock(s->mutex);
                if (generation != s->generation) return;
                expired = std::move(s->upstream);
              }
              expired.cancel();
              s->slot->failure(error);
            },
            seconds);
      };
      arm();
      auto slot = state->slot;
      Subscription sub = upstream(Subscriber<T>{[slot, arm](const T& v) {
                                                  arm();
                                                  slot->value(v);
                                                },
                                                [slot](Error e) { slot->failure(e); }});
      {
        std::lock_guard lock(state->mutex);
        state->upstream = std::move(sub);
      }
      return Subscription([state] {
        state->slot->cancel();
        Subscription upstream;
        {
          std::lock_guard lock(state->mutex);
          ++state->generation;
          upstream = std::move(state->upstream);
        }
        upstream.cancel();
      });
    });
  }

 private:
  SubscribeFunction subscribe_;
};

// Emits the latest pair once both have delivered, then on every value of either.
template <class A, class B>
Publisher<std::pair<A, B>> combineLatest(const Publisher<A>& a, const Publisher<B>& b) {
  return Publisher<std::pair<A, B>>([a, b](Subscriber<std::pair<A, B>> downstream) {
    struct State {
      std::mutex mutex;
      std::optional<A> a;
      std::optional<B> b;
    };
    auto state = std::make_shared<State>();
    auto slot = std::make_shared<detail::Slot<std::pair<A, B>>>();
    slot->subscriber = std::move(downstream);
    auto emit = [state, slot] {
      std::optional<std::pair<A, B>> pair;
      {
        std::lock_guard lock(state->mutex);
        if (state->a && state->b) pair.emplace(*state->a, *state->b);
      }
      if (pair) slot->value(*pair);
    };
    auto fail = [slot](Error e) { slot->failure(e); };
    auto subA = std::make_shared<Subscription>(a.sink(
        [state, emit](const A& v) {
          {
            std::lock_guard lock(state->mutex);
            state->a = v;
          }
          emit();
        },
        fail));
    auto subB = std::make_shared<Subscription>(b.sink(
        [state, emit](const B& v) {
          {
            std::lock_guard lock(state->mutex);
            state->b = v;
          }
          emit();
        },
        fail));
    return Subscription([slot, subA, subB] {
      slot->cancel();
      subA->cancel();
      subB->cancel();
    });
  });
}

// A subject holding the latest value, or none yet. Reference type: use create().
template <class T>
class CurrentValueSubject : public std::enable_shared_from_this<CurrentValueSubject<T>> {
 public:
  static std::shared_ptr<CurrentValueSubject> create() {
    return std::shared_ptr<CurrentValueSubject>(new CurrentValueSubject(std::nullopt));
  }
  static std::shared_ptr<CurrentValueSubject> create(T initial) {
    return std::shared_ptr<CurrentValueSubject>(new CurrentValueSubject(std::move(initial)));
  }

  std::optional<T> value() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  // `read(value)` under the subject's lock, for a look at part of a value too large to
  // copy; `read` must not touch the subject.
  template <class Read>
  auto inspect(Read read) const {
    std::lock_guard lock(mutex_);
    return read(value_);
  }

  void send(const T& v) {
    std::vector<std::shared_ptr<detail::Slot<T>>> slots;
    {
      std::lock_guard lock(mutex_);
      value_ = v;
      slots = slots_;
    }
    for (auto& slot : slots) slot->value(v);
  }

  Publisher<T> publisher() {
    auto self = this->shared_from_this();
    return Publisher<T>(
        [self](Subscriber<T> subscriber) { return self->attach(std::move(subscriber)); });
  }

  std::size_t subscriberCount() const {
    std::lock_guard lock(mutex_);
    return slots_.size();
  }

 private:
  explicit CurrentValueSubject(std::optional<T> initial) : value_(std::move(initial)) {}

  Subscription attach(Subscriber<T> subscriber) {
    auto slot = std::make_shared<detail::Slot<T>>();
    slot->subscriber = std::move(subscriber);
    std::optional<T> current;
    {
      std::lock_guard lock(mutex_);
      slots_.push_back(slot);
      current = value_;
    }
    if (current) slot->value(*current);
    std::weak_ptr<CurrentValueSubject> weak = this->weak_from_this();
    return Subscription([weak, slot] {
      slot->cancel();
      if (auto self = weak.lock()) {
        std::lock_guard lock(self->mutex_);
        std::erase(self->slots_, slot);
      }
    });
  }

  mutable std::mutex mutex_;
  std::optional<T> value_;
  std::vector<std::shared_ptr<detail::Slot<T>>> slots_;
};

}  // namespace tilo::platform
