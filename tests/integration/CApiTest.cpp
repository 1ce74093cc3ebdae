// The C ABI as hosts use it. The full-screen wrappers are driven by a host written in C
// (chost/CHost.c, compiled as C11); the manager, windows, lifecycle and the handle table
// are checked from here. The SDK runs against the development backend on loopback with
// the scripted ad source, on mock time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "Tilo/base/TiloLogger.h"
#include "Tilo/entry/TiloAds.h"
#include "Tilo/views/TiloAdLineBannerView.h"
#include "Tilo/views/TiloAdNativeView.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCView.h"
#include "TiloObjCBridge/TiloObjCWindow.h"
#include "chost/CHost.h"
#include "mediation/AdSource.h"
#include "mediation/CallRecorder.h"
#include "mediation/TestCreatives.h"
#include "platform/Application.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/SystemLibraries.h"
#include "platform/ui/ImageRenditionCache.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/ViewRenderer.h"
#include "support/GoldenImage.h"
#include "support/SdkFixture.h"
#include "support/TempDir.h"
#include "support/Watchdog.h"
#include "tilo/Tilo.hpp"
#include "tilo/tilo.h"

namespace tilo::test {
namespace {

void onInit(void* context, const tilo_error* error) {
  auto& calls = *static_cast<std::vector<std::string>*>(context);
  calls.push_back(error ? std::string(error->domain) + " " + std::to_string(error->code) + " " +
                              error->message
                        : "init ok");
}

// `size` bytes between two pages that fault when touched, flush against the first or (with
// `atEnd`) against the second.
class GuardedBuffer {
 public:
  GuardedBuffer(std::size_t size, bool atEnd) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t inner = (size + page - 1) / page * page;
    length_ = inner + 2 * page;
    base_ = static_cast<std::uint8_t*>(
        ::mmap(nullptr, length_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(base_, MAP_FAILED);
    EXPECT_EQ(::mprotect(base_ + page, inner, PROT_READ | PROT_WRITE), 0);
    data_ = base_ + page + (atEnd ? inner - size : 0);
  }
  ~GuardedBuffer() { ::munmap(base_, length_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  std::uint8_t* data() const { return data_; }

 private:
  std::uint8_t* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t length_ = 0;
};

std::vector<double> rectOf(const tilo_rect& rect) {
  return {rect.x, rect.y, rect.width, rect.height};
}

class CApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mediation::AdSource::shared().reset();
    platform::Application::shared().resetForTesting();
  }
  void TearDown() override {
    mediation::AdSource::shared().reset();
    setCurrentLogLevel(TiloLogLevel::off);
    tilo_set_log_callback(nullptr, nullptr);
    platform::Application::shared().resetForTesting();
  }

  void initialize() {
    std::vector<std::string> calls;
    ASSERT_EQ(tilo_initialize(onInit, &calls), TILO_STATUS_OK);
    ASSERT_TRUE(sdk.drive([&] { return !calls.empty(); }));
    ASSERT_EQ(calls, std::vector<std::string>{"init ok"});
  }

  // The driver the C host runs on.
  c_host_env hostEnv() {
    c_host_env env{};
    env.impl = this;
    env.drive_until = [](void* impl, const int* flag, double seconds) {
      return int(static_cast<CApiTest*>(impl)->sdk.drive([flag] { return *flag != 0; }, seconds));
    };
    env.advance = [](void* impl, double seconds) {
      static_cast<CApiTest*>(impl)->sdk.drive([] { return false; }, seconds);
    };
    // Units keep their scripts until scripted again.
    env.script = [](void* impl, const char* unit, const char* json) {
      auto& units = static_cast<CApiTest*>(impl)->units;
      units[unit] = platform::parseJson(json);
      auto error = mediation::AdSource::shared().loadScenario(platform::Json{{"units", units}});
      ASSERT_FALSE(error) << *error;
    };
    return env;
  }

  SdkFixture sdk{SdkFixtureOptions::hostApiUnits()};
  platform::Json units = platform::Json::object();
};

// The C host's own scenarios, each on a fresh SDK; a failure names its line in CHost.c.
struct CHostScenario {
  const char* name;
  int (*run)(c_host_env*);
};
// ctest names each instance by what this prints (by default, the function's address).
void PrintTo(const CHostScenario& scenario, std::ostream* os) {
  *os << scenario.name;
}

class CHostScenarioTest : public CApiTest, public ::testing::WithParamInterface<CHostScenario> {};

TEST_P(CHostScenarioTest, PassesEveryCheck) {
  initialize();
  c_host_env env = hostEnv();
  EXPECT_EQ(GetParam().run(&env), 1) << env.failure;
}

INSTANTIATE_TEST_SUITE_P(CApi, CHostScenarioTest,
                         ::testing::Values(CHostScenario{"FullScreenDelegates",
                                                         c_host_full_screen_delegates},
                                           CHostScenario{"BadInput", c_host_bad_input}));

// A log callback that calls back into the SDK on every line (the user id, a privacy choice)
// and counts what it heard. Lines its own calls log come back at depth 2, unanswered.
struct ReenteringLog {
  std::atomic<int> lines{0}, buildLines{0}, buildLevel{-1}, failedCalls{0}, deepest{0};
  std::mutex mutex;
  std::string errors;  // the error lines
  static void hear(void* context, tilo_log_level level, const char* line) {
    thread_local int depth = 0;
    auto& log = *static_cast<ReenteringLog*>(context);
    ++log.lines;
    if (std::strstr(line, "initialized with app key")) {
      ++log.buildLines;
      log.buildLevel = level;
    }
    if (level == TILO_LOG_LEVEL_ERROR) {
      std::lock_guard lock(log.mutex);
      log.errors += line;
    }
    if (++depth > log.deepest) log.deepest = depth;
    char user[32];
    int64_t length = 0;
    int consent = 0;
    if (depth == 1 && (tilo_set_user_id("log-reader") != TILO_STATUS_OK ||
                       tilo_get_user_id(user, sizeof user, &length) != TILO_STATUS_OK ||
                       length != 10 || tilo_get_has_user_consent(&consent) != TILO_STATUS_OK)) {
      ++log.failedCalls;
    }
    --depth;
  }
};

TEST_F(CApiTest, ALogCallbackMayCallBackIntoTheSdkDuringStartUpAndLoads) {
  // A deadlock here would hang the suite: the watchdog ends it with this name instead.
  Watchdog watchdog(60, "a log callback that calls back into the SDK");
  // Through the C++ API, whose callback slot takes the lines from any thread.
  ReenteringLog heard;
  ASSERT_EQ(tilo_set_log_level(TILO_LOG_LEVEL_DEBUG), TILO_STATUS_OK);
  ASSERT_EQ(tilo::Ads::setLogCallback([&heard](tilo::LogLevel level, const char* line) {
              ReenteringLog::hear(&heard, static_cast<tilo_log_level>(level), line);
            }),
            TILO_STATUS_OK);

  // 1. Start-up: building the SDK logs while the SDK's entry is locked; the callback, whose
  //    first call would build the SDK itself, hears that line once the entry is built.
  //    The lines go to the callback instead of standard output.
  ASSERT_FALSE(TiloAds::isSharedBuilt());
  ::testing::internal::CaptureStdout();
  initialize();
  EXPECT_EQ(heard.buildLines, 1);
  EXPECT_EQ(heard.buildLevel, TILO_LOG_LEVEL_DEBUG);
  EXPECT_GT(heard.lines, heard.buildLines);
  const int startLines = heard.lines;

  // 2. Loads: a rewarded ad and an auto-loading banner, whose load starts inside the
  //    delivery of its visibility, log as they go.
  auto window = tilo::Window::create(390, 844, 3);
  auto ad = tilo::RewardedAd::create("reward");
  auto banner = tilo::BannerView::create("banner", tilo::BannerSize::banner, true);
  ASSERT_TRUE(ad && window && banner);
  int loaded = 0;
  tilo::RewardedAd::Delegate adDelegate;
  adDelegate.didLoad = [&](const auto&) { ++loaded; };
  ad->setDelegate(adDelegate);
  tilo::BannerView::Delegate bannerDelegate;
  bannerDelegate.didLoad = [&](const auto&) { ++loaded; };
  banner->setDelegate(bannerDelegate);
  ASSERT_EQ(ad->load(), TILO_STATUS_OK);
  ASSERT_EQ(addViewPinned(*window, *banner, tilo::WindowEdge::bottom, 50), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return loaded == 2; }));
  EXPECT_GT(heard.lines, startLines);
  EXPECT_EQ(heard.failedCalls, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  // 3. Without a callback, standard output again.
  ASSERT_EQ(tilo::Ads::setLogCallback(nullptr), TILO_STATUS_OK);
  ::testing::internal::CaptureStdout();
  log("back on stdout", TiloLogLevel::debug);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find(" DEBUG back on stdout"),
            std::string::npos);
}

// The SDK view inside a view handle's wrapper.
template <class Internal>
std::shared_ptr<Internal> internalOf(const void* handle) {
  auto found = bridge::findView(handle);
  if (!found.view || found.view->subviews().size() != 1) return nullptr;
  return std::dynamic_pointer_cast<Internal>(found.view->subviews()[0]);
}

TEST_F(CApiTest, CHostDrivesEveryViewAndTheLightPopupThroughTheirDelegates) {
  initialize();
  c_host_env env = hostEnv();
  c_host_views views{};
  ASSERT_EQ(c_host_view_delegates(&env, &views), 1) << env.failure;
  auto* window = static_cast<tilo_window*>(views.window);

  // 1. The native view, placed twice, holds its SDK view once; the bound title label is
  //    filled and lies inside the platform's ad view.
  auto native = internalOf<TiloAdNativeView>(views.native);
  ASSERT_TRUE(native);
  native->layoutIfNeeded();
  ASSERT_TRUE(native->titleLabel());
  EXPECT_EQ(native->titleLabel()->text(), "Title");
  EXPECT_TRUE(native->titleLabel()->isDescendantOfView(native->gadNativeAdView().get()));
  EXPECT_EQ(native->titleLabel()->frame(), (platform::CGRect{16, 8, 200, 20}));
  EXPECT_FALSE(native->advertiserLabel());

  // 2. The line banner, pinned under the safe area's top, has the host's colours.
  auto line = internalOf<TiloAdLineBannerView>(views.line_banner);
  ASSERT_TRUE(line);
  auto wrapper = bridge::findView(views.line_banner).view;
  wrapper->layoutIfNeeded();
  EXPECT_EQ(wrapper->frame(), (platform::CGRect{0, 47, 390, 60}));
  EXPECT_EQ(line->frame(), (platform::CGRect{0, 0, 390, 60}));
  const auto& colors = *line->configuration();
  using platform::UIColor;
  EXPECT_EQ((std::vector<UIColor>{colors.backgroundColor, colors.adMarkTextColor,
                                  colors.adMarkBackgroundColor, colors.titleTextColor,
                                  colors.ctaTextColor, colors.ctaBackgroundColor}),
            (std::vector<UIColor>{UIColor(0x11 / 255.0, 0x22 / 255.0, 0x33 / 255.0, 0x44 / 255.0),
                                  UIColor(0, 0, 0, 1), UIColor(1, 1, 1, 0x80 / 255.0),
                                  UIColor(0, 1, 0, 1), UIColor(0, 0, 1, 1), UIColor(1, 0, 0, 0)}));
  EXPECT_EQ(line->backgroundColor(), colors.backgroundColor);  // applied, not only stored

  // 3. Destroying the window takes the views out; their handles stay valid.
  const std::size_t live = bridge::HandleTable::shared().liveCount();
  ASSERT_EQ(tilo_window_destroy(window), TILO_STATUS_OK);
  EXPECT_FALSE(wrapper->superview());
  EXPECT_EQ(tilo_line_banner_view_load_ad(static_cast<tilo_line_banner_view*>(views.line_banner)),
            TILO_STATUS_OK);
  EXPECT_EQ(tilo_native_view_destroy(static_cast<tilo_native_view*>(views.native)), TILO_STATUS_OK);
  EXPECT_EQ(tilo_line_banner_view_destroy(static_cast<tilo_line_banner_view*>(views.line_banner)),
            TILO_STATUS_OK);
  EXPECT_EQ(bridge::HandleTable::shared().liveCount(), live - 4);  // window, root, two views
}

// What a newcomer's bound native view draws, as the README shows it (its layout is the
// README's): asset views that look like an ad in light and dark appearance, hidden until
// the ad is there, and parts a host restyles.
TEST_F(CApiTest, BoundNativeViewLooksLikeAnAdInBothAppearances) {
  ASSERT_EQ(tilo_set_test_scenario(nullptr), TILO_STATUS_OK);  // the built-in creatives
  initialize();
  tilo_window* window = tilo_window_create(390, 844, 3);
  tilo_native_view* native = tilo_native_view_create("native", 0);
  const tilo_rect icon{16, 28, 48, 48}, title{76, 30, 250, 22}, advertiser{76, 54, 250, 18},
      body{16, 88, 326, 40}, media{16, 138, 326, 183}, cta{16, 333, 326, 44};
  const tilo_native_asset_layout layout{sizeof layout, &icon,  &title, &advertiser,
                                        &body,         &media, &cta,   nullptr};
  ASSERT_EQ(tilo_native_view_bind_native_views(native, &layout), TILO_STATUS_OK);
  ASSERT_EQ(tilo_window_add_view(window, native, {16, 100, 358, 389}), TILO_STATUS_OK);
  std::shared_ptr<platform::UIView> view = bridge::findView(native).view;
  tilo_rect mark{};
  EXPECT_EQ(tilo_window_element_frame(window, "native.adMark", &mark), TILO_STATUS_INVALID_ARGUMENT)
      << "the mark waits for the ad";
  ASSERT_EQ(tilo_native_view_load_native_ad(native), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive(
      [&] { return tilo_window_element_frame(window, "native.adMark", &mark) == TILO_STATUS_OK; }));
  const std::filesystem::path docs = TILO_SOURCE_DIR "/docs/images";
  expectGoldenImage(*view, docs / "native-bound.png");
  ASSERT_EQ(tilo_window_set_appearance(window, TILO_APPEARANCE_DARK), TILO_STATUS_OK);
  expectGoldenImage(*view, docs / "native-bound-dark.png");

  // A part restyled shows at once: a red call to action.
  ASSERT_EQ(
      tilo_native_view_set_background_color(native, TILO_NATIVE_PART_CALL_TO_ACTION, 0xFF0000FF),
      TILO_STATUS_OK);
  const auto pixels = platform::ViewRenderer().render(*view);
  const std::size_t at = (std::size_t(pixels.width) * (333 + 4) * 3 + (16 + 4) * 3) * 4;
  EXPECT_EQ((std::vector<int>{pixels.rgba[at], pixels.rgba[at + 1], pixels.rgba[at + 2]}),
            (std::vector<int>{255, 0, 0}));
  const std::tuple<int, int, double, int> refused[] = {
      {0, TILO_NATIVE_PART_CARD, 0, 0},      {0, TILO_NATIVE_PART_MEDIA + 1, 0, 0},
      {1, TILO_NATIVE_PART_MEDIA + 1, 0, 0}, {2, TILO_NATIVE_PART_MEDIA, 14, 0},
      {2, TILO_NATIVE_PART_TITLE, 0.5, 0},   {2, TILO_NATIVE_PART_TITLE, NAN, 0},
      {2, TILO_NATIVE_PART_TITLE, 14, 4}};
  for (const auto& [setter, part, size, weight] : refused) {
    const tilo_status status = setter == 0 ? tilo_native_view_set_text_color(native, part, 0)
                               : setter == 1
                                   ? tilo_native_view_set_background_color(native, part, 0)
                                   : tilo_native_view_set_font(native, part, size, weight);
    EXPECT_EQ(status, TILO_STATUS_INVALID_ARGUMENT) << setter << " " << part << " " << size;
  }
  EXPECT_EQ(tilo_native_view_set_font(native, TILO_NATIVE_PART_BODY, 12, TILO_FONT_WEIGHT_BOLD),
            TILO_STATUS_OK);
  tilo_native_view_destroy(native);
  tilo_window_destroy(window);
}

TEST_F(CApiTest, ManagerSettersGettersAndInitializationErrors) {
  // 1. Start-up settings apply before the SDK is built, not after.
  const std::string container = sdk.containerDir().string();
  EXPECT_EQ(tilo_set_application_container(container.c_str()), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_bundle_directory(""), TILO_STATUS_EMPTY_STRING);
  EXPECT_EQ(tilo_set_development_base_url("http://10.0.0.1:80"), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_set_development_base_url(sdk.baseUrl().c_str()), TILO_STATUS_OK);
  EXPECT_FALSE(TiloAds::isSharedBuilt());
  // Initialization starts on the main loop's next turn: consent given right after the call
  // is what the networks receive.
  mediation::CallRecorder::shared().clear();
  std::vector<std::string> calls;
  ASSERT_EQ(tilo_initialize(onInit, &calls), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_has_user_consent(TILO_YES), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_do_not_sell(TILO_NO), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return !calls.empty(); }));
  ASSERT_EQ(calls, std::vector<std::string>{"init ok"});
  EXPECT_EQ(
      mediation::CallRecorder::shared().callsTo("ALPrivacySettings"),
      (std::vector<mediation::RecordedCall>{{"ALPrivacySettings", "setHasUserConsent:", "true"},
                                            {"ALPrivacySettings", "setDoNotSell:", "false"}}));
  EXPECT_EQ(tilo_set_application_container(container.c_str()), TILO_STATUS_ALREADY_STARTED);
  EXPECT_EQ(tilo_set_development_base_url(nullptr), TILO_STATUS_ALREADY_STARTED);

  // 2. Identity and privacy reach the SDK and read back.
  auto& ads = *TiloAds::shared();
  EXPECT_EQ(tilo_set_gdpr_consent_string("CP-gdpr"), TILO_STATUS_OK);
  EXPECT_EQ(tilo_set_tracking_authorization(TILO_TRACKING_AUTHORIZED), TILO_STATUS_OK);
  const PrivacySettings privacy = ads.privacySnapshot();
  EXPECT_EQ(std::tie(privacy.hasUserConsent, privacy.doNotSell, privacy.gdprConsentString,
                     privacy.isTrackingAuthorized),
            std::make_tuple(std::optional(true), std::optional(false),
                            std::optional<std::string>("CP-gdpr"), true));
  ads.setTrackingAuthorizationStatus(platform::TrackingAuthorizationStatus::notDetermined);
  int value = 7;
  EXPECT_EQ(tilo_get_do_not_sell(&value), TILO_STATUS_OK);
  EXPECT_EQ(value, TILO_NO);
  int64_t length = 0;
  EXPECT_EQ(tilo_get_ccpa_string(nullptr, 0, &length), TILO_STATUS_OK);
  EXPECT_EQ(length, -1);
  EXPECT_EQ(tilo_get_ccpa_string(nullptr, 5, &length), TILO_STATUS_NULL_ARGUMENT);
}

