// Where work runs. Every queue, the main loop and the background pool are Executors.
#pragma once

#include <functional>

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

}  // namespace tilo::platform
