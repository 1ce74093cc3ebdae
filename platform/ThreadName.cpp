#include "platform/ThreadName.h"

#include <pthread.h>

namespace tilo::platform {

void setThreadName(std::thread& thread, const std::string& name) {
  // A name over 15 bytes is refused outright rather than cut, so cut it here.
  pthread_setname_np(thread.native_handle(), name.substr(0, 15).c_str());
}

}  // namespace tilo::platform
