#include <algorithm>
#include <atomic>
#include <regex>
#include <set>
#include <thread>

#include "TelemetryFixture.h"
#include "Tilo/telemetry/SessionIdentifier.h"
#include "platform/AppContainer.h"
#include "platform/Application.h"

namespace tilo::test {
namespace {

using Strings = std::vector<std::string>;

using platform::Json;

const TiloAdInfo kBanner{TiloAdFormat::banner, "banner-unit", std::nullopt, std::nullopt};

Strings idsOf(const std::vector<AdLogEvent>& events) {
  Strings ids;
  for (const auto& event : events) ids.push_back(event.eventId);
  return ids;
}

std::vector<AdLogEvent> earlierRun(std::size_t count) {
  std::vector<AdLogEvent> events;
  for (std::size_t i = 0; i < count; ++i)
    events.push_back(AdLogEvent::make(AdLogEventType::adClick, Json{{"n", i}}.dump()));
  return events;
}

class AdEventLoggerTest : public TelemetryTest {
 protected:
  std::shared_ptr<AdEventLogger> makeLogger() { return AdEventLogger::create(api, kTestAppKey); }
  void logBanner(int count) {
    for (int i = 0; i < count; ++i) logEvent(AdLogEventType::adRequest, kBanner);
    env.runUntilIdle();
  }
  static Strings queuedIds(AdEventLogger& logger) { return idsOf(logger.queuedEvents()); }
  static bool storedInDefaults() {
    return platform::UserDefaults::standard()->string(EventStore::kKey).has_value();
  }

