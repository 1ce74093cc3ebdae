#include <gtest/gtest.h>

#include <utility>

#include "Tilo/backend/TiloAdUnitSynchronizer.h"
#include "Tilo/base/NetworkError.h"
#include "Tilo/entry/TiloService.h"
#include "Tilo/networks/ADNetwork.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/CrashMarkers.h"
#include "platform/Reactive.h"
#include "support/RecordingTiloApi.h"
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

  // Fails for "broken" and "nofill", builds a loader for every other unit.
  static void buildLoader(const TiloAdUnitItem& item, Completion<Loader> done) {
    if (item.tiloAdUnitId == "broken") {
      done(Result<Loader>::failure(NetworkError::badResponse(500, "boom")));
    } else if (item.tiloAdUnitId == "nofill") {
      done(Result<Loader>::failure(TiloError(TiloError::Code::noFill, "No fill.")));
    } else {
      done(std::make_shared<std::string>("loader for " + item.mediationAdUnitId));
    }
  }
  std::shared_ptr<Sync> makeSync() { return Sync::create(&buildLoader, service_); }

  // The unit's phase in the ad-load tracker, "closed" when it has no entry.
  static std::string trackedPhase(const std::string& unit) {
    auto tracker = crashMarkerFileQueue().sync([] { return readAdLoadTracker(); });
    if (!tracker || !tracker->loadingAds.contains(unit)) return "closed";
    return tracker->loadingAds.at(unit).currentPhase;
  }

  struct Outcome {
    std::vector<Result<TiloAdUnitItem>> results;
    Completion<TiloAdUnitItem> completion() {
      return [this](Result<TiloAdUnitItem> r) { results.push_back(std::move(r)); };
    }
    std::string error(std::size_t i = 0) const {
      return std::get<TiloError>(*results.at(i).error()).debugDescription();
    }
  };
  // The wait ends with a timeout exactly `seconds` from now, not a moment before.
  void expectTimeoutAfter(const Outcome& outcome, double seconds) {
    sdk_.env().advance(seconds - 0.001);
    EXPECT_TRUE(outcome.results.empty());
    sdk_.env().advance(0.001);
    ASSERT_EQ(outcome.results.size(), 1u);
    EXPECT_EQ(outcome.error(), "initializationFailed, Timeout occurred");
  }

  test::SdkFixture sdk_;
  std::shared_ptr<test::RecordingTiloApi> api_ = std::make_shared<test::RecordingTiloApi>();
  std::vector<std::shared_ptr<ADNetwork>> networks_;
  std::shared_ptr<TiloAdProvider> provider_ =
      TiloAdProvider::create([this](const TiloConfiguration&) { return networks_; });
  std::shared_ptr<TiloService> service_;
};

// A network that starts when the test says so.
struct HeldNetwork final : ADNetwork {
  std::string name() const override { return "Held"; }
  void initialize(std::function<void(bool)> completion) override { start = std::move(completion); }
  std::function<void(bool)> start;
};

// A published unit still waits until the networks have started.
TEST_F(SynchronizerTest, APublishedUnitWaitsForTheNetworks) {
  auto held = std::make_shared<HeldNetwork>();
  networks_ = {held};
  initialize(infoWith({"a"}));
  ASSERT_TRUE(held->start);
  auto sync = makeSync();
  Outcome outcome;
  sync->syncTiloAdUnit("a", outcome.completion());
  sdk_.env().advance(1.0);
  EXPECT_TRUE(outcome.results.empty());
  std::exchange(held->start, nullptr)(true);  // dropped once called, as a network does
  sdk_.env().runUntilIdle();
  ASSERT_EQ(outcome.results.size(), 1u);
  EXPECT_EQ(outcome.results[0].value().mediationAdUnitId, "med/a");
}

