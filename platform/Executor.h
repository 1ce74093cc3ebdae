// Where work runs. Every queue, the main loop and the background pool are Executors.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace tilo::platform {

using Task = std::function<void()>;

// Scheduling hint for background work; the pool serves higher priorities first.
enum class TaskPriority { background = 0, utility = 1, userInitiated = 2 };

class Executor {
 public:
  virtual ~Executor() = default;
  // Runs `task` later, never inside this call.
  virtual void post(Task task) = 0;
  // Runs `task` once `seconds` have passed on the environment's clock.
  virtual void postDelayed(Task task, double seconds) = 0;
};

// What escapes a task. The main loop, the pool, every queue and the test environment run
// their tasks through runTask: an exception leaving a task is caught and handed to the
// failure handler, and the executor goes on with its next task. `where` names the
// executor: "main", "background" or a queue's label.
//
//   setTaskFailureHandler([](const std::string& where, const std::string& what) { ... });
//
// The handler runs on the failing thread, so it must be thread-safe; what it throws is
// dropped. `what` is the exception's what(), or "The operation couldn't be completed." for one
// that is not a std::exception. Without a handler a failure is only counted. The platform writes
// nothing.
using TaskFailureHandler = std::function<void(const std::string& where, const std::string& what)>;
void setTaskFailureHandler(TaskFailureHandler handler);
// Failures caught since the process started.
std::uint64_t taskFailureCount();
void runTask(const Task& task, std::string_view where) noexcept;

}  // namespace tilo::platform