  std::shared_ptr<RecordingTiloApi> api = std::make_shared<RecordingTiloApi>();
};

TEST_F(AdEventLoggerTest, TwentiethEventIsSavedAndFlushedAtOnce) {
  auto logger = makeLogger();
  // 1. Nineteen events: nothing sent, and the delayed save lands half a second later.
  logBanner(19);
  EXPECT_EQ(api->uploadCount(), 0u);
  env.advance(0.499);
  EXPECT_TRUE(storedIds().empty());
  env.advance(0.001);
  EXPECT_EQ(storedIds().size(), 19u);

  // 2. The twentieth goes out with the others at once; the store catches up with the
  //    throttled save, not one of the batch's own.
  logBanner(1);
  ASSERT_EQ(api->uploadCount(), 1u);
  EXPECT_EQ(api->eventIds(0), queuedIds(*logger));
  EXPECT_EQ(api->eventIds(0).size(), 20u);
  EXPECT_EQ(storedIds().size(), 19u);
  env.advance(AdEventLogger::kSaveDelay);
  EXPECT_EQ(storedIds(), api->eventIds(0));

  const auto onDisk = [] {
    return platform::UserDefaults::atPath(platform::UserDefaults::standard()->path())
        ->string(EventStore::kKey);
  };
  env.advance(0.5);  // the store's file written

  // 3. Success empties the queue and the store; no timer sends anything afterwards.
  api->complete(0, std::nullopt);
  env.runUntilIdle();
  EXPECT_TRUE(logger->queuedEvents().empty());
  EXPECT_FALSE(storedInDefaults());
  env.advance(20);
  EXPECT_EQ(api->uploadCount(), 1u);
  // The removal reaches the file within a minute, even when nothing else is written.
  EXPECT_TRUE(onDisk().has_value()) << "the removal waits for a write";
  env.advance(platform::UserDefaults::kLazyWriteDelay);
  EXPECT_FALSE(onDisk().has_value());
}

// The store must hold every event within a second of its append, whatever is in flight.
TEST_F(AdEventLoggerTest, SteadyStreamIsStoredWithinASecondWhateverIsInFlight) {
  auto logger = makeLogger();
  std::vector<std::pair<double, std::string>> appended;  // (uptime, id)
  auto logEvery300ms = [&](int count) {
    for (int i = 0; i < count; ++i) {
      logBanner(1);
      appended.emplace_back(env.clock().uptime(), queuedIds(*logger).back());
      env.advance(0.3);
      const auto stored = storedIds();
      for (const auto& [at, id] : appended) {
        if (env.clock().uptime() - at >= 1.0) {
          ASSERT_NE(std::find(stored.begin(), stored.end(), id), stored.end())
              << "event of t=" << at << " not stored at t=" << env.clock().uptime();
        }
      }
    }
  };
  // 1. An event every 300 ms never lets a quiet second pass, yet each one is stored.
  logEvery300ms(17);
  ASSERT_EQ(api->uploadCount(), 1u);  // the 5 s tick, held by the backend

  // 2. While that upload is held, and after it failed, later events are stored too.
  logEvery300ms(4);
  api->complete(0, TiloError(TiloError::Code::noNetwork, "offline"));
  logEvery300ms(10);
  EXPECT_EQ(logs.count("❌ 이벤트 전송 실패, 디스크에 저장: offline"), 1u);

  // 3. After the failure, reaching twenty events again sends nothing before the next tick
  //    of the one repeating timer, which no later event restarted or doubled.
  EXPECT_GE(queuedIds(*logger).size(), 30u);
  EXPECT_EQ(api->uploadCount(), 1u);
  ASSERT_TRUE(env.advanceUntil([&] { return api->uploadCount() == 2; }, 5.0));
  EXPECT_EQ(api->eventIds(1), queuedIds(*logger));
}

// Events appended while a batch is out stay queued and stored until the next tick; a
// flush asked for meanwhile (the background) runs as soon as the batch succeeds.
TEST_F(AdEventLoggerTest, EventsAppendedDuringAnUploadWaitForItsAnswer) {
  auto background = [&] {
    platform::Application::shared().setState(platform::ApplicationState::background);
    env.runUntilIdle();
    platform::Application::shared().setState(platform::ApplicationState::active);
  };
  auto logger = makeLogger();
  logBanner(3);
  background();
  ASSERT_EQ(api->uploadCount(), 1u);
  EXPECT_EQ(api->eventIds(0).size(), 3u);
  EXPECT_EQ(storedIds(), api->eventIds(0));

  logBanner(2);
  const auto all = queuedIds(*logger);
  const std::vector later(all.begin() + 3, all.end());
  api->complete(0, std::nullopt);
  env.runUntilIdle();
  EXPECT_EQ(queuedIds(*logger), later);
  EXPECT_EQ(storedIds().size(), 3u) << "the sent ones go with the next throttled save";
  env.advance(AdEventLogger::kSaveDelay);
  EXPECT_EQ(storedIds(), later);
  env.advance(5 - AdEventLogger::kSaveDelay - 0.001);
  EXPECT_EQ(api->uploadCount(), 1u);
  env.advance(0.001);
  ASSERT_EQ(api->uploadCount(), 2u);
  EXPECT_EQ(api->eventIds(1), later);

  logBanner(1);
  const auto last = queuedIds(*logger).back();
  background();
  EXPECT_EQ(api->uploadCount(), 2u);
  EXPECT_EQ(storedIds().size(), 3u);
  api->complete(1, std::nullopt);
  env.runUntilIdle();
  ASSERT_EQ(api->uploadCount(), 3u);
  EXPECT_EQ(api->eventIds(2), std::vector{last});
  api->complete(2, std::nullopt);
  env.runUntilIdle();
  EXPECT_FALSE(storedInDefaults());
}

TEST_F(AdEventLoggerTest, QueueKeepsTheNewestThousandAndCountsTheDrops) {
  auto logger = makeLogger();
  logBanner(20);
  api->complete(0, TiloError(TiloError::Code::noNetwork, "offline"));
  logBanner(980);
  const auto before = queuedIds(*logger);
  ASSERT_EQ(before.size(), 1000u);
  EXPECT_EQ(logs.count("이벤트 큐 초과"), 0u);
  // 1. Five more push out the five oldest.
  logBanner(5);
  const auto after = queuedIds(*logger);
  EXPECT_EQ(Strings(before.begin() + 5, before.end()), Strings(after.begin(), after.end() - 5));
  // 2. The next attempt sends the newest thousand and reports the drops once.
  ASSERT_TRUE(env.advanceUntil([&] { return api->uploadCount() == 2; }, 5.0));
  EXPECT_EQ(api->eventIds(1), after);
  EXPECT_EQ(logs.count("ERROR ⚠️ 이벤트 큐 초과로 오래된 이벤트 삭제: 5"), 1u);
  EXPECT_EQ(storedIds(), after);
  EXPECT_EQ(logger->droppedEventCount(), 5u);

  // 3. The answer to a batch goes ahead of the appends waiting behind other work: they
  //    find its room free, and nothing more is dropped.
  logger->queueForTesting().addOperation([] {});  // the queue is busy: appends wait
  for (int i = 0; i < 1000; ++i) logEvent(AdLogEventType::adRequest, kBanner);
  api->complete(1, std::nullopt);
  env.runUntilIdle();
  const auto newest = queuedIds(*logger);
  ASSERT_EQ(newest.size(), 1000u);
  EXPECT_EQ(logger->droppedEventCount(), 5u);
  EXPECT_EQ(std::set(newest.begin(), newest.end()).size(), 1000u);
  EXPECT_EQ(std::find(newest.begin(), newest.end(), after.back()), newest.end());
}

TEST_F(AdEventLoggerTest, UploadBodyAndPayloads) {
  platform::setLocaleIdentifierForTesting("C");
  platform::setAdvertisingIdentifier(platform::kZeroUUIDString);
  auto logger = makeLogger();
  env.advance(0.25);
  logEvent(AdLogEventType::adRequest, kBanner);
  logEvent(AdLogEventType::adResponseError,
           TiloAdInfo{TiloAdFormat::lightPopup, "popup-unit", 12.5, "AdMob"},
           AdResError{204, "No fill"});
  logEvent(AdLogEventType::adImpression, TiloAdInfo{TiloAdFormat::rewarded, "r", {}, {}});
  logEvent(AdLogEventType::adClick, TiloAdInfo{TiloAdFormat::appOpen, "a", {}, {}});
  env.runUntilIdle();
  env.advance(5);
  ASSERT_EQ(api->uploadCount(), 1u);
  const Json body = api->body(0);

  // 1. The body, its keys in order (ordered objects compare so); "country" absent for a
  //    locale without region.
  const auto vendor = platform::vendorIdentifier();
  ASSERT_TRUE(vendor.has_value());
  const Json& events = body["events"];
  EXPECT_EQ(body, (Json{{"sdkVersion", "1.1.44-beta"},
                        {"events", events},
                        {"device",
                         {{"deviceId", *vendor},
                          {"idfa", platform::kZeroUUIDString},
                          {"idfv", *vendor},
                          {"os", platform::systemName()},
                          {"osVersion", platform::systemVersion()}}},
                        {"mediationPlatform", "admob"}}));

  // 2. Events: wire names, time, session, and payloads with only the known keys.
  EXPECT_EQ(events[0]["createdAt"], std::int64_t{1767225600250});
  const std::regex uuid("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$");
  Strings summary;
  for (const auto& event : events) {
    EXPECT_EQ(event["sessionId"], sessionIdentifier());
    EXPECT_TRUE(std::regex_match(event["eventId"].get<std::string>(), uuid));
    summary.push_back(event["eventType"].get<std::string>() + " " + event["payload"].dump());
  }
  EXPECT_EQ(summary,
            (Strings{R"(ad_request {"adFormat":"banner","adUnitId":"banner-unit"})",
                     R"(ad_response_error {"adFormat":"light_poup","adUnitId":"popup-unit",)"
                     R"("adNetwork":"AdMob","latency":12.5,"code":204,"message":"No fill"})",
                     R"(ad_impression {"adFormat":"rewarded_video","adUnitId":"r"})",
                     R"(ad_click {"adFormat":"app_open","adUnitId":"a"})"}));

  // 3. With a region the country is sent.
  platform::setLocaleIdentifierForTesting("ko_KR.UTF-8");
  api->complete(0, std::nullopt);
  logBanner(1);
  env.advance(5);
  ASSERT_EQ(api->uploadCount(), 2u);
  EXPECT_EQ(api->body(1)["country"], "KR");
}

TEST_F(AdEventLoggerTest, EventsLoggedBeforeTheRestoreRanQueueBehindTheStoredOnes) {
  // 1. Before any logger exists, events vanish.
  logBanner(1);
  EXPECT_FALSE(AdEventLogger::shared());

  // 2. Events logged at once after creation, before the queue ran anything, go out behind
  //    the stored ones in the threshold's batch, each once; the store holds it first.
  const auto stored = earlierRun(995);
  ASSERT_TRUE(store().saveEvents(stored));
  const auto earlier = idsOf(stored);
  auto logger = makeLogger();
  EXPECT_EQ(AdEventLogger::shared(), logger);
  for (int i = 0; i < 5; ++i) logEvent(AdLogEventType::adRequest, kBanner);
  env.runUntilIdle();
  ASSERT_EQ(api->uploadCount(), 1u);
  const auto sent = api->eventIds(0);
  ASSERT_EQ(sent.size(), 1000u);
  EXPECT_TRUE(std::equal(earlier.begin(), earlier.end(), sent.begin()));
  EXPECT_EQ(std::set(sent.begin(), sent.end()).size(), 1000u);
  env.advance(AdEventLogger::kSaveDelay);
  EXPECT_EQ(storedIds(), sent);

  // 3. Crash reports are stored before the immediate path returns, even with a batch in
  //    flight, and go out as soon as that batch is answered; nothing is sent twice.
  const auto report = AdLogEvent::make(AdLogEventType::markerCheckpoint, "{}");
  logger->logImmediateEvents({report});
  // In the file, not only in memory: the host may die again at once.
  const auto path = platform::UserDefaults::standard()->path();
  const auto onDisk =
      EventStore(platform::UserDefaults::atPath(path), kTestAppKey).loadSavedEvents();
  ASSERT_FALSE(onDisk.empty());
  EXPECT_EQ(onDisk.back().eventId, report.eventId);
  EXPECT_EQ(api->uploadCount(), 1u);
  api->complete(0, std::nullopt);
  env.runUntilIdle();
  ASSERT_EQ(api->uploadCount(), 2u);
  EXPECT_EQ(api->eventIds(1), std::vector{report.eventId});
  EXPECT_EQ(api->body(1)["events"][0]["eventType"], "marker_checkpoint");
  api->complete(1, std::nullopt);
  env.advance(10);
  EXPECT_EQ(api->uploadCount(), 2u);
  EXPECT_TRUE(logger->queuedEvents().empty());
}

TEST_F(AdEventLoggerTest, AShutdownOrAHostileStoreDuringTheRestoreLosesNothing) {
  // 1. A shutdown's save right after creation runs the restore first: the store holds the
  //    earlier events, then the new ones, and the next run sends them all once.
  const auto earlier = earlierRun(2);
  ASSERT_TRUE(store().saveEvents(earlier));
  auto logger = makeLogger();
  logEvent(AdLogEventType::adRequest, kBanner);
  logEvent(AdLogEventType::adResponse, kBanner);
  logger->saveNow();
  const auto saved = storedIds();
  ASSERT_EQ(saved.size(), 4u);
  EXPECT_EQ(std::vector(saved.begin(), saved.begin() + 2), idsOf(earlier));
  logger.reset();
  AdEventLogger::resetSharedForTesting();
  logger = makeLogger();
  env.advance(5);
  ASSERT_EQ(api->uploadCount(), 1u);
  EXPECT_EQ(api->eventIds(0), saved);
  api->complete(0, std::nullopt);
  env.runUntilIdle();

  // 2. A hostile entry is not read on the creating thread; the restore removes it with one
  //    error line, and the events logged meanwhile are kept and stored.
  logger.reset();
  AdEventLogger::resetSharedForTesting();
  platform::UserDefaults::standard()->setString(EventStore::kKey, std::string(40, 'A'));
  logger = makeLogger();
  logEvent(AdLogEventType::adRequest, kBanner);
  logEvent(AdLogEventType::adClick, kBanner);
  EXPECT_EQ(logs.count("이벤트 복호화 실패"), 0u);
  env.runUntilIdle();
  EXPECT_EQ(logs.count("ERROR ⚠️ 이벤트 복호화 실패 - 저장된 데이터 삭제"), 1u);
  const auto queued = queuedIds(*logger);
  ASSERT_EQ(queued.size(), 2u);
  env.advance(AdEventLogger::kSaveDelay);
  EXPECT_EQ(storedIds(), queued);
}

// Real threads on the production executors, an earlier run's events restored on the pool
// while four callers log and upload answers arrive from yet another thread: nothing may be
// lost, duplicated or reordered (and ThreadSanitizer stays quiet).
TEST(AdEventLoggerThreadsTest, ConcurrentCallersAndAnswersLoseNothing) {
  TempDir container;
  platform::AppContainer::setPath(container.path());
  const auto earlier = earlierRun(100);
  EventStore(platform::UserDefaults::standard(), kTestAppKey).saveEvents(earlier);
  auto api = std::make_shared<RecordingTiloApi>();
  auto logger = AdEventLogger::create(api, kTestAppKey);
  std::atomic<int> running{4};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&running, &logger, t] {
      const TiloAdInfo info{TiloAdFormat::mrec, "unit-" + std::to_string(t), std::nullopt,
                            std::nullopt};
      for (int i = 1; i <= 200; ++i) {  // with the earlier ones, within the cap
        logEvent(AdLogEventType::adClick, info);
        // Lets the queue reach the threshold now and then, so uploads overlap the appends.
        if (i % 10 == 0) logger->queuedEvents();
      }
      --running;
    });
  }
  std::size_t answered = 0;
  auto answerAll = [&] {
    while (answered < api->uploadCount()) api->complete(answered++, std::nullopt);
  };
  while (running > 0) answerAll();
  for (auto& thread : threads) thread.join();
  // Each read is ordered after the answers given before it; stop when none led to more.
  std::vector<AdLogEvent> queued;
  do {
    answerAll();
    queued = logger->queuedEvents();
  } while (answered < api->uploadCount());
  // 900 distinct ids are all 900 events logged, each once.
  Strings ids;
  for (const auto& event : api->allEvents()) ids.push_back(event["eventId"]);
  for (const auto& event : queued) ids.push_back(event.eventId);
  ASSERT_EQ(ids.size(), 900u);
  EXPECT_EQ(std::set(ids.begin(), ids.end()).size(), 900u);
  EXPECT_TRUE(std::equal(
      earlier.begin(), earlier.end(), ids.begin(),
      [](const AdLogEvent& event, const std::string& id) { return event.eventId == id; }));
  EXPECT_GE(api->uploadCount(), 2u);
  AdEventLogger::resetSharedForTesting();
  platform::AppContainer::setPath(std::nullopt);
}

}  // namespace
}  // namespace tilo::test
