// A fresh SDK per test: a temporary bundle (Info.plist with the app key and a sealed key
// file), a temporary application container, a development backend on a free loopback
// port and a mock-time environment, with the process-wide SDK reset around it.
//
//   SdkFixture sdk;                                   // defaults: backend on, two units
//   std::optional<std::optional<TiloError>> result;
//   TiloAds::shared()->initialized([&](auto error) { result = error; });
//   ASSERT_TRUE(sdk.drive([&] { return result.has_value(); }));
//
// Warning: construct it before any SDK object of the test and let those go first; the
// mock environment drops pending work when it is destroyed.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlistValue.h"
#include "platform/TestEnvironment.h"
#include "support/TempDir.h"
#include "tools/devserver/DevServer.h"

namespace tilo::test {

struct SdkFixtureOptions {
  std::string appKey = "test-app-key-0001";
  // Key-file JSON; empty = defaultConfigJson(appKey).
  std::string configJson;
  // What the backend answers on "/sdk/init"; empty = defaultAppInfoJson().
  std::string appInfoJson;
  // Off: the SDK points at a closed loopback port, so every request fails at once.
  bool backend = true;
  std::string bundleIdentifier = "com.tilo.tests";
  // With campaigns the backend is also an exchange of house ads.
  std::shared_ptr<const devserver::Campaigns> campaigns;

  // One unit a format for the hosts' APIs: "inter", "reward", "open", and "banner", "mrec",
  // "native" that never refresh; fee rate 0.15.
  static SdkFixtureOptions hostApiUnits();
  // Defaults with the backend off.
  static SdkFixtureOptions offline() {
    SdkFixtureOptions options;
    options.backend = false;
    return options;
  }
};

class SdkFixture {
 public:
  explicit SdkFixture(SdkFixtureOptions options = {});
  ~SdkFixture();
  SdkFixture(const SdkFixture&) = delete;
  SdkFixture& operator=(const SdkFixture&) = delete;

  platform::TestEnvironment& env() { return env_; }
  // Null when the backend is off.
  const std::shared_ptr<devserver::DevServer>& server() const { return server_; }
  const SdkFixtureOptions& options() const { return options_; }
  const std::filesystem::path& bundleDir() const { return bundle_.path(); }
  const std::filesystem::path& containerDir() const { return container_.path(); }
  std::string baseUrl() const;

  // Backend requests and real-demand work (bid requests, pictures, trackers) not finished.
  static int requestsInFlight();
  // Runs due work; waits in real time while a request of requestsInFlight is out; otherwise
  // fast-forwards the mock clock to the next timer or sleep. Stops when `done` holds
  // (true) or `maxMockSeconds` of mock time have passed (false).
  bool drive(const std::function<bool()>& done, double maxMockSeconds = 30);
  // Like a process restart: drops the SDK (bundle, container and backend stay).
  void relaunch();

  // {"appKey": appKey, "platform": "ios", "storeId": "1234567890", ...}.
  static std::string defaultConfigJson(const std::string& appKey);
  // Units "banner-unit" and "interstitial-unit", fee rate 0.15, marker checkpoints on.
  static std::string defaultAppInfoJson();
  // One unit a "tiloAdUnitId:type": mediation unit "gad/<id>", named by the id's first letter
  // in capitals, views (banner, mrec, native) that never refresh; fee rate 0.15.
  static std::string appInfoJson(const std::vector<std::string>& units);
  // Writes Info.plist (the given values plus CFBundleIdentifier) into `dir`.
  static void writeInfoPlist(const std::filesystem::path& dir,
                             platform::PlistValue::Dictionary values);
  // The key-file text: Base64 of the configuration sealed with the app key.
  static std::string sealKeyFile(const std::string& appKey, const std::string& configJson);
  // A bundle for `appKey` in `dir`, for hosts that start the SDK themselves: Info.plist
  // and the sealed defaultConfigJson.
  static void writeBundle(const std::filesystem::path& dir, const std::string& appKey,
                          const std::string& bundleIdentifier = "com.tilo.tests");
  // A development backend on a free loopback port; throws when it cannot start.
  static std::shared_ptr<devserver::DevServer> startBackend(
      const std::string& appKey, const std::string& appInfoJson,
      std::shared_ptr<const devserver::Campaigns> campaigns = nullptr);

 private:
  SdkFixtureOptions options_;
  TempDir bundle_;
  TempDir container_;
  platform::TestEnvironment env_;
  std::shared_ptr<devserver::DevServer> server_;
};

}  // namespace tilo::test
