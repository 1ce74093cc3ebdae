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

// `url` with its control characters (CR, LF, NUL, DEL ...) percent-encoded: no URL holds
// them raw, a log line must not be split or forged by one, and a C string must not end
// early at a NUL.
std::string withoutControlCharacters(const std::string& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    }
  }
  return out;
}

void openThroughHost(const std::string& raw) {
  std::string url = withoutControlCharacters(raw);
  if (url.size() != raw.size()) {
    log("A click's URL held control characters, percent-encoded: " + url, TiloLogLevel::error);
  }
  // The callback is read when the call runs: one the host replaced meanwhile is not called.
  platform::postToMain([url = std::move(url)] {
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
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  return guarded([&] {
    installOpenUrlHandler();
    std::lock_guard lock(openUrlMutex);
    openUrlCallback = {callback, context};
    return TILO_STATUS_OK;
  });
}

}  // extern "C"