// Waits are independent: a later one neither ends nor delays an earlier one, and each
// deadline runs three seconds from its own start.
TEST_F(SynchronizerTest, WaitsEndWithTheUnitOrThreeSecondsAfterTheirOwnStart) {
  auto sync = makeSync();
  Outcome early, late;
  sync->syncTiloAdUnit("a", early.completion());
  sdk_.env().advance(1.0);
  sync->syncTiloAdUnit("a", late.completion());
  expectTimeoutAfter(early, 2.0);
  EXPECT_TRUE(late.results.empty());
  // Every value restarts the three seconds: one at 3 s that lacks the unit asks for a
  // resync, whose answer 2.9 s later, past the first deadline (4 s), still counts.
  initialize(infoWith({"b"}));
  sdk_.env().advance(2.9);
  EXPECT_TRUE(late.results.empty());
  ASSERT_EQ(api_->retryCalls.size(), 1u);
  api_->retryCalls[0].completion(infoWith({"a", "b"}));
  sdk_.env().runUntilIdle();
  ASSERT_EQ(late.results.size(), 1u);
  EXPECT_EQ(late.results[0].value().mediationAdUnitId, "med/a");

  // A known unit resolves with the work due now; no deadline answers anything later.
  Outcome known;
  sync->syncTiloAdUnit("b", known.completion());
  sdk_.env().runUntilIdle();
  ASSERT_EQ(known.results.size(), 1u);
  EXPECT_EQ(known.results[0].value().mediationAdUnitId, "med/b");
  sdk_.env().advance(10);
  EXPECT_EQ(early.results.size() + late.results.size() + known.results.size(), 3u);

  // A missing unit whose resync never answers still times out.
  Outcome missing;
  sync->syncTiloAdUnit("x", missing.completion());
  expectTimeoutAfter(missing, 3.0);

  // A synchronizer released mid-wait still answers each pending wait once.
  auto doomed = makeSync();
  Outcome orphan, orphan2;
  doomed->syncTiloAdUnit("zzz", orphan.completion());
  doomed->syncTiloAdUnit("zzz", orphan2.completion());
  sdk_.env().runUntilIdle();
  doomed.reset();
  sdk_.env().advance(10);
  ASSERT_EQ(orphan.results.size(), 1u);
  ASSERT_EQ(orphan2.results.size(), 1u);
  EXPECT_EQ(orphan.error(), "unspecified, Unspecified error");
}

TEST_F(SynchronizerTest, MissingUnitsShareOneResyncWhoseAnswerDecides) {
  initialize(infoWith({"a"}));
  auto first = makeSync();
  auto second = makeSync();
  Outcome found, missing;
  first->syncTiloAdUnit("late", found.completion());
  second->syncTiloAdUnit("ghost", missing.completion());
  sdk_.env().runUntilIdle();
  ASSERT_EQ(api_->retryCalls.size(), 1u);
  sdk_.env().advance(2.9);
  api_->retryCalls[0].completion(infoWith({"a", "late"}));
  sdk_.env().runUntilIdle();
  ASSERT_EQ(found.results.size(), 1u);
  EXPECT_EQ(found.results[0].value().tiloAdUnitId, "late");
  ASSERT_EQ(missing.results.size(), 1u);
  EXPECT_EQ(missing.error(), "initializationFailed, No ad unit found");
  EXPECT_EQ(api_->retryCalls.size(), 1u);
  // Once answered, the next missing unit asks again.
  Outcome again;
  first->syncTiloAdUnit("ghost", again.completion());
  sdk_.env().runUntilIdle();
  EXPECT_EQ(api_->retryCalls.size(), 2u);
}

