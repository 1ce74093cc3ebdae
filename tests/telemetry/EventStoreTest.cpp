#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <iterator>

#include "TelemetryFixture.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/telemetry/SessionIdentifier.h"

namespace tilo::test {
namespace {

using platform::Json;

class EventStoreTest : public TelemetryTest {
 protected:
  std::optional<std::string> rawEntry() {
    return platform::UserDefaults::standard()->string(EventStore::kKey);
  }
  void setRawEntry(const std::string& value) {
    platform::UserDefaults::standard()->setString(EventStore::kKey, value);
  }
  std::string seal(const std::string& plaintext, const std::string& secret = kTestAppKey) {
    return *encryptPayload(
        secret, {reinterpret_cast<const std::uint8_t*>(plaintext.data()), plaintext.size()});
  }
};

TEST_F(EventStoreTest, EverySaveIsFreshlySealedAndDecodesBack) {
  const std::string payload = R"({"adFormat":"banner","note":"\"q\"\n"})";
  std::vector<AdLogEvent> events{AdLogEvent::make(AdLogEventType::adClick, payload),
                                 AdLogEvent::make(AdLogEventType::markerCheckpoint, "{}", "OLD")};
  auto saved = store();
  ASSERT_TRUE(saved.saveEvents(events));
  const auto first = rawEntry();
  ASSERT_TRUE(saved.saveEvents(events));
  const auto second = rawEntry();
  ASSERT_TRUE(first && second);
  EXPECT_NE(*first, *second);

  // Both open to the same plaintext: exactly the five stored keys per event.
  auto a = decryptKeyPayload(kTestAppKey, *first);
  auto b = decryptKeyPayload(kTestAppKey, *second);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
  const Json list = Json::parse(a->begin(), a->end());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0], (Json{{"eventId", events[0].eventId},
                           {"eventType", "adClick"},
                           {"createdAt", events[0].createdAt},
                           {"sessionId", sessionIdentifier()},
                           {"payloadJsonString", payload}}));
  EXPECT_EQ(list[1]["eventType"], "markerCheckpoint");
  EXPECT_EQ(list[1]["sessionId"], "OLD");

  // The same events come back; the entry stays after a load.
  auto loaded = saved.loadSavedEvents();
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0].payloadJsonString, payload);
  EXPECT_EQ(loaded[1].eventType, AdLogEventType::markerCheckpoint);
  EXPECT_EQ(rawEntry(), second);
}

TEST_F(EventStoreTest, BadEntriesAreLoggedAndRemoved) {
  const auto entry = [](const char* type, const std::string& payload) {
    return R"({"eventId":"a","eventType":")" + std::string(type) +
           R"(","createdAt":1,"sessionId":"s","payloadJsonString":)" + Json(payload).dump() + "}";
  };
  // (Entries that do not open: HostileInputTest's undecodable event store entries; an
  // entry without ciphertext: KeyCryptoTest.)
  // 1. One unknown event type fails the whole list.
  setRawEntry(seal("[" + entry("adClick", "{}") + "," + entry("adBogus", "{}") + "]"));
  EXPECT_TRUE(store().loadSavedEvents().empty());
  EXPECT_FALSE(rawEntry());
  EXPECT_EQ(logs.count("⚠️ 이벤트 디코딩 실패: "), 1u);
  EXPECT_EQ(logs.count("adBogus"), 1u);

  // 2. A payload text that is no object, or an object in another spelling, reads as the
  //    compact object text the upload splices in; not as a failure.
  const std::pair<std::string, std::string> payloads[] = {
      {"[1]", "{}"}, {"{not json", "{}"}, {R"({ "b" : [1, 2.50] })", R"({"b":[1,2.5]})"}};
  for (const auto& [stored, readsAs] : payloads) {
    setRawEntry(seal("[" + entry("adImpression", stored) + "]"));
    auto loaded = store().loadSavedEvents();
    ASSERT_EQ(loaded.size(), 1u) << stored;
    EXPECT_EQ(loaded[0].payloadJsonString, readsAs);
  }
}

TEST_F(EventStoreTest, AFailedWriteIsReportedOnceAndTheNextWriteStoresWhatItMissed) {
  // A file where the preferences folder should be: no write can succeed, even as root.
  const auto blocker = container.path() / "blocked";
  const auto path = blocker / "prefs.plist";
  const std::string failed = "Failed to write user defaults, keeping changes in memory: ";
  ASSERT_TRUE(platform::FileSystem::atomicWrite(blocker, "not a folder"));
  auto defaults = platform::UserDefaults::atPath(path);
  EventStore blocked(defaults, kTestAppKey);
  const std::vector<AdLogEvent> one{AdLogEvent::make(AdLogEventType::adClick, "{}")};
  ASSERT_TRUE(blocked.saveEvents(one));
  ASSERT_TRUE(blocked.saveEvents(one));
  EXPECT_EQ(logs.count(failed), 1u);
  EXPECT_EQ(blocked.loadSavedEvents().size(), 1u);  // kept in memory

  // Once the folder can be made, the next write stores the entry for the next process.
  std::filesystem::remove(blocker);
  ASSERT_TRUE(blocked.saveEvents(one));
  EXPECT_EQ(EventStore(platform::UserDefaults::atPath(path), kTestAppKey).loadSavedEvents().size(),
            1u);

  // A new run of failures is reported again.
  std::filesystem::remove_all(blocker);
  ASSERT_TRUE(platform::FileSystem::atomicWrite(blocker, "not a folder"));
  blocked.removeSavedEvents();
  EXPECT_EQ(logs.count(failed), 2u);
}

// Sealing takes a fresh nonce from the kernel: in a child whose getrandom fails (a seccomp
// filter), a save logs the failure and the entry already there stays as it was.
TEST_F(EventStoreTest, ASaveThatCannotSealKeepsTheEntryThereWas) {
  const std::vector<AdLogEvent> first{AdLogEvent::make(AdLogEventType::adClick, "{}")};
  ASSERT_TRUE(store().saveEvents(first));
  const auto before = rawEntry();
  const pid_t child = ::fork();
  if (child == 0) {
    sock_filter filter[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_getrandom, 0, 1),
                            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
                            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
      ::_exit(3);
    }
    const bool saved = store().saveEvents(
        std::vector<AdLogEvent>{AdLogEvent::make(AdLogEventType::adImpression, "{}")});
    const bool logged = logs.count("ERROR ⚠️ 이벤트 암호화 실패") == 1;
    ::_exit(saved ? 1 : !logged ? 2 : rawEntry() != before ? 4 : 0);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1 sealed, 2 not logged, 3 no filter, 4 entry changed";
}

}  // namespace
}  // namespace tilo::test