// A bundle that cannot start the SDK is a status and a reason for every call that needs it,
// whatever the mistake, and nothing is built; once the host corrects it, the SDK starts.
TEST_F(CApiTest, ConfigurationMistakesAreStatusesUntilTheHostCorrectsThem) {
  using ::testing::HasSubstr;
  namespace fs = std::filesystem;
  const fs::path bundle = sdk.bundleDir();
  const fs::path keyFile = bundle / "ios-tilo-key.txt";
  const std::string appKey = sdk.options().appKey;
  auto writeKeyFile = [&](const std::string& key, const std::string& config) {
    fs::remove_all(keyFile);
    ASSERT_TRUE(platform::FileSystem::atomicWrite(keyFile, SdkFixture::sealKeyFile(key, config)));
  };
  const std::pair<std::function<void()>, std::string> mistakes[] = {
      {[&] { fs::remove(bundle / "Info.plist"); },
       "TiloAppKey not found in Info.plist (no Info.plist in " + bundle.string()},
      {[&] {
         SdkFixture::writeInfoPlist(bundle, {{"TiloAdsKey", 7}});
       },
       "TiloAppKey not found in Info.plist (" + (bundle / "Info.plist").string() +
           " is not a property list with a string under \"TiloAppKey\""},
      // Another app key in Info.plist: the key file does not decrypt, and the next bundle's
      // key is read afresh.
      {[&] {
         SdkFixture::writeInfoPlist(bundle, {{"TiloAppKey", "another-app-key"}});
       },
       "Failed to decrypt ios-tilo-key.txt"},
      {[&] { writeKeyFile(appKey, R"({"appKey":"k"})"); },
       "(keys \"platform\", \"storeId\" not found) (" + keyFile.string() + ")"},
  };
  std::vector<std::string> calls;
  for (const auto& [spoil, reason] : mistakes) {
    SCOPED_TRACE(reason);
    SdkFixture::writeInfoPlist(bundle, {{"TiloAppKey", appKey}});
    writeKeyFile(appKey, SdkFixture::defaultConfigJson(appKey));
    spoil();
    ASSERT_EQ(tilo_set_bundle_directory(bundle.c_str()), TILO_STATUS_OK);
    EXPECT_EQ(tilo_initialize(onInit, &calls), TILO_STATUS_NOT_CONFIGURED);
    EXPECT_THAT(tilo_last_error_message(), HasSubstr(reason));
    EXPECT_FALSE(TiloAds::isSharedBuilt());
    // Every other call that needs the SDK: the status and the reason, never an exit.
    const auto refused = tilo::RewardedAd::create("reward");
    EXPECT_EQ(refused.status(), TILO_STATUS_NOT_CONFIGURED);
    EXPECT_THAT(
        refused.message(),
        ::testing::AllOf(::testing::StartsWith("TILO_STATUS_NOT_CONFIGURED: "), HasSubstr(reason)));
    int value = 0;
    for (tilo_status status : {tilo_set_user_id("player"), tilo_get_do_not_sell(&value)}) {
      EXPECT_EQ(status, TILO_STATUS_NOT_CONFIGURED);
    }
    EXPECT_THAT(tilo_last_error_message(), HasSubstr(reason));
  }
  // What needs no SDK still works.
  tilo_window* window = tilo_window_create(100, 100, 1);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(tilo_window_destroy(window), TILO_STATUS_OK);
  // A log callback that calls back into the SDK hears the refusal without starting it again
  // (and again, from the lines of each start).
  SdkFixture::writeInfoPlist(bundle, {{"TiloAppKey", appKey}});
  ASSERT_EQ(tilo_set_bundle_directory(bundle.c_str()), TILO_STATUS_OK);
  ReenteringLog host;
  ASSERT_EQ(tilo_set_log_level(TILO_LOG_LEVEL_DEBUG), TILO_STATUS_OK);
  ASSERT_EQ(tilo_set_log_callback(ReenteringLog::hear, &host), TILO_STATUS_OK);
  EXPECT_EQ(tilo_initialize(onInit, &calls), TILO_STATUS_NOT_CONFIGURED);
  EXPECT_EQ(host.deepest, 1);
  EXPECT_EQ(host.lines, 2);  // "initialized with app key", then the reason
  EXPECT_THAT(host.errors, HasSubstr(std::string(" ERROR ") + tilo_last_error_message()));
  ASSERT_EQ(tilo_set_log_callback(nullptr, nullptr), TILO_STATUS_OK);
  ASSERT_EQ(tilo_set_log_level(TILO_LOG_LEVEL_OFF), TILO_STATUS_OK);

  writeKeyFile(appKey, SdkFixture::defaultConfigJson(appKey));
  ASSERT_EQ(tilo_set_bundle_directory(bundle.c_str()), TILO_STATUS_OK);
  initialize();
  EXPECT_STREQ(tilo_last_error_message(), "");
  EXPECT_TRUE(calls.empty());
}

