#include <gtest/gtest.h>

#include "Tilo/backend/NetworkError.h"
#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/core/TiloService.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "support/FakeTiloApi.h"
#include "support/SdkFixture.h"

namespace tilo {
namespace {

using Loader = std::shared_ptr<std::string>;
using Sync = TiloAdUnitSynchronizer<Loader>;

TiloAppInfo infoWith(std::initializer_list<const char*> units) {
  TiloAppInfo info;
  info.feeRate = *platform::Decimal::fromString("0.1");
  for (const char* unit : units) {
    info.adUnits.push_back({unit, std::string("med/") + unit, unit, "banner", 30.0, info.feeRate});
  }
  return info;
}

struct Listener {
  std::function<void(Loader, std::optional<TiloAdInfo>)> onAdLoadSuccess;
  std::function<void(const TiloError&)> onAdLoadFail;
};

class SynchronizerTest : public ::testing::Test {
 protected:
  SynchronizerTest() : sdk_(test::SdkFixtureOptions::offline()) {
    service_ = TiloService::create(TiloConfiguration{}, provider_, api_, "secret");
  }

  // Publishes the app info as the start-up sequence would, then marks the SDK ready.
  void initialize(const TiloAppInfo& info) {
    service_->initialize(PrivacySettings{}, [](std::optional<TiloError>) {});
    api_->fetchCalls.back()(info);
    sdk_.env().runUntilIdle();
  }

  std::shared_ptr<Sync> makeSync() {
    return Sync::create(
        [](const TiloAdUnitItem& item, Completion<Loader> done) {
          if (item.tiloAdUnitId == "broken") {
            done(Result<Loader>::failure(std::make_exception_ptr(std::runtime_error("boom"))));
          } else if (item.tiloAdUnitId == "nofill") {
            done(Result<Loader>::failure(
                std::make_exception_ptr(TiloError(TiloError::Code::noFill, "No fill."))));
          } else {
            done(std::make_shared<std::string>("loader for " + item.mediationAdUnitId));
          }
        },
        service_);
  }

  struct Outcome {
    std::vector<Result<TiloAdUnitItem>> results;
    Completion<TiloAdUnitItem> completion() {
      return [this](Result<TiloAdUnitItem> r) { results.push_back(std::move(r)); };
    }
    std::string errorMessage(std::size_t i = 0) const {
      return catchAs<TiloError>(results.at(i).error()).value().message();
    }
  };

