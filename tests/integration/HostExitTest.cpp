// A host that returns from main while an upload is in flight: a real process on the real
// main loop, pool and HTTP client, against a loopback backend that answers the upload
// only once the host is exiting. The process must exit with status 0 and print nothing on
// standard error (no "pure virtual method called", no sanitizer report under the
// sanitizer builds).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "Tilo/telemetry/EventStore.h"
#include "platform/Environment.h"
#include "platform/MainLoop.h"
#include "platform/UserDefaults.h"
#include "support/ChildProcess.h"
#include "support/LoopbackHttpServer.h"
#include "support/SdkFixture.h"
#include "support/TempDir.h"
#include "tilo/Tilo.hpp"
#include "tilo/tilo.h"

namespace tilo::test {
namespace {

constexpr const char* kHostVariable = "TILO_TEST_EXITING_HOST";
constexpr const char* kAppKey = "exit-host-app-key";

// Holds the process's exit open until the upload's answer has been handled. Registered
// before the SDK exists, it runs after the SDK's statics are destroyed: the window in which
// a real host's exit meets a late answer, made wide enough to hit every time.
void waitForTheUploadsAnswer() {
  for (int i = 0; i < 1000 && NetworkClient::requestsInFlight() > 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the answer's follow-up work
  // What follow-up work may do on a pool thread meanwhile (a retry, a delayed save): read
  // the clock and post delayed work to the main loop and to the pool.
  std::atomic<bool> posted{false};
  platform::postBackground([&posted] {
    auto& environment = platform::Environment::current();
    environment.mainExecutor()->postDelayed([] {}, 1);
    environment.backgroundExecutor()->postDelayed([] {}, 1);
    posted = true;
  });
  for (int i = 0; i < 500 && !posted; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Runs this test binary again with only `test` and the extra environment `variables`:
// its gtest report is the standard output.
ChildRun runSelf(const std::string& test, const std::vector<std::string>& variables) {
  return runChild(
      {std::filesystem::read_symlink("/proc/self/exe").string(), "--gtest_filter=" + test},
      variables);
}

// The host programs below are tests only inside the children started by the tests of this
// file, where each is the whole process: registered there alone, they are never listed,
// run or skipped in the suite's own process.
class ChildHost : public ::testing::Test {
 public:
  explicit ChildHost(void (*body)()) : body_(body) {}
  void TestBody() override { body_(); }

 private:
  void (*body_)();
};

void registerChildHost(const char* variable, const char* suite, const char* name, void (*body)()) {
  if (!std::getenv(variable)) return;
  ::testing::RegisterTest(suite, name, nullptr, nullptr, __FILE__, __LINE__,
                          [body]() -> ::testing::Test* { return new ChildHost(body); });
}

// The exiting host: it initializes the SDK, logs one batch of events so that the upload
// starts, and returns (to main, which returns) as soon as the request is on the wire.
void returnFromMainWhileUploading() {
  std::atexit(waitForTheUploadsAnswer);
  auto loop = platform::MainLoop::shared();
  bool ready = false;
  TiloAds::shared()->initialized([&](std::optional<TiloError> error) { ready = !error; });
  ASSERT_TRUE(loop->runUntil([&] { return ready; }, 30));
  for (std::size_t i = 0; i < AdEventLogger::kMaxEventCount; ++i) {
    logEvent(AdLogEventType::adRequest, TiloAdInfo{TiloAdFormat::banner, "banner-unit", {}, {}});
  }
  // Starting a request posts nothing to the main thread: look between short runs.
  for (int i = 0; i < 3000 && NetworkClient::requestsInFlight() == 0; ++i) loop->runFor(0.01);
  ASSERT_GT(NetworkClient::requestsInFlight(), 0);
}

TEST(HostExitTest, HostThatExitsDuringAnUploadExitsCleanly) {
  TempDir bundle, container;
  SdkFixture::writeBundle(bundle.path(), kAppKey);

  LoopbackHttpServer server;
  std::atomic<int> uploads{0};
  server.http().Get("/sdk/init", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(SdkFixture::defaultAppInfoJson(), "application/json");
  });
  // The answer comes late: by then the host has returned from main.
  server.http().Post("/analytics/events", [&](const httplib::Request&, httplib::Response& answer) {
    ++uploads;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    answer.status = 500;
  });
  server.start();

  const ChildRun child = runSelf(
      "ExitingHost.ReturnsFromMainWhileUploading",
      {std::string(kHostVariable) + "=1", "TILO_BUNDLE_DIR=" + bundle.path().string(),
       "TILO_APP_CONTAINER=" + container.path().string(), "TILO_API_BASE_URL=" + server.url("")});
  EXPECT_EQ(uploads.load(), 1) << "the upload was in flight when the host exited";
  EXPECT_EQ(child.exitCode, 0) << "signal " << child.signal;
  EXPECT_EQ(child.err, "");
}

constexpr const char* kShutdownVariable = "TILO_TEST_SHUTTING_DOWN_HOST";

struct ShutdownHost {
  bool loaded = false, shown = false, shutDownInLog = false;
  int dismissals = 0, logLines = 0;
  std::vector<tilo_status> fromCallbacks;  // what tilo_shutdown said inside callbacks
};

// A host that shuts the SDK down with an interstitial on screen and an event not yet
// saved: a child of its own, since a shutdown is final for the process.
void shutDownWithAnAdOnScreen() {
  SdkFixture sdk;
  ShutdownHost host;
  ASSERT_EQ(tilo_set_log_level(TILO_LOG_LEVEL_DEBUG), TILO_STATUS_OK);
  ASSERT_EQ(tilo_set_log_callback(
                [](void* context, tilo_log_level, const char*) {
                  auto& host = *static_cast<ShutdownHost*>(context);
                  ++host.logLines;
                  if (host.shutDownInLog) host.fromCallbacks.push_back(tilo_shutdown());
                  host.shutDownInLog = false;
                },
                &host),
            TILO_STATUS_OK);
  int initialized = 0;
  ASSERT_EQ(tilo_initialize([](void* done, const tilo_error*) { *static_cast<int*>(done) = 1; },
                            &initialized),
            TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return initialized == 1; }));

  auto cppWindow = tilo::Window::create(100, 100, 1);
  tilo_window* window = tilo_window_create(390, 844, 3);
  tilo_interstitial_ad* ad = tilo_interstitial_ad_create("interstitial-unit");
  ASSERT_TRUE(cppWindow && window && ad);
  tilo_interstitial_ad_delegate delegate{};
  delegate.size = sizeof delegate;
  delegate.did_load = [](void* context, tilo_interstitial_ad*, const tilo_ad_info*) {
    static_cast<ShutdownHost*>(context)->loaded = true;
  };
  delegate.did_show = [](void* context, tilo_interstitial_ad*, const tilo_ad_info*) {
    auto& host = *static_cast<ShutdownHost*>(context);
    host.shown = true;
    host.fromCallbacks.push_back(tilo_shutdown());
  };
  delegate.did_dismiss = [](void* context, tilo_interstitial_ad*, const tilo_ad_info*) {
    ++static_cast<ShutdownHost*>(context)->dismissals;
  };
  ASSERT_EQ(tilo_interstitial_ad_set_delegate(ad, &delegate, &host), TILO_STATUS_OK);
  // An inspector open at the shutdown closes without telling the host either.
  ASSERT_EQ(
      tilo_ad_inspector_set_close_callback(
          [](void* context, tilo_window*) { ++static_cast<ShutdownHost*>(context)->dismissals; },
          &host),
      TILO_STATUS_OK);
  ASSERT_EQ(tilo::AdInspector::open(*cppWindow), TILO_STATUS_OK);
  ASSERT_EQ(tilo_interstitial_ad_load(ad), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return host.loaded; }));
  host.shutDownInLog = true;
  ASSERT_EQ(tilo_interstitial_ad_show_from(ad, tilo_window_root_view_controller(window)),
            TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return host.shown; }));

  // 1. Refused, and nothing happens: inside a delegate and a log line, from another thread.
  EXPECT_EQ(host.fromCallbacks,
            (std::vector<tilo_status>{TILO_STATUS_IN_CALLBACK, TILO_STATUS_IN_CALLBACK}));
  tilo_status fromOtherThread = TILO_STATUS_OK;
  std::thread([&] { fromOtherThread = tilo_shutdown(); }).join();
  EXPECT_EQ(fromOtherThread, TILO_STATUS_WRONG_THREAD);
  EXPECT_EQ(tilo_interstitial_ad_is_ready(ad), 0);  // shown: the SDK still runs

  // 2. The shutdown: an event logged a moment ago reaches the disk (every thread gone: the
  //    unload host counts them).
  //    What waited for the main thread (an object dropped on another thread, a completion
  //    of initialize()) is freed uncalled: a sanitized build's leak check ends the child.
  logEvent(AdLogEventType::adRequest, TiloAdInfo{TiloAdFormat::banner, "last-unit", {}, {}});
  auto dropped = std::make_unique<tilo::InterstitialAd>(
      std::move(tilo::InterstitialAd::create("interstitial-unit").value()));
  std::thread([&] { dropped.reset(); }).join();
  bool completed = false;
  ASSERT_EQ(tilo::Ads::initialize([&](std::optional<tilo::Error>) { completed = true; }),
            TILO_STATUS_OK);
  ASSERT_EQ(tilo::shutdown(), TILO_STATUS_OK);
  EXPECT_FALSE(TiloAds::isSharedBuilt());
  const auto saved =
      EventStore(platform::UserDefaults::standard(), sdk.options().appKey).loadSavedEvents();
  EXPECT_TRUE(std::any_of(saved.begin(), saved.end(),
                          [](const AdLogEvent& event) {
                            return event.payloadJsonString.find("last-unit") != std::string::npos;
                          }))
      << saved.size() << " events saved";

  // 3. What was pending runs into nothing: no callback reaches the host any more.
  const int linesAtShutdown = host.logLines;
  sdk.env().advance(60);
  EXPECT_EQ(host.dismissals, 0);
  EXPECT_EQ(host.logLines, linesAtShutdown);
  EXPECT_FALSE(completed);

  // 4. Every later call is refused by name, old handles included: one call per guard (those
  //    of tilo_shutdown, initialize and creation: the library matrix's fork host).
  EXPECT_EQ(tilo_set_user_id("user"), TILO_STATUS_SHUT_DOWN);
  EXPECT_EQ(tilo_application_did_receive_memory_warning(), TILO_STATUS_SHUT_DOWN);
  EXPECT_EQ(tilo_interstitial_ad_load(ad), TILO_STATUS_SHUT_DOWN);
  EXPECT_EQ(tilo_interstitial_ad_destroy(ad), TILO_STATUS_SHUT_DOWN);
  EXPECT_EQ(tilo_window_tap(window, 10, 10), TILO_STATUS_SHUT_DOWN);
  EXPECT_EQ(tilo_ad_inspector_open(window), TILO_STATUS_SHUT_DOWN);
  EXPECT_EQ(tilo_ad_inspector_set_close_callback(nullptr, nullptr), TILO_STATUS_SHUT_DOWN);
  std::vector<std::uint8_t> pixels(390 * 3 * 4);
  tilo_rect damaged{};
  tilo_status rendered = TILO_STATUS_OK;
  std::thread([&] {
    rendered = tilo_window_render(window, pixels.data(), 390 * 3 * 4,
                                  TILO_PIXEL_FORMAT_RGBA_PREMULTIPLIED, &damaged);
  }).join();
  EXPECT_EQ(rendered, TILO_STATUS_SHUT_DOWN);
}

[[maybe_unused]] const bool childHostsRegistered = [] {
  registerChildHost(kHostVariable, "ExitingHost", "ReturnsFromMainWhileUploading",
                    returnFromMainWhileUploading);
  registerChildHost(kShutdownVariable, "ShuttingDownHost",
                    "SavesClosesJoinsAndRefusesEverythingAfter", shutDownWithAnAdOnScreen);
  return true;
}();

TEST(HostExitTest, ShutdownSavesClosesJoinsAndRefusesEverythingAfter) {
  const ChildRun child = runSelf("ShuttingDownHost.SavesClosesJoinsAndRefusesEverythingAfter",
                                 {std::string(kShutdownVariable) + "=1"});
  EXPECT_EQ(child.exitCode, 0) << "signal " << child.signal << "\n" << child.out << child.err;
  EXPECT_THAT(child.out, ::testing::HasSubstr("[  PASSED  ] 1 test."));
}

}  // namespace
}  // namespace tilo::test