// Host callbacks run as main-thread tasks of their own, outside every delivery of the
// SDK's publishers (whose locks are held there), so they may re-enter the SDK freely.
TEST_F(SynchronizerTest, ListenersRunOutsideDeliveriesAndMayReenter) {
  auto sync = makeSync();
  std::vector<std::string> events;
  auto listener = std::make_shared<Listener>();
  listener->onAdLoadSuccess = [&](Loader loader, std::optional<TiloAdInfo>) {
    events.push_back("success " + *loader +
                     (platform::isDeliveringReactiveValue() ? " inside a delivery" : ""));
  };
  listener->onAdLoadFail = [&](const TiloError& error) {
    events.push_back(error.message() +
                     (platform::isDeliveringReactiveValue() ? " inside a delivery" : ""));
    // Load again, then let go of the synchronizer, from inside the callback.
    sync->syncAndLoad("a", listener);
    if (events.size() == 2) sync.reset();
  };

  // 1. The wait times out on the main thread; its listener still runs on its own.
  sync->syncAndLoad("a", listener);
  sdk_.env().advance(3.0);
  ASSERT_EQ(events, std::vector<std::string>{"Timeout occurred"});

  // 2. The reload from inside the callback times out too; the synchronizer it released
  //    answers nothing more.
  sdk_.env().advance(3.0);
  EXPECT_EQ(events, (std::vector<std::string>{"Timeout occurred", "Timeout occurred"}));
  sdk_.env().advance(10);
  EXPECT_EQ(events.size(), 2u);

  // 3. A unit already known resolves from inside the replay of the subscription.
  initialize(infoWith({"a"}));
  auto another = makeSync();
  another->syncAndLoad("a", listener);
  sdk_.env().runUntilIdle();
  EXPECT_EQ(events.back(), "success loader for med/a");
}

TEST_F(SynchronizerTest, SyncAndLoadReportsOnMainAndTracksPhases) {
  setEnableMarkerCheckpoints(true);
  initialize(infoWith({"ok", "broken", "nofill"}));
  std::vector<std::string> phasesAtBuild;
  auto sync = Sync::create(
      [&](const TiloAdUnitItem& item, Completion<Loader> done) {
        phasesAtBuild.push_back(trackedPhase(item.tiloAdUnitId));
        buildLoader(item, std::move(done));
      },
      service_);
  std::vector<std::string> events;
  auto listener = std::make_shared<Listener>();
  const auto where = [] { return platform::isMainThread() ? "" : " (off main)"; };
  listener->onAdLoadSuccess = [&](Loader loader, std::optional<TiloAdInfo> info) {
    events.push_back("success: " + *loader + (info ? " with info" : "") + where());
  };
  listener->onAdLoadFail = [&](const TiloError& error) {
    events.push_back("fail: " + error.debugDescription() + where());
  };

  // 1. Loaders are built in the "loader_init" phase; each entry is closed whatever the
  //    loader's outcome.
  sync->syncAndLoad("ok", listener);
  sync->syncAndLoad("broken", listener);
  sdk_.env().runUntilIdle();
  sync->syncAndLoad("nofill", listener);
  sdk_.env().runUntilIdle();
  EXPECT_EQ(events, (std::vector<std::string>{"success: loader for med/ok",
                                              "fail: unspecified, Unspecified error",
                                              "fail: noFill, No fill."}));
  EXPECT_EQ(phasesAtBuild, std::vector<std::string>(3, "loader_init"));
  for (const char* unit : {"ok", "broken", "nofill"}) EXPECT_EQ(trackedPhase(unit), "closed");

  // 2. A unit the backend does not know: open in "sync" while the resync runs, closed by
  //    the failed lookup.
  sync->syncAndLoad("ghost", listener);
  sdk_.env().runUntilIdle();
  EXPECT_EQ(trackedPhase("ghost"), "sync");
  ASSERT_EQ(api_->retryCalls.size(), 1u);
  api_->retryCalls[0].completion(infoWith({"ok", "broken", "nofill"}));
  sdk_.env().runUntilIdle();
  EXPECT_EQ(events.back(), "fail: initializationFailed, No ad unit found");
  EXPECT_EQ(trackedPhase("ghost"), "closed");

  // 3. Released before its task runs: nobody hears anything.
  sync->syncAndLoad("ok", listener);
  sync.reset();
  sdk_.env().advance(5);
  EXPECT_EQ(events.size(), 4u);
  setEnableMarkerCheckpoints(false);
}

}  // namespace
}  // namespace tilo