// The host scripts the test ad source in code or with TILO_TEST_SCENARIO. Bad input is
// refused with the JSON path and the reason, and the scenario in force stays (every field's
// check: the ad source's own tests).
TEST_F(CApiTest, TestScenariosRefuseBadInputWithItsPathAndKeepTheCurrentOne) {
  auto& source = mediation::AdSource::shared();
  ASSERT_EQ(tilo::Ads::setTestScenario(R"({"units":{"u":{"network":"Vungle","delayMs":5}}})"),
            TILO_STATUS_OK);

  // TILO_TEST_SCENARIO: read when the SDK is built, unless the host set one before (as
  // above); a file that is refused changes nothing and says why in the log.
  TempDir dir;
  const auto file = (dir.path() / "scenario.json").string();
  platform::FileSystem::atomicWrite(file, R"({"units":{"gad/reward":{"network":"FromFile"}}})");
  setenv("TILO_TEST_SCENARIO", file.c_str(), 1);
  initialize();
  EXPECT_EQ(source.scriptFor("u").network, "Vungle");
  EXPECT_EQ(source.scriptFor("gad/reward").network, "AdMob");
  sdk.relaunch();
  initialize();
  EXPECT_EQ(source.scriptFor("gad/reward").network, "FromFile");
  sdk.relaunch();
  platform::FileSystem::atomicWrite(file, R"({"units":{"gad/reward":{"network":1}}})");
  setCurrentLogLevel(TiloLogLevel::error);
  ScopedLogCapture logs;
  initialize();
  unsetenv("TILO_TEST_SCENARIO");
  EXPECT_EQ(source.scriptFor("gad/reward").network, "FromFile");
  EXPECT_EQ(logs.count("ERROR TILO_TEST_SCENARIO refused, the scenario in force stays: " + file +
                       ": units.gad/reward.network: expected a string"),
            1u);
  // NULL returns to the built-in scenario.
  ASSERT_EQ(tilo_set_test_scenario(nullptr), TILO_STATUS_OK);
  EXPECT_EQ(source.scriptFor("gad/reward").network, "AdMob");

  // Units are mediation ad-unit ids: once the app info is known, a key that names none of
  // them is refused, naming it and the ones there are...
  const char* stray = R"({"units":{"gad/reward":{},"reward":{"network":"X"}}})";
  EXPECT_EQ(tilo_set_test_scenario(stray), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_THAT(tilo_last_error_message(),
              ::testing::StartsWith("units.reward: no ad unit of the app info has this "
                                    "mediationAdUnitId; scenarios key units by it, and the app "
                                    "info has gad/inter (inter), gad/reward (reward)"));
  EXPECT_EQ(source.scriptFor("reward").network, "AdMob");
  // ... and one set before it was known is named once it arrives.
  sdk.relaunch();
  ASSERT_EQ(tilo_set_test_scenario(stray), TILO_STATUS_OK);
  initialize();
  sdk.drive([] { return false; }, 1);
  EXPECT_EQ(logs.count("ERROR Test scenario: units.reward: no ad unit of the app info"), 1u);
}

// Compiled hosts carry these numbers: renumbering any of them breaks every host built
// before. (The statuses, log levels and application states are held by the ABI baseline;
// these are not, being macros or enumerations no exported signature names.) The error
// codes are the SDK's own, passed through.
TEST(CApiNumbersTest, ErrorCodesAndEnumerationsKeepTheirNumbers) {
  using Numbers = std::vector<long long>;
  const Numbers codes{-1, -2, -3, 204, -5001, -5603, -1000, -1001, -1009, -23, -24, -25, -26, -27};
  EXPECT_EQ(
      (Numbers{TILO_ERROR_UNSPECIFIED, TILO_ERROR_NOT_INITIALIZED, TILO_ERROR_INITIALIZATION_FAILED,
               TILO_ERROR_NO_FILL, TILO_ERROR_AD_LOAD_FAILED, TILO_ERROR_INVALID_AD_UNIT_IDENTIFIER,
               TILO_ERROR_NETWORK_ERROR, TILO_ERROR_NETWORK_TIMEOUT, TILO_ERROR_NO_NETWORK,
               TILO_ERROR_FULLSCREEN_AD_ALREADY_SHOWING, TILO_ERROR_FULLSCREEN_AD_NOT_READY,
               TILO_ERROR_FULLSCREEN_AD_INVALID_VIEW_CONTROLLER,
               TILO_ERROR_FULLSCREEN_AD_ALREADY_LOADING,
               TILO_ERROR_FULLSCREEN_AD_LOAD_WHILE_SHOWING}),
      codes);
  using C = TiloError::Code;
  Numbers sdk;
  for (C code : {C::unspecified, C::notInitialized, C::initializationFailed, C::noFill,
                 C::adLoadFailed, C::invalidAdUnitIdentifier, C::networkError, C::networkTimeout,
                 C::noNetwork, C::fullscreenAdAlreadyShowing, C::fullscreenAdNotReady,
                 C::fullscreenAdInvalidViewController, C::fullscreenAdAlreadyLoading,
                 C::fullscreenAdLoadWhileShowing}) {
    sdk.push_back(static_cast<int>(code));
  }
  EXPECT_EQ(sdk, codes);
  // (TILO_ERROR_VIEW_FAILED and TILO_ERROR_AD_NOT_READY are in the C host's callback texts;
  // the two limits are tied to the SDK's by static_assert and read in the size checks.)
  // Enumerations.
  // (The ad formats' numbers are in the C host's expected callback texts.)
  EXPECT_EQ(
      (Numbers{TILO_UNSET, TILO_NO, TILO_YES, TILO_BANNER_SIZE_BANNER, TILO_BANNER_SIZE_MREC}),
      (Numbers{-1, 0, 1, 0, 1}));
  EXPECT_EQ(
      (Numbers{TILO_PRECISION_UNKNOWN, TILO_PRECISION_ESTIMATED, TILO_PRECISION_PUBLISHER_PROVIDED,
               TILO_PRECISION_EXACT, TILO_TRACKING_NOT_DETERMINED, TILO_TRACKING_RESTRICTED,
               TILO_TRACKING_DENIED, TILO_TRACKING_AUTHORIZED}),
      (Numbers{0, 1, 2, 3, 0, 1, 2, 3}));
  EXPECT_EQ((Numbers{TILO_APPEARANCE_LIGHT, TILO_APPEARANCE_DARK, TILO_WINDOW_EDGE_TOP,
                     TILO_WINDOW_EDGE_BOTTOM}),
            (Numbers{0, 1, 0, 1}));
  // The library and the headers it was built with agree on the version.
  EXPECT_EQ(tilo_version(), std::to_string(TILO_VERSION_MAJOR) + "." +
                                std::to_string(TILO_VERSION_MINOR) + "." +
                                std::to_string(TILO_VERSION_PATCH));
  EXPECT_EQ(tilo_version_number(), static_cast<uint32_t>(TILO_VERSION_NUMBER));
}

TEST(CApiOfflineTest, AFailedInitializationArrivesInTheBridgeDomain) {
  SdkFixture sdk{SdkFixtureOptions::offline()};
  ScopedLogCapture logs;
  const auto level = currentLogLevel();
  setCurrentLogLevel(TiloLogLevel::error);
  std::vector<std::string> calls;
  ASSERT_EQ(tilo_initialize(onInit, &calls), TILO_STATUS_OK);
  ASSERT_TRUE(sdk.drive([&] { return !calls.empty(); }, 120));
  setCurrentLogLevel(level);
  EXPECT_EQ(calls, std::vector<std::string>{"com.tilo.objcbridge -3 Initialization failed"});
  // The log keeps what the host's error cannot: each request's URL and the system's cause.
  const auto lines = logs.lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return line.find(" http://127.0.0.1:1/") != std::string::npos &&
           line.find("(Connection refused)") != std::string::npos;
  })) << ::testing::PrintToString(lines);
}

