#pragma once

#include <string>
#include <thread>

namespace tilo::platform {

// Names a thread as debuggers, `top -H` and /proc show it ("tilo-pool-0"), from the
// thread that started it, so the name is there before the thread runs anything. The
// kernel keeps 15 characters; a longer name is cut.
void setThreadName(std::thread& thread, const std::string& name);

}  // namespace tilo::platform
