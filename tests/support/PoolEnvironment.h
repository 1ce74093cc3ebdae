// The production runtime with a background pool of exactly `workers` threads, for tests
// that run the SDK on real threads: the system clock, the process's main loop
// (MainLoop::shared(), which tilo_run_main_loop_for pumps) and a pool of that size.
//
//   PoolEnvironment pool(1);                 // installed until it goes out of scope
//   startLoads();
//   while (!done) tilo_run_main_loop_for(0.01);
//
// The environment and its pool are kept for the rest of the process, one per size, like
// the system's own: threads the SDK started (HTTP workers) may still post to them after
// the test.
#pragma once

#include <memory>

#include "platform/Environment.h"

namespace tilo::test {

class PoolEnvironment {
 public:
  explicit PoolEnvironment(unsigned workers);
  ~PoolEnvironment();
  PoolEnvironment(const PoolEnvironment&) = delete;
  PoolEnvironment& operator=(const PoolEnvironment&) = delete;

 private:
  class Installed;
  Installed* installed_;
};

}  // namespace tilo::test