// A host built against the first release's header. Each delegate struct of that release is
// its size followed by its entries (function pointers); the test writes them as such a
// host's compiler laid them out, flush against a page that faults when read, so that
// reading past what the host declared ends the test.
void anEntry() {}
void writeHostStruct(std::uint8_t* at, std::size_t size, std::size_t entries) {
  std::memcpy(at, &size, sizeof size);
  void (*entry)() = anEntry;
  for (std::size_t i = 0; i < entries; ++i) {
    std::memcpy(at + sizeof size + i * sizeof entry, &entry, sizeof entry);
  }
}

TEST_F(CApiTest, HostsOfTheFirstReleaseKeepWorking) {
  struct Kind {
    std::size_t entries;  // in the first release
    const char* name;
    void* handle;
    tilo_status (*set)(void* handle, const void* delegate);
    tilo_status (*destroy)(void* handle);
  };
  // The host's bytes handed to set_delegate as the struct of `kind`.
#define TILO_KIND(kind, entries, create)                                                      \
  Kind {                                                                                      \
    entries, #kind, create,                                                                   \
        [](void* handle, const void* d) {                                                     \
          return tilo_##kind##_set_delegate(static_cast<tilo_##kind*>(handle),                \
                                            static_cast<const tilo_##kind##_delegate*>(d),    \
                                            nullptr);                                         \
        },                                                                                    \
        [](void* handle) { return tilo_##kind##_destroy(static_cast<tilo_##kind*>(handle)); } \
  }
  const std::vector<Kind> kinds = {
      TILO_KIND(banner_view, 5, tilo_banner_view_create("banner", 0, 0)),
      TILO_KIND(native_view, 5, tilo_native_view_create("native", 0)),
      TILO_KIND(line_banner_view, 5, tilo_line_banner_view_create("native", 0)),
      TILO_KIND(light_popup_ad_loader, 5, tilo_light_popup_ad_loader_create("native")),
      TILO_KIND(native_ad_loader, 5, tilo_native_ad_loader_create("native")),
      TILO_KIND(interstitial_ad, 8, tilo_interstitial_ad_create("inter")),
      TILO_KIND(rewarded_ad, 9, tilo_rewarded_ad_create("reward")),
      TILO_KIND(app_open_ad, 8, tilo_app_open_ad_create("open")),
  };
#undef TILO_KIND
  constexpr std::size_t kEntry = sizeof(void (*)());
  for (const auto& kind : kinds) {
    const std::size_t firstSize = sizeof(std::size_t) + kind.entries * kEntry;
    GuardedBuffer page(firstSize + 16 * kEntry, true);  // room for a newer host's struct
    std::uint8_t* older = page.data() + 16 * kEntry;
    writeHostStruct(older, firstSize, kind.entries);
    EXPECT_EQ(kind.set(kind.handle, older), TILO_STATUS_OK) << kind.name;
    writeHostStruct(older, firstSize - 1, kind.entries);
    EXPECT_EQ(kind.set(kind.handle, older), TILO_STATUS_DELEGATE_TOO_SMALL) << kind.name;
    // A newer host's larger struct, with entries this version does not know.
    writeHostStruct(page.data(), firstSize + 16 * kEntry, kind.entries + 16);
    EXPECT_EQ(kind.set(kind.handle, page.data()), TILO_STATUS_OK) << kind.name;
  }
  // The native asset layout: a size and six frames then.
  const std::size_t layoutSize = sizeof(std::size_t) + 6 * sizeof(void*);
  GuardedBuffer layoutPage(layoutSize, true);
  std::memset(layoutPage.data(), 0, layoutSize);
  std::memcpy(layoutPage.data(), &layoutSize, sizeof layoutSize);
  const auto* layout = reinterpret_cast<const tilo_native_asset_layout*>(layoutPage.data());
  auto* native = static_cast<tilo_native_view*>(kinds[1].handle);
  EXPECT_EQ(tilo_native_view_bind_native_views(native, layout), TILO_STATUS_OK);
  const std::size_t tooSmall = layoutSize - 1;
  std::memcpy(layoutPage.data(), &tooSmall, sizeof tooSmall);
  EXPECT_EQ(tilo_native_view_bind_native_views(native, layout), TILO_STATUS_INVALID_ARGUMENT);
  for (const auto& kind : kinds) EXPECT_EQ(kind.destroy(kind.handle), TILO_STATUS_OK) << kind.name;
}

