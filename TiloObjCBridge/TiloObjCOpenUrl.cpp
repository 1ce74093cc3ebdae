// Where clicks lead. The SDK never opens a URL, a browser or a process itself: the
// platform hands a click's destination to the handler installed here, which gives it to
// the host's tilo_set_open_url_callback on the main loop, or logs it at debug level while
// the host has none.
#include <mutex>
#include <string>

#include "Tilo/base/TiloLogger.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "platform/Application.h"
#include "platform/Environment.h"
#include "tilo/tilo.h"

namespace tilo::bridge {
namespace {

struct OpenUrlCallback {
  tilo_open_url_callback callback = nullptr;
  void* context = nullptr;
};

std::mutex openUrlMutex;
OpenUrlCallback openUrlCallback;

void openThroughHost(const std::string& url) {
  // The callback is read when the call runs: one the host replaced meanwhile is not called.
  platform::postToMain([url] {
    OpenUrlCallback target;
    {
      std::lock_guard lock(openUrlMutex);
      target = openUrlCallback;
    }
    if (!target.callback)
      return log("Open URL (no open-URL callback set): " + url, TiloLogLevel::debug);
    HostCallbackScope inCallback;
    target.callback(target.context, url.c_str());
  });
}

}  // namespace

void forgetOpenUrlCallback() {
  std::lock_guard lock(openUrlMutex);
  openUrlCallback = {};
}

void installOpenUrlHandler() {
  static const bool installed =
      (platform::Application::shared().setOpenURLHandler(openThroughHost), true);
  (void)installed;
}

}  // namespace tilo::bridge

extern "C" {

tilo_status tilo_set_open_url_callback(tilo_open_url_callback callback, void* context) {
  using namespace tilo::bridge;
  if (isShutDown()) return TILO_STATUS_SHUT_DOWN;
  return guarded([&] {
    installOpenUrlHandler();
    std::lock_guard lock(openUrlMutex);
    openUrlCallback = {callback, context};
    return TILO_STATUS_OK;
  });
}

}  // extern "C"