  test::SdkFixture sdk_;
  std::shared_ptr<test::FakeTiloApi> api_ = std::make_shared<test::FakeTiloApi>();
  std::shared_ptr<TiloAdProvider> provider_ = TiloAdProvider::create(
      [](const TiloConfiguration&) { return std::vector<std::shared_ptr<ADNetwork>>{}; });
  std::shared_ptr<TiloService> service_;
};

TEST_F(SynchronizerTest, KnownUnitResolvesAtOnceAfterInitialization) {
  auto sync = makeSync();
  Outcome outcome;
  sync->syncTiloAdUnit("b", outcome.completion());
  sdk_.env().advance(2.0);
  EXPECT_TRUE(outcome.results.empty());  // not initialized yet

  initialize(infoWith({"a", "b"}));
  ASSERT_EQ(outcome.results.size(), 1u);
  EXPECT_EQ(outcome.results[0].value().mediationAdUnitId, "med/b");
  EXPECT_TRUE(api_->retryCalls.empty());

  // Already known: resolves inside the call, no timer left to fire.
  Outcome again;
  sync->syncTiloAdUnit("a", again.completion());
  ASSERT_EQ(again.results.size(), 1u);
  sdk_.env().advance(10);
  EXPECT_EQ(again.results.size(), 1u);
  EXPECT_EQ(outcome.results.size(), 1u);
}

TEST_F(SynchronizerTest, MissingUnitTriggersOneResyncThatDecides) {
  initialize(infoWith({"a"}));
  auto sync = makeSync();

  // 1. Found in the resync's answer.
  Outcome found;
  sync->syncTiloAdUnit("late", found.completion());
  sdk_.env().runUntilIdle();
  ASSERT_EQ(api_->retryCalls.size(), 1u);
  sdk_.env().advance(2.9);
  api_->retryCalls[0].completion(infoWith({"a", "late"}));
  ASSERT_EQ(found.results.size(), 1u);
  EXPECT_EQ(found.results[0].value().tiloAdUnitId, "late");

  // 2. Still missing after the resync.
  Outcome missing;
  sync->syncTiloAdUnit("ghost", missing.completion());
  sdk_.env().runUntilIdle();
  ASSERT_EQ(api_->retryCalls.size(), 2u);
  api_->retryCalls[1].completion(infoWith({"a", "late"}));
  ASSERT_EQ(missing.results.size(), 1u);
  EXPECT_EQ(missing.errorMessage(), "No ad unit found");
  EXPECT_EQ(catchAs<TiloError>(missing.results[0].error())->code(),
            TiloError::Code::initializationFailed);
  EXPECT_EQ(api_->retryCalls.size(), 2u);
}

TEST_F(SynchronizerTest, TimesOutThreeSecondsAfterTheLastValue) {
  auto sync = makeSync();
  Outcome never;
  sync->syncTiloAdUnit("a", never.completion());
  sdk_.env().advance(2.999);
  EXPECT_TRUE(never.results.empty());
  sdk_.env().advance(0.001);
  ASSERT_EQ(never.results.size(), 1u);
  EXPECT_EQ(never.errorMessage(), "Timeout occurred");

  // A resync that never answers: the deadline counts from the value that lacked the unit.
  initialize(infoWith({"a"}));
  sdk_.env().advance(1.0);
  Outcome slow;
  sync->syncTiloAdUnit("b", slow.completion());
  sdk_.env().advance(2.999);
  EXPECT_TRUE(slow.results.empty());
  sdk_.env().advance(0.001);
  ASSERT_EQ(slow.results.size(), 1u);
  EXPECT_EQ(slow.errorMessage(), "Timeout occurred");
  sdk_.env().advance(10);
  EXPECT_EQ(slow.results.size(), 1u);
}

TEST_F(SynchronizerTest, TwoWaitersShareOneResync) {
  initialize(infoWith({"a"}));
  auto first = makeSync();
  auto second = makeSync();
  Outcome x, y;
  first->syncTiloAdUnit("x", x.completion());
  second->syncTiloAdUnit("y", y.completion());
  sdk_.env().runUntilIdle();
  ASSERT_EQ(api_->retryCalls.size(), 1u);
  api_->retryCalls[0].completion(infoWith({"a", "x"}));
  ASSERT_EQ(x.results.size(), 1u);
  EXPECT_TRUE(x.results[0].ok());
  ASSERT_EQ(y.results.size(), 1u);
  EXPECT_EQ(y.errorMessage(), "No ad unit found");
}

TEST_F(SynchronizerTest, NewerWaitEndsTheEarlierOneExactlyOnce) {
  auto sync = makeSync();
  Outcome earlier, newer;
  sync->syncTiloAdUnit("a", earlier.completion());
  sdk_.env().advance(1.0);
  sync->syncTiloAdUnit("a", newer.completion());
  ASSERT_EQ(earlier.results.size(), 1u);
  EXPECT_EQ(earlier.errorMessage(), "Timeout occurred");
  initialize(infoWith({"a"}));
  sdk_.env().advance(10);
  EXPECT_EQ(earlier.results.size(), 1u);
  ASSERT_EQ(newer.results.size(), 1u);
  EXPECT_TRUE(newer.results[0].ok());

  // A synchronizer released mid-wait still answers its pending wait once.
  auto doomed = makeSync();
  Outcome orphan;
  doomed->syncTiloAdUnit("zzz", orphan.completion());
  sdk_.env().runUntilIdle();
  doomed.reset();
  ASSERT_EQ(orphan.results.size(), 1u);
  EXPECT_EQ(orphan.errorMessage(), "Unspecified error");
  sdk_.env().advance(10);
  EXPECT_EQ(orphan.results.size(), 1u);
}

TEST_F(SynchronizerTest, SyncAndLoadReportsOnMainAndTracksPhases) {
  setEnableMarkerCheckpoints(true);
  initialize(infoWith({"ok", "broken", "nofill"}));
  auto sync = makeSync();
  std::vector<std::string> events;
  auto listener = std::make_shared<Listener>();
  listener->onAdLoadSuccess = [&](Loader loader, std::optional<TiloAdInfo> info) {
    EXPECT_TRUE(platform::isMainThread());
    EXPECT_FALSE(info);
    events.push_back("success: " + *loader);
  };
  listener->onAdLoadFail = [&](const TiloError& error) {
    EXPECT_TRUE(platform::isMainThread());
    events.push_back("fail: " + error.debugDescription());
  };

  sync->syncAndLoad("ok", listener);
  sync->syncAndLoad("broken", listener);
  sdk_.env().runUntilIdle();
  sync->syncAndLoad("nofill", listener);
  sdk_.env().runUntilIdle();
  EXPECT_EQ(events, (std::vector<std::string>{"success: loader for med/ok",
                                              "fail: unspecified, Unspecified error",
                                              "fail: noFill, No fill."}));
  // Every tracking entry is closed, whatever the outcome.
  auto tracker = crashMarkerFileQueue().sync([] { return readAdLoadTracker(); });
  EXPECT_TRUE(!tracker || tracker->loadingAds.empty());

  // Released before its task runs: nobody hears anything.
  sync->syncAndLoad("ok", listener);
  sync.reset();
  sdk_.env().advance(5);
  EXPECT_EQ(events.size(), 3u);
  setEnableMarkerCheckpoints(false);
}

}  // namespace
}  // namespace tilo
