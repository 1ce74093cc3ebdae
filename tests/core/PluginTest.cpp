#include <gtest/gtest.h>

#include "Tilo/ads/TiloPlugin.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/entry/TiloAds.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

std::string seal(const std::string& secret, const std::string& text) {
  return *encryptPayload(
      secret, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

struct FakePlugin final : TiloPlugin {
  FakePlugin(std::string name, std::string token)
      : name_(std::move(name)), token_(std::move(token)) {}
  std::string pluginToken() const override { return token_; }
  std::string name() const override { return name_; }
  std::string requiredTiloVersion() const override { return "2.0.0"; }
  std::function<void(std::optional<std::string>)> eventHandler() const override {
    return [this](std::optional<std::string> event) { received.push_back(event); };
  }
  std::string name_, token_;
  mutable std::vector<std::optional<std::string>> received;
};

struct FakeAdObject final : HasPlugin, PluginRegisterble {
  std::shared_ptr<TiloPlugin> plugin() const override { return plugin_; }
  void setPlugin(std::shared_ptr<TiloPlugin> plugin) override { plugin_ = std::move(plugin); }
  std::shared_ptr<TiloPlugin> plugin_;
};

class PluginTest : public ::testing::Test {
 protected:
  PluginTest() { setCurrentLogLevel(TiloLogLevel::debug); }
  ~PluginTest() override { setCurrentLogLevel(TiloLogLevel::off); }
  std::shared_ptr<FakePlugin> plugin(const std::string& name, const std::string& capability) {
    return std::make_shared<FakePlugin>(name, seal(appKey, capability));
  }
  test::SdkFixture sdk_{test::SdkFixtureOptions::offline()};
  const std::string appKey = sdk_.options().appKey;
  ScopedLogCapture logs;
};

TEST_F(PluginTest, TokensDecideWhichPluginIsAttached) {
  FakeAdObject ad;
  // 1. A token for another capability, or sealed with another app key, is refused.
  ad.registerPlugin(plugin("Other", "adcashevent"));
  ad.registerPlugin(std::make_shared<FakePlugin>("Foreign", seal("another-app", "adCashEvent")));
  ad.registerPlugin(std::make_shared<FakePlugin>("Garbage", "not base64!"));
  EXPECT_EQ(ad.plugin(), nullptr);
  EXPECT_EQ(logs.count("DEBUG Not supported plugin: Foreign need Tilo SDK version : 2.0.0"), 1u);
  EXPECT_EQ(logs.count("Not supported plugin: "), 3u);

  // 2. The supported capability is attached; a second one replaces it; a refused one
  //    leaves it in place.
  auto first = plugin("Unity", "adCashEvent");
  ad.registerPlugin(first);
  EXPECT_EQ(ad.plugin(), first);
  EXPECT_EQ(logs.count("DEBUG Registered plugin: Unity"), 1u);
  auto second = plugin("Unreal", "adCashEvent");
  ad.registerPlugin(second);
  ad.registerPlugin(plugin("Late", "adRevenue"));
  EXPECT_EQ(ad.plugin(), second);
}

// The full payload of a paid event is checked through a real loader in the integration
// tests; here the cases a loader cannot produce.
TEST_F(PluginTest, PaidEventsWithoutLatencyOrAdInfo) {
  auto unity = plugin("Unity", "adCashEvent");
  const auto revenue = TiloRevenueInfo::fromPlatform(
      platform::Decimal::fromString("0.15"), *platform::Decimal::fromString("0.0125"), "USD", 2);
  sendPluginEvent(TiloAdInfo{TiloAdFormat::lightPopup, "lp-1", std::nullopt, std::nullopt}, revenue,
                  unity);
  ASSERT_EQ(unity->received.size(), 1u);
  auto plain = decryptKeyPayload(appKey, unity->received[0].value());
  const auto event = platform::parseJson(std::string(plain.value().begin(), plain->end()));
  EXPECT_EQ(event["adInfo"],
            platform::parseJson(R"({"adFormat":"lightPopup","adUnitId":"lp-1","latency":0})"));
  // Latencies summed from the networks' seconds read as written.
  sendPluginEvent(TiloAdInfo{TiloAdFormat::rewarded, "r-1", (0.05 + 0.12) * 1000, "AdMob"}, revenue,
                  unity);
  ASSERT_EQ(unity->received.size(), 2u);
  plain = decryptKeyPayload(appKey, unity->received[1].value());
  EXPECT_NE(std::string(plain.value().begin(), plain->end()).find(R"("latency":0.17})"),
            std::string::npos);

  sendPluginEvent(std::nullopt, revenue, unity);
  EXPECT_EQ(unity->received.size(), 2u);
  EXPECT_EQ(logs.count("ERROR Ad info is nil, cannot send event"), 1u);
}

}  // namespace
}  // namespace tilo