TEST_F(CApiTest, WindowRendersTapsAndTracksTheLifecycle) {
  // 1. Sizes: at least one pixel and at most TILO_WINDOW_MAX_PIXELS a side, refused
  //    rather than cropped; pixel size, strides, appearance and insets.
  EXPECT_EQ(tilo_window_create(1e308, 1e308, 3), nullptr);
  EXPECT_EQ(tilo_last_status(), TILO_STATUS_TOO_LARGE);
  // Every status the header declares has its name, the newest included.
  const std::regex declared(R"(\b(TILO_STATUS_[A-Z0-9_]+) = (-?[0-9]+))");
  const std::string header =
      *platform::FileSystem::readFile(TILO_SOURCE_DIR "/include/tilo/tilo.h");
  int statuses = 0;
  for (std::sregex_iterator it(header.begin(), header.end(), declared), end; it != end; ++it) {
    EXPECT_EQ(tilo_status_name(std::stoi((*it)[2])), (*it)[1].str());
    ++statuses;
  }
  EXPECT_GE(statuses, 22);
  EXPECT_EQ(tilo_window_create(100, 5462, 3), nullptr);  // 16,386 pixels high
  EXPECT_EQ(tilo_last_status(), TILO_STATUS_TOO_LARGE);
  EXPECT_EQ(tilo_window_create(1e-300, 50, 1), nullptr);
  EXPECT_EQ(tilo_last_status(), TILO_STATUS_INVALID_ARGUMENT);
  {
    // A host without the graphics stack gets no window, and an error line saying what to
    // install, instead of a call into a library that is not there.
    ScopedLogCapture capture;
    const auto level = currentLogLevel();
    setCurrentLogLevel(TiloLogLevel::error);
    platform::setSystemLibraryCheckForTesting(
        [](platform::SystemFeature feature) -> std::optional<platform::MissingLibrary> {
          if (feature != platform::SystemFeature::graphics) return std::nullopt;
          return platform::MissingLibrary{"libcairo.so.2", "no such file", feature};
        });
    // Everything that draws from its first load is refused when made, a full-screen ad when
    // shown, each naming the library.
    const std::vector<std::pair<const char*, std::function<void*()>>> drawing = {
        {"window", [] { return tilo_window_create(320, 50, 2); }},
        {"banner", [] { return tilo_banner_view_create("banner", 0, 1); }},
        {"native", [] { return tilo_native_view_create("native", 1); }},
        {"line banner", [] { return tilo_line_banner_view_create("native", 1); }},
        {"light popup", [] { return tilo_light_popup_ad_loader_create("native"); }},
        {"native ad", [] { return tilo_native_ad_loader_create("native"); }},
    };
    for (const auto& [name, make] : drawing) {
      EXPECT_EQ(make(), nullptr) << name;
      EXPECT_EQ(tilo_last_status(), TILO_STATUS_UNAVAILABLE) << name;
      EXPECT_THAT(tilo_last_error_message(), ::testing::HasSubstr("libcairo.so.2")) << name;
    }
    tilo_interstitial_ad* interstitial = tilo_interstitial_ad_create("inter");
    ASSERT_NE(interstitial, nullptr);
    EXPECT_EQ(tilo_interstitial_ad_show_from(interstitial, nullptr), TILO_STATUS_UNAVAILABLE);
    EXPECT_EQ(tilo_interstitial_ad_destroy(interstitial), TILO_STATUS_OK);
    // Without libcurl there is nothing to initialize against.
    platform::setSystemLibraryCheckForTesting(
        [](platform::SystemFeature feature) -> std::optional<platform::MissingLibrary> {
          if (feature != platform::SystemFeature::network) return std::nullopt;
          return platform::MissingLibrary{"libcurl.so.4", "it has no curl_easy_init", feature};
        });
    EXPECT_EQ(tilo_initialize(nullptr, nullptr), TILO_STATUS_UNAVAILABLE);
    EXPECT_THAT(tilo_last_error_message(), ::testing::HasSubstr("libcurl.so.4 cannot be loaded"));
    platform::setSystemLibraryCheckForTesting(nullptr);
    setCurrentLogLevel(level);
    EXPECT_EQ(capture.count("ERROR libcairo.so.2 cannot be loaded (no such file): install it to "
                            "draw ads"),
              drawing.size() + 1);
  }
  tilo_window* largest = tilo_window_create(TILO_WINDOW_MAX_PIXELS / 3.0, 1, 3);
  ASSERT_NE(largest, nullptr);
  int width = 0, height = 0;
  ASSERT_EQ(tilo_window_pixel_size(largest, &width, &height), TILO_STATUS_OK);
  EXPECT_EQ(std::pair(width, height), std::pair(TILO_WINDOW_MAX_PIXELS, 3));
  ASSERT_EQ(tilo_window_destroy(largest), TILO_STATUS_OK);
  tilo_window* window = tilo_window_create(100, 50, 2);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(tilo_window_pixel_size(window, &width, &height), TILO_STATUS_OK);
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4, 0xAB);
  EXPECT_EQ(tilo_window_render_rgba(window, pixels.data(), 199 * 4), TILO_STATUS_BUFFER_TOO_SMALL);
  EXPECT_EQ(pixels[0], 0xAB);
  EXPECT_EQ(tilo_window_set_appearance(window, 2), TILO_STATUS_INVALID_ARGUMENT);
  EXPECT_EQ(tilo_window_set_safe_area_insets(window, 30, 0, 30, 0), TILO_STATUS_INVALID_ARGUMENT);

  // 2. A tap needs a finite point (what a tap hits and clicks: the C host's banner; what
  //    render_rgba draws: CppApiTest's popup colours).
  auto object = std::static_pointer_cast<bridge::TiloObjCWindow>(
      bridge::HandleTable::shared().find(window, bridge::HandleType::window).object);
  ASSERT_TRUE(object);
  EXPECT_EQ(tilo_window_tap(window, NAN, 25), TILO_STATUS_INVALID_ARGUMENT);

  // 3. A memory warning in the middle of a load: the window's spare frame and the decoded
  //    pictures go, the load completes and the window draws the same pixels again.
  initialize();
  auto ad = std::move(tilo::RewardedAd::create("reward").value());
  int loaded = 0;
  tilo::RewardedAd::Delegate delegate;
  delegate.didLoad = [&](const auto&) { ++loaded; };
  ad.setDelegate(delegate);
  ASSERT_EQ(ad.load(), TILO_STATUS_OK);
  auto icon = platform::UIImageView::create(mediation::TestCreatives::forFormat("rewarded").icon);
  ASSERT_TRUE(icon->image());
  icon->setFrame({50, 0, 40, 40});  // 80 pixels of a 128-pixel file
  object->rootViewController()->view()->addSubview(icon);
  EXPECT_GT(mediation::TestCreatives::cachedImageCount(), 0u);
  auto renderer = object->rendererForRenderThread();
  std::vector<uint8_t> before(pixels.size()), after(pixels.size());
  // Drawn from its drawn-size pixels from the start (the start's decode at the file's size
  // resamples a little differently), as every redraw after a release is.
  platform::ImageRenditionCache::shared().clear();
  ASSERT_EQ(tilo_window_render_rgba(window, before.data(), static_cast<size_t>(width) * 4),
            TILO_STATUS_OK);
  EXPECT_EQ(renderer->surfaceCount(), 2);
  // Main-thread-only calls from another thread are refused and change nothing: the load
  // under way completes.
  std::thread([&] {
    for (tilo_status status :
         {tilo_application_did_receive_memory_warning(), tilo_rewarded_ad_load(ad.handle()),
          tilo_rewarded_ad_destroy(ad.handle()),
          tilo_application_set_state(TILO_APPLICATION_BACKGROUND),
          tilo_window_add_view_pinned(window, nullptr, TILO_WINDOW_EDGE_TOP, 50),
          tilo_rewarded_ad_create("reward") ? TILO_STATUS_OK : tilo_last_status()}) {
      EXPECT_EQ(status, TILO_STATUS_WRONG_THREAD);
    }
  }).join();
  EXPECT_EQ(tilo_application_get_state(), TILO_APPLICATION_ACTIVE);
  ASSERT_EQ(tilo_application_did_receive_memory_warning(), TILO_STATUS_OK);
  EXPECT_EQ(renderer->surfaceCount(), 1);
  EXPECT_EQ(mediation::TestCreatives::cachedImageCount(), 0u);
  ASSERT_TRUE(sdk.drive([&] { return loaded == 1; }));
  ASSERT_EQ(tilo_window_render_rgba(window, after.data(), static_cast<size_t>(width) * 4),
            TILO_STATUS_OK);
  EXPECT_EQ(after, before);

  // 4. The background lets the spare frame go (what the state posts: ApplicationTest).
  EXPECT_EQ(renderer->surfaceCount(), 2);
  EXPECT_EQ(tilo_application_set_state(TILO_APPLICATION_BACKGROUND), TILO_STATUS_OK);
  sdk.env().runUntilIdle();
  EXPECT_EQ(tilo_application_get_state(), TILO_APPLICATION_BACKGROUND);
  EXPECT_EQ(renderer->surfaceCount(), 1);
  EXPECT_EQ(mediation::TestCreatives::cachedImageCount(), 0u);
  EXPECT_EQ(tilo_application_set_state(TILO_APPLICATION_ACTIVE), TILO_STATUS_OK);
  ASSERT_EQ(tilo_window_destroy(window), TILO_STATUS_OK);
}

