#include "platform/ui/FirstWindow.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/Environment.h"

namespace tilo::platform {
namespace {

std::mutex windowMutex;
bool windowCreated = false;
// Made on first use and kept for the process: loading the library runs nothing.
std::vector<std::function<void()>>& waiting() {
  static auto* const tasks = new std::vector<std::function<void()>>();
  return *tasks;
}

}  // namespace

void whenAWindowExists(std::function<void()> task) {
  {
    std::lock_guard lock(windowMutex);
    if (!windowCreated) {
      waiting().push_back(std::move(task));
      return;
    }
  }
  runTask(task, "main");
}

void noteWindowCreated() {
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard lock(windowMutex);
    if (windowCreated) return;
    windowCreated = true;
    tasks.swap(waiting());
  }
  for (const auto& task : tasks) runTask(task, "main");
}

void forgetWindowsForTesting() {
  std::lock_guard lock(windowMutex);
  windowCreated = false;
  waiting().clear();
}

}  // namespace tilo::platform
