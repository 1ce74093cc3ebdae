#include <gtest/gtest.h>

#include "Tilo/core/KeyCrypto.h"
#include "Tilo/core/TiloAds.h"
#include "Tilo/core/TiloPlugin.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

using test::SdkFixture;

std::string seal(const std::string& secret, const std::string& text) {
  return *encryptPayload(
      secret, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

class FakePlugin final : public TiloPlugin {
 public:
  FakePlugin(std::string name, std::string token)
      : name_(std::move(name)), token_(std::move(token)) {}
  std::string pluginToken() const override { return token_; }
  std::string name() const override { return name_; }
  std::string requiredTiloVersion() const override { return "2.0.0"; }
  std::function<void(std::optional<std::string>)> eventHandler() const override {
    return [this](std::optional<std::string> event) { received.push_back(event); };
  }
  mutable std::vector<std::optional<std::string>> received;

 private:
  std::string name_;
  std::string token_;
};

class FakeAdObject final : public HasPlugin, public PluginRegisterble {
 public:
  std::shared_ptr<TiloPlugin> plugin() const override { return plugin_; }
  void setPlugin(std::shared_ptr<TiloPlugin> plugin) override { plugin_ = std::move(plugin); }

 private:
  std::shared_ptr<TiloPlugin> plugin_;
};

class PluginTest : public ::testing::Test {
 protected:
  PluginTest() : sdk_(test::SdkFixtureOptions::offline()) {
    setCurrentLogLevel(TiloLogLevel::debug);
  }
  ~PluginTest() override { setCurrentLogLevel(TiloLogLevel::off); }
  const std::string& appKey() const { return sdk_.options().appKey; }
  SdkFixture sdk_;
};

TEST_F(PluginTest, TokensDecideWhichPluginIsAttached) {
  ScopedLogCapture logs;
  FakeAdObject ad;

  // 1. A token for another capability, or sealed with another app key, is refused.
  ad.registerPlugin(std::make_shared<FakePlugin>("Other", seal(appKey(), "adcashevent")));
  ad.registerPlugin(std::make_shared<FakePlugin>("Foreign", seal("another-app", "adCashEvent")));
  ad.registerPlugin(std::make_shared<FakePlugin>("Garbage", "not base64!"));
  EXPECT_EQ(ad.plugin(), nullptr);
  EXPECT_EQ(logs.count("DEBUG Not supported plugin: Foreign need Tilo SDK version : 2.0.0"), 1u);
  EXPECT_EQ(logs.count("Not supported plugin: "), 3u);

  // 2. The supported capability is attached; a second one replaces it.
  auto first = std::make_shared<FakePlugin>("Unity", seal(appKey(), "adCashEvent"));
  ad.registerPlugin(first);
  EXPECT_EQ(ad.plugin(), first);
  EXPECT_EQ(logs.count("DEBUG Registered plugin: Unity"), 1u);
  auto second = std::make_shared<FakePlugin>("Unreal", seal(appKey(), "adCashEvent"));
  ad.registerPlugin(second);
  EXPECT_EQ(ad.plugin(), second);

  // 3. A refused plugin leaves the attached one in place.
  ad.registerPlugin(std::make_shared<FakePlugin>("Late", seal(appKey(), "adRevenue")));
  EXPECT_EQ(ad.plugin(), second);
}

TEST_F(PluginTest, PaidEventsReachThePluginSealedWithTheAppKey) {
  ScopedLogCapture logs;
  auto plugin = std::make_shared<FakePlugin>("Unity", seal(appKey(), "adCashEvent"));
  const auto revenue = TiloRevenueInfo::fromPlatform(
      platform::Decimal::fromString("0.15"), *platform::Decimal::fromString("0.0125"), "USD", 2);

  sendPluginEvent(TiloAdInfo{TiloAdFormat::rewarded, "rw-1", 125.5, "AdMob"}, revenue, plugin);
  sendPluginEvent(TiloAdInfo{TiloAdFormat::lightPopup, "lp-1", std::nullopt, std::nullopt}, revenue,
                  plugin);
  ASSERT_EQ(plugin->received.size(), 2u);

  auto open = [&](const std::optional<std::string>& event) {
    auto plain = decryptKeyPayload(appKey(), event.value());
    return platform::parseJson(std::string(plain.value().begin(), plain->end()));
  };
  EXPECT_EQ(open(plugin->received[0]),
            platform::parseJson(
                R"({"adInfo":{"adFormat":"rewarded","adUnitId":"rw-1","latency":0.1255},)"
                R"("revenueInfo":{"value":"0.010625","currencyCode":"USD","precisionType":2}})"));
  EXPECT_EQ(open(plugin->received[1])["adInfo"]["latency"], 0);
  EXPECT_EQ(open(plugin->received[1])["adInfo"]["adFormat"], "lightPopup");

  // Without ad info nothing is sent and one error line says why.
  sendPluginEvent(std::nullopt, revenue, plugin);
  EXPECT_EQ(plugin->received.size(), 2u);
  EXPECT_EQ(logs.count("ERROR Ad info is nil, cannot send event"), 1u);
}

}  // namespace
}  // namespace tilo