TEST_F(CApiTest, WindowRenderWritesWhatChangedFromAnyThread) {
  // 1. Scales from 1 to 4, fractional ones too; anything else is refused.
  for (double scale : {0.0, -2.0, 0.999, 4.001, 5.0, double(NAN), double(INFINITY)}) {
    EXPECT_EQ(tilo_window_create(40, 30, scale), nullptr) << scale;
    EXPECT_EQ(tilo_last_status(), TILO_STATUS_INVALID_ARGUMENT) << scale;
  }
  int width = 0, height = 0;
  tilo_window* largest = tilo_window_create(10, 10, 4);
  ASSERT_NE(largest, nullptr);
  ASSERT_EQ(tilo_window_pixel_size(largest, &width, &height), TILO_STATUS_OK);
  EXPECT_EQ(width, 40);
  ASSERT_EQ(tilo_window_destroy(largest), TILO_STATUS_OK);
  tilo_window* window = tilo_window_create(40, 30, 2.625);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(tilo_window_pixel_size(window, &width, &height), TILO_STATUS_OK);
  ASSERT_EQ(std::pair(width, height), std::pair(105, 79));
  auto object = std::static_pointer_cast<bridge::TiloObjCWindow>(
      bridge::HandleTable::shared().find(window, bridge::HandleType::window).object);
  auto square = platform::UIView::create({0, 0, 10, 10});
  square->setBackgroundColor(platform::UIColor(1, 0, 0, 1));
  object->rootViewController()->view()->addSubview(square);
  auto veil = platform::UIView::create({32, 22, 6, 6});  // translucent, apart from the rest
  veil->setBackgroundColor(platform::UIColor(1, 1, 1, 0.5));
  object->rootViewController()->view()->addSubview(veil);

  // 2. Bad input writes nothing.
  const std::size_t stride = static_cast<std::size_t>(width) * 4 + 12;
  std::vector<uint8_t> pixels(stride * height, 0xAB);
  tilo_rect damaged{-1, -1, -1, -1};
  const std::tuple<uint8_t*, std::size_t, int, tilo_rect*, tilo_status> bad[] = {
      {nullptr, stride, TILO_PIXEL_FORMAT_RGBA, &damaged, TILO_STATUS_NULL_ARGUMENT},
      {pixels.data(), stride, TILO_PIXEL_FORMAT_RGBA, nullptr, TILO_STATUS_NULL_ARGUMENT},
      {pixels.data(), stride, 3, &damaged, TILO_STATUS_INVALID_ARGUMENT},
      {pixels.data(), stride - 2, TILO_PIXEL_FORMAT_RGBA, &damaged, TILO_STATUS_INVALID_ARGUMENT},
      {pixels.data(), 104 * 4, TILO_PIXEL_FORMAT_RGBA, &damaged, TILO_STATUS_BUFFER_TOO_SMALL}};
  for (const auto& [buffer, rowBytes, format, rect, expected] : bad) {
    EXPECT_EQ(tilo_window_render(window, buffer, rowBytes, format, rect), expected) << rowBytes;
  }
  // Strides whose rows wrap around the address space, landing before the buffer: refused
  // by both render functions, nothing written.
  for (std::size_t huge : {SIZE_MAX - 3, SIZE_MAX, std::size_t(-400), std::size_t(1) << 63}) {
    if (huge % 4 == 0) {
      EXPECT_EQ(tilo_window_render(window, pixels.data(), huge, TILO_PIXEL_FORMAT_RGBA, &damaged),
                TILO_STATUS_TOO_LARGE)
          << huge;
    }
    EXPECT_EQ(tilo_window_render_rgba(window, pixels.data(), huge), TILO_STATUS_TOO_LARGE) << huge;
  }
  EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint8_t b) { return b == 0xAB; }));
  EXPECT_EQ(damaged.width, -1);

  // Exactly the rows asked for, between pages that fault when touched: flush against the
  // page before it (an underrun faults) and against the page after it (an overrun does).
  // A new window's first render writes all of it.
  for (bool atEnd : {false, true}) {
    tilo_window* fresh = tilo_window_create(40, 30, 2.625);
    ASSERT_NE(fresh, nullptr);
    GuardedBuffer guarded(stride * height, atEnd);
    tilo_rect rect{};
    EXPECT_EQ(tilo_window_render(fresh, guarded.data(), stride, TILO_PIXEL_FORMAT_RGBA, &rect),
              TILO_STATUS_OK);
    EXPECT_EQ(rect.width, width);
    EXPECT_EQ(tilo_window_render_rgba(fresh, guarded.data(), stride), TILO_STATUS_OK);
    EXPECT_EQ(tilo_window_destroy(fresh), TILO_STATUS_OK);
  }

  // 3. From another thread, before any pump published the window: nothing yet.
  auto renderElsewhere = [&](std::vector<uint8_t>& buffer, tilo_rect& rect) {
    tilo_status status = TILO_STATUS_INTERNAL_ERROR;
    std::thread([&] {
      status = tilo_window_render(window, buffer.data(), stride,
                                  TILO_PIXEL_FORMAT_BGRA_PREMULTIPLIED, &rect);
    }).join();
    return status;
  };
  std::vector<uint8_t> texture(stride * height, 0);
  EXPECT_EQ(renderElsewhere(texture, damaged), TILO_STATUS_OK);
  EXPECT_EQ(damaged.width, 0);
  EXPECT_EQ(texture[3], 0);

  // 4. The main thread: the whole window first, then only what changed, and nothing at
  //    all (not one byte) when nothing did.
  auto renderHere = [&] {
    return tilo_window_render(window, pixels.data(), stride, TILO_PIXEL_FORMAT_RGBA, &damaged);
  };
  ASSERT_EQ(renderHere(), TILO_STATUS_OK);
  EXPECT_EQ(rectOf(damaged), rectOf({0, 0, double(width), double(height)}));
  EXPECT_EQ(std::vector<uint8_t>(pixels.begin(), pixels.begin() + 4),
            (std::vector<uint8_t>{255, 0, 0, 255}));
  EXPECT_EQ(pixels[stride - 1], 0xAB);  // the padding past each row
  const std::size_t veiled = static_cast<std::size_t>(65) * stride + 90 * 4;
  EXPECT_EQ(pixels[veiled], 255) << "straight RGBA keeps a translucent white white";
  EXPECT_NEAR(pixels[veiled + 3], 128, 1);
  std::fill(pixels.begin(), pixels.end(), 0xCD);
  ASSERT_EQ(renderHere(), TILO_STATUS_OK);
  EXPECT_EQ(rectOf(damaged), rectOf({0, 0, 0, 0}));
  EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](uint8_t b) { return b == 0xCD; }));
  square->setFrame({20, 10, 10, 10});
  ASSERT_EQ(renderHere(), TILO_STATUS_OK);
  // Old and new place, 26.25 pixels a side each, and a pixel of smoothing around.
  EXPECT_EQ(rectOf(damaged), rectOf({0, 0, 80, 54}));
  EXPECT_EQ(pixels[3], 0);  // the old place is clear again
  EXPECT_EQ(pixels[static_cast<std::size_t>(40) * stride + 60 * 4], 255);
  EXPECT_EQ(pixels[static_cast<std::size_t>(40) * stride + 90 * 4], 0xCD);  // outside the damage

  // 5. A render thread copies what each pump published while the main thread keeps
  //    changing the tree, pumping, and receiving memory warnings that drop its frame and
  //    the picture's pixels; it sees whole frames, never a torn one, picture always there.
  std::string error;
  auto picture = platform::UIImageView::create(platform::UIImage::imageDecodedWhenDrawn(
      platform::UIImage::generated({16, 16}, platform::UIColor(0, 1, 0, 1),
                                   platform::UIColor(0, 1, 0, 1), "", 4)
          ->pngData(),
      4, &error));
  ASSERT_TRUE(picture->image()) << error;
  picture->setFrame({0, 20, 8, 8});
  object->rootViewController()->view()->addSubview(picture);
  const std::size_t inPicture = static_cast<std::size_t>(62) * stride + 10 * 4;
  EXPECT_EQ(tilo_run_main_loop_for(0), TILO_STATUS_OK);
  EXPECT_EQ(renderElsewhere(texture, damaged), TILO_STATUS_OK);
  EXPECT_EQ(damaged.width, width);  // the first copy into that buffer
  const std::size_t inside = static_cast<std::size_t>(40) * stride + 60 * 4;
  EXPECT_EQ(std::vector<uint8_t>(texture.begin() + inside, texture.begin() + inside + 4),
            (std::vector<uint8_t>{0, 0, 255, 255}));
  const platform::UIColor colours[] = {platform::UIColor(0, 1, 0, 1), platform::UIColor(0, 0, 1, 1),
                                       platform::UIColor(1, 0, 0, 1)};
  std::atomic<bool> done{false};
  std::atomic<int> torn{0}, failed{0}, rendered{0}, missing{0};
  std::thread renderThread([&] {
    std::vector<uint8_t> frame(stride * height);
    tilo_rect rect;
    while (!done.load()) {
      if (tilo_window_render(window, frame.data(), stride, TILO_PIXEL_FORMAT_BGRA_PREMULTIPLIED,
                             &rect) != TILO_STATUS_OK) {
        ++failed;
      }
      // The square's two corners always show the same colour.
      const std::size_t corner = static_cast<std::size_t>(27) * stride + 53 * 4;
      const std::size_t other = static_cast<std::size_t>(51) * stride + 77 * 4;
      if (rect.width > 0 && std::memcmp(&frame[corner], &frame[other], 4) != 0) ++torn;
      if (rect.width > 0 && frame[inPicture + 1] != 255) ++missing;
      // Main-thread-only calls stay refused here: the main thread never moves.
      if (tilo_run_main_loop_for(0) != TILO_STATUS_WRONG_THREAD) ++failed;
      ++rendered;
    }
  });
  // At least 60 pumps, and on until the render thread has rendered a few frames (a busy
  // machine may start it late); bounded, should it never run. The last pump always shows
  // red, however many it took.
  for (int i = 0; (i < 60 || rendered.load() < 3) && i < 1000000; ++i) {
    square->setBackgroundColor(colours[i % 3]);
    if (i % 4 == 0) {
      ASSERT_EQ(tilo_application_did_receive_memory_warning(), TILO_STATUS_OK);
    }
    ASSERT_EQ(tilo_run_main_loop_for(0), TILO_STATUS_OK);
  }
  square->setBackgroundColor(colours[2]);
  ASSERT_EQ(tilo_run_main_loop_for(0), TILO_STATUS_OK);
  done = true;
  renderThread.join();
  EXPECT_GE(rendered.load(), 3);
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(missing.load(), 0);
  EXPECT_EQ(renderElsewhere(texture, damaged), TILO_STATUS_OK);
  EXPECT_EQ(damaged.width, width);  // the render thread's own buffer was the tracked one
  EXPECT_EQ(std::vector<uint8_t>(texture.begin() + inside, texture.begin() + inside + 4),
            (std::vector<uint8_t>{0, 0, 255, 255}));  // the colour of the last pump
  square->setBackgroundColor(colours[0]);
  EXPECT_EQ(renderElsewhere(texture, damaged), TILO_STATUS_OK);
  EXPECT_EQ(damaged.width, 0);  // not published until the next pump
  ASSERT_EQ(tilo_run_main_loop_for(0), TILO_STATUS_OK);
  EXPECT_EQ(renderElsewhere(texture, damaged), TILO_STATUS_OK);
  EXPECT_EQ(damaged.x, 51);  // only the square
  EXPECT_EQ(damaged.width, 29);
  EXPECT_EQ(std::vector<uint8_t>(texture.begin() + inside, texture.begin() + inside + 4),
            (std::vector<uint8_t>{0, 255, 0, 255}));
  // Two pumps before the next copy: it carries the damage of both.
  square->setBackgroundColor(colours[1]);
  ASSERT_EQ(tilo_run_main_loop_for(0), TILO_STATUS_OK);
  veil->setBackgroundColor(platform::UIColor(0, 0, 0, 0.5));
  EXPECT_EQ(tilo_run_main_loop_for(0), TILO_STATUS_OK);  // still the main thread
  EXPECT_EQ(renderElsewhere(texture, damaged), TILO_STATUS_OK);
  EXPECT_EQ(damaged.x, 51);
  EXPECT_GE(damaged.x + damaged.width, 100);
  EXPECT_EQ(texture[inside], 255);  // the square's blue (BGRA), not the green before

  // 6. Once destroyed, the handle is refused on every thread.
  ASSERT_EQ(tilo_window_destroy(window), TILO_STATUS_OK);
  EXPECT_EQ(renderElsewhere(texture, damaged), TILO_STATUS_INVALID_HANDLE);
  EXPECT_EQ(renderHere(), TILO_STATUS_INVALID_HANDLE);
}

}  // namespace
}  // namespace tilo::test
