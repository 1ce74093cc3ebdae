// Bundles and initialized SDKs for the benchmarks.
//
//   static tilo::bench::LoopbackSdk sdk(R"({"adUnits":[...],"feeRate":0.1})");
//
// Failures abort: a benchmark that cannot set up has nothing to report.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace tilo::devserver {
class DevServer;
}
namespace tilo::platform {
class UIView;
class UIWindow;
}  // namespace tilo::platform

namespace tilo::bench {

// A phone-sized window: 390 × 844 points at scale 3, with a notch's safe area.
std::shared_ptr<platform::UIWindow> makePhoneWindow();
// Pins `view` to the bottom centre of the window's safe area and lays the window out.
void placeAtBottom(const std::shared_ptr<platform::UIWindow>& window,
                   const std::shared_ptr<platform::UIView>& view);

inline constexpr const char* kAppKey = "bench-app-key";
inline constexpr const char* kMinimalConfig =
    R"({"appKey":"bench-app-key","platform":"ios","storeId":"1"})";

std::filesystem::path makeTempDir();

// Info.plist with the app key and the key file sealing `configJson` with it.
void writeBundle(const std::filesystem::path& bundle,
                 const std::string& configJson = kMinimalConfig);

// An SDK initialized on the real main loop against a development backend on loopback that
// serves `appInfoJson`; `beforeInitialize` runs once the bundle, container and backend are
// in place (to script the ad source, say).
class LoopbackSdk {
 public:
  explicit LoopbackSdk(const std::string& appInfoJson,
                       const std::function<void()>& beforeInitialize = {});
  ~LoopbackSdk();
  LoopbackSdk(const LoopbackSdk&) = delete;
  LoopbackSdk& operator=(const LoopbackSdk&) = delete;

 private:
  std::filesystem::path bundle_ = makeTempDir(), container_ = makeTempDir();
  std::shared_ptr<devserver::DevServer> server_;
};

}  // namespace tilo::bench
