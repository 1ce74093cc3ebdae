#include "platform/Executor.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

namespace tilo::platform {
namespace {

// Never destroyed, like the executors whose threads report here.
struct FailureReporting {
  std::mutex mutex;
  std::shared_ptr<const TaskFailureHandler> handler;
  std::atomic<std::uint64_t> count{0};
};
FailureReporting& failureReporting() {
  static FailureReporting& reporting = *new FailureReporting();
  return reporting;
}

}  // namespace

void setTaskFailureHandler(TaskFailureHandler handler) {
  auto shared = handler ? std::make_shared<const TaskFailureHandler>(std::move(handler)) : nullptr;
  auto& reporting = failureReporting();
  std::lock_guard lock(reporting.mutex);
  reporting.handler = std::move(shared);
}

std::uint64_t taskFailureCount() {
  return failureReporting().count.load();
}

void runTask(const Task& task, std::string_view where) noexcept {
  try {
    if (task) task();
    return;
  } catch (...) {
    auto& reporting = failureReporting();
    ++reporting.count;
    std::shared_ptr<const TaskFailureHandler> handler;
    {
      std::lock_guard lock(reporting.mutex);
      handler = reporting.handler;
    }
    if (!handler) return;
    try {
      (*handler)(std::string(where), std::current_exception());
    } catch (...) {
    }
  }
}

}  // namespace tilo::platform
