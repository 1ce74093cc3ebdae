#include "support/PoolEnvironment.h"

#include <map>
#include <mutex>

#include "platform/MainLoop.h"
#include "platform/ThreadPool.h"

namespace tilo::test {

class PoolEnvironment::Installed final : public platform::Environment {
 public:
  explicit Installed(unsigned workers) : pool_(workers) {}
  platform::Clock& clock() override { return clock_; }
  std::shared_ptr<platform::Executor> mainExecutor() override {
    return platform::MainLoop::shared();
  }
  std::shared_ptr<platform::Executor> backgroundExecutor(platform::TaskPriority priority) override {
    return pool_.executor(priority);
  }
  bool isMainThread() const override { return platform::MainLoop::shared()->isMainThread(); }

  void install() { Environment::install(this); }
  void uninstall() { Environment::uninstall(this); }

 private:
  platform::SystemClock clock_;
  platform::ThreadPool pool_;
};

PoolEnvironment::PoolEnvironment(unsigned workers) {
  static std::mutex mutex;
  static auto* environments = new std::map<unsigned, Installed*>();
  {
    std::lock_guard lock(mutex);
    auto& environment = (*environments)[workers];
    if (!environment) environment = new Installed(workers);
    installed_ = environment;
  }
  installed_->install();
}

PoolEnvironment::~PoolEnvironment() {
  installed_->uninstall();
}

}  // namespace tilo::test
