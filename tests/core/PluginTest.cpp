#include <gtest/gtest.h>

#include "Tilo/ads/TiloPlugin.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/entry/TiloAds.h"
#include "support/RecordingPlugin.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

using test::RecordingPlugin;
using test::SdkFixture;

struct FakeAdObject final : HasPlugin, PluginRegisterble {
  std::shared_ptr<TiloPlugin> plugin() const override { return plugin_; }
  void setPlugin(std::shared_ptr<TiloPlugin> plugin) override { plugin_ = std::move(plugin); }
  std::shared_ptr<TiloPlugin> plugin_;
};

class PluginTest : public ::testing::Test {
 protected:
  PluginTest() { setCurrentLogLevel(TiloLogLevel::debug); }
  ~PluginTest() override { setCurrentLogLevel(TiloLogLevel::off); }
  std::shared_ptr<RecordingPlugin> plugin(const std::string& capability,
                                          const std::string& sealedWith = "") {
    return std::make_shared<RecordingPlugin>(
        appKey, SdkFixture::sealKeyFile(sealedWith.empty() ? appKey : sealedWith, capability));
  }
  SdkFixture sdk_{test::SdkFixtureOptions::offline()};
  const std::string appKey = sdk_.options().appKey;
  ScopedLogCapture logs;
};

TEST_F(PluginTest, TokensDecideWhichPluginIsAttached) {
  FakeAdObject ad;
  // 1. A token for another capability, or sealed with another app key, is refused.
  ad.registerPlugin(plugin("adcashevent"));
  ad.registerPlugin(plugin("adCashEvent", "another-app"));
  ad.registerPlugin(std::make_shared<RecordingPlugin>(appKey, "not base64!"));
  EXPECT_EQ(ad.plugin(), nullptr);
  EXPECT_EQ(logs.count("DEBUG Not supported plugin: recorder need Tilo SDK version : 1.1.44"), 3u);

  // 2. The supported capability is attached; a second one replaces it; a refused one
  //    leaves it in place.
  auto first = plugin("adCashEvent");
  ad.registerPlugin(first);
  EXPECT_EQ(ad.plugin(), first);
  EXPECT_EQ(logs.count("DEBUG Registered plugin: recorder"), 1u);
  auto second = plugin("adCashEvent");
  ad.registerPlugin(second);
  ad.registerPlugin(plugin("adRevenue"));
  EXPECT_EQ(ad.plugin(), second);
}

// The full payload of a paid event is checked through a real loader in the integration
// tests; here the cases a loader cannot produce.
TEST_F(PluginTest, PaidEventsWithoutLatencyOrAdInfo) {
  auto unity = plugin("adCashEvent");
  const auto revenue = TiloRevenueInfo::fromPlatform(
      platform::Decimal::fromString("0.15"), *platform::Decimal::fromString("0.0125"), "USD", 2);
  sendPluginEvent(TiloAdInfo{TiloAdFormat::lightPopup, "lp-1", std::nullopt, std::nullopt}, revenue,
                  unity);
  EXPECT_EQ(unity->opened(0)["adInfo"],
            platform::parseJson(R"({"adFormat":"lightPopup","adUnitId":"lp-1","latency":0})"));
  // Latencies summed from the networks' seconds read as written.
  sendPluginEvent(TiloAdInfo{TiloAdFormat::rewarded, "r-1", (0.05 + 0.12) * 1000, "AdMob"}, revenue,
                  unity);
  ASSERT_EQ(unity->events.size(), 2u);
  const auto plain = decryptKeyPayload(appKey, unity->events[1]);
  EXPECT_NE(std::string(plain.value().begin(), plain->end()).find(R"("latency":0.17})"),
            std::string::npos);

  sendPluginEvent(std::nullopt, revenue, unity);
  EXPECT_EQ(unity->events.size(), 2u);
  EXPECT_EQ(logs.count("ERROR Ad info is nil, cannot send event"), 1u);
}

}  // namespace
}  // namespace tilo
