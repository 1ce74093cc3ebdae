#include "platform/Executor.h"

#include <atomic>
#include <exception>
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

namespace {

void reportFailure(std::string_view where, const char* what) noexcept {
  auto& reporting = failureReporting();
  ++reporting.count;
  std::shared_ptr<const TaskFailureHandler> handler;
  {
    std::lock_guard lock(reporting.mutex);
    handler = reporting.handler;
  }
  if (!handler) return;
  try {
    (*handler)(std::string(where), what);
  } catch (...) {
  }
}

}  // namespace

// Tasks run host callbacks, which may throw: the one place an escaping exception is caught.
void runTask(const Task& task, std::string_view where) noexcept {
  try {
    if (task) task();
  } catch (const std::exception& error) {
    reportFailure(where, error.what());
  } catch (...) {
    reportFailure(where, "The operation couldn't be completed.");
  }
}

}  // namespace tilo::platform
