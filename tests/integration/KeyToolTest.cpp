#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Tilo/base/KeyCrypto.h"
#include "Tilo/base/TiloAppInfo.h"
#include "Tilo/base/TiloConfiguration.h"
#include "Tilo/telemetry/AdLogEvent.h"
#include "Tilo/telemetry/EventStore.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/TestEnvironment.h"
#include "platform/UserDefaults.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "tools/devserver/Campaigns.h"

namespace tilo {
namespace {

using platform::FileSystem;
using platform::Json;

// Runs of the built tool in a folder of their own.
class KeyToolTest : public ::testing::Test {
 protected:
  // Standard output and error captured in files of `dir`; stdin is `input`. `runAs`
  // prefixes the command (to drop privileges).
  test::ChildRun keytool(const std::string& arguments, const std::string& input = "",
                         const std::string& runAs = "") {
    const auto in = dir.path() / "stdin", out = dir.path() / "stdout", err = dir.path() / "stderr";
    FileSystem::atomicWrite(in, input);
    const std::string command = runAs + std::string(TILO_TOOLS_DIR "/tilo-keytool ") + arguments +
                                " <'" + in.string() + "' >'" + out.string() + "' 2>'" +
                                err.string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0, FileSystem::readFile(out).value_or(""),
            FileSystem::readFile(err).value_or("")};
  }

  test::TempDir dir;
};

std::string plaintext(const std::string& secret, const std::string& sealed) {
  auto bytes = decryptKeyPayload(secret, sealed);
  return bytes ? std::string(bytes->begin(), bytes->end()) : "<cannot decrypt>";
}

TEST_F(KeyToolTest, SealAndOpen) {
  const std::string secret = "app-key-1";
  const std::string data("line one\n\0binary\xff tail", 22);

  // 1. Sealing from stdin gives the SDK's format (a fresh nonce each time: the same sealing
  //    as the event store's, EventStoreTest).
  const test::ChildRun first = keytool("seal --secret " + secret, data);
  ASSERT_EQ(first.exitCode, 0) << first.err;
  EXPECT_EQ(plaintext(secret, first.out), data);

  // 2. Opening through files restores the exact bytes.
  FileSystem::atomicWrite(dir.path() / "sealed.txt", first.out);
  const auto opened = dir.path() / "opened.bin";
  test::ChildRun run = keytool("open --secret " + secret + " --in " +
                               (dir.path() / "sealed.txt").string() + " --out " + opened.string());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(FileSystem::readFile(opened), data);

  // 3. Refusals, with nothing on stdout: a wrong secret (1; a damaged text fails the same
  //    way: KeyCryptoTest), nothing to seal rather than a valid-looking text (1), usage
  //    errors (2).
  struct Refusal {
    std::string arguments, input;
    int exitCode;
    std::string error;
  };
  for (const Refusal& refusal :
       {Refusal{"open --secret app-key-2", first.out, 1, "cannot decrypt"},
        Refusal{"seal --secret " + secret, "", 1, "input is empty"},
        Refusal{"seal --secret a --secret b", data, 2, "repeated --secret"},
        Refusal{"seal", data, 2, "usage"},
        Refusal{"seal --secret s --colour red", data, 2, "usage"},
        Refusal{"unseal --secret s", data, 2, "usage"}}) {
    run = keytool(refusal.arguments, refusal.input);
    EXPECT_EQ(run.exitCode, refusal.exitCode) << refusal.arguments;
    EXPECT_NE(run.err.find(refusal.error), std::string::npos)
        << refusal.arguments << ": " << run.err;
    EXPECT_EQ(run.out, "") << refusal.arguments;
  }
}

TEST_F(KeyToolTest, KeyFilesAndTokens) {
  const Json config = Json::parse(R"({
    "appKey": "app-key-1", "platform": "ios", "storeId": "123456", "extra": 1,
    "apsSlotUUIDs": [{"type": "banner", "uuid": "slot-1"}]})");
  const auto configPath = dir.path() / "config.json";
  FileSystem::atomicWrite(configPath, config.dump());

  // 1. A valid configuration is sealed with the app key and decodes as the SDK reads it.
  test::ChildRun run = keytool("keyfile --app-key app-key-1 --config " + configPath.string());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto decoded = TiloConfiguration::decode(Json::parse(plaintext("app-key-1", run.out)));
  EXPECT_EQ(decoded, TiloConfiguration::decode(config));

  // 2. A configuration the SDK would reject is not sealed, and every problem is named in
  //    one go: each missing required key, a wrong type, a bad slot.
  Json broken = config;
  for (const char* key : {"storeId", "platform", "appKey"}) broken.erase(key);
  broken["admobKey"] = 7;
  broken["apsSlotUUIDs"].push_back({{"type", "banner"}});
  FileSystem::atomicWrite(configPath, broken.dump());
  const auto keyFile = dir.path() / "ios-tilo-key.txt";
  run = keytool("keyfile --app-key app-key-1 --config " + configPath.string() + " --out " +
                keyFile.string());
  EXPECT_EQ(run.exitCode, 1);
  for (const char* named :
       {"\"storeId\" is missing", "\"platform\" is missing", "\"appKey\" is missing",
        "\"admobKey\" must be a string", "\"apsSlotUUIDs\"[1].uuid is missing"}) {
    EXPECT_NE(run.err.find(named), std::string::npos) << named << " in " << run.err;
  }
  EXPECT_FALSE(FileSystem::exists(keyFile));
  // What only the SDK's decoder knows still stops it.
  Json controlKey = config;
  controlKey["appKey"] = "app\nkey";
  FileSystem::atomicWrite(configPath, controlKey.dump());
  run = keytool("keyfile --app-key app-key-1 --config " + configPath.string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("control character"), std::string::npos) << run.err;
  FileSystem::atomicWrite(configPath, "{\"appKey\": ");
  EXPECT_EQ(keytool("keyfile --app-key k --config " + configPath.string()).exitCode, 1);

  // 3. Plugin tokens carry the capability, "adCashEvent" unless another is named.
  run = keytool("token --app-key app-key-1");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(plaintext("app-key-1", run.out), "adCashEvent");
  run = keytool("token --app-key app-key-1 --capability otherEvent");
  EXPECT_EQ(plaintext("app-key-1", run.out), "otherEvent");
}

TEST_F(KeyToolTest, InitWritesABundleForTheSdkAndTheDevServer) {
  const auto bundle = dir.path() / "games" / "my-game";

  // 1. A new folder gets a bundle the SDK reads (the package test's quick start runs a host
  //    on it against the devserver and exchange it names) with the devserver's app info of
  //    one unit named after each format.
  test::ChildRun run = keytool("init " + bundle.string() + " --app-key my-app-key");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto written = platform::Bundle::atDirectory(bundle);
  // Named after the folder, so two apps made with init never share one container, and
  // the app-open ad greets the app by its name.
  EXPECT_EQ(written->bundleIdentifier(), "com.example.my-game");
  EXPECT_EQ(written->infoValue("CFBundleDisplayName"), platform::PlistValue("my-game"));
  const TiloAppInfo info = TiloAppInfo::decode(
      platform::parseJson(FileSystem::readFile(bundle / "app-info.json").value_or("")));
  // A line banner is a native unit; every other unit's type is its own format.
  std::vector<std::string> units;
  for (const TiloAdUnitItem& unit : info.adUnits)
    units.push_back(unit.tiloAdUnitId + ":" + unit.type);
  EXPECT_EQ(units,
            (std::vector<std::string>{"banner:banner", "mrec:mrec", "interstitial:interstitial",
                                      "rewarded:rewarded", "native:native", "lightPopup:lightPopup",
                                      "lineBanner:native", "appOpen:appOpen"}));
  EXPECT_EQ(devserver::Campaigns::load(bundle / "campaigns.json").campaigns.size(), 3u);

  // 2. An empty folder is fine; one that holds anything, or a file, is refused with what to
  //    do instead, and left as it was.
  //    What it prints works as printed whatever the folder's name: the shell command's
  //    words and the C string are the folder's.
  const auto empty = dir.path() / "it's \"empty\"";
  FileSystem::createDirectories(empty);
  run = keytool("init '" + dir.path().string() + "/it'\\''s \"empty\"' --app-key k");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto at = run.out.find("  tilo-devserver ");
  ASSERT_NE(at, std::string::npos) << run.out;
  const auto words = dir.path() / "words.sh";
  FileSystem::atomicWrite(words, "set -- " +
                                     run.out.substr(at + 17, run.out.find('\n', at) - at - 17) +
                                     "\nprintf '%s\\n' \"$@\"\n");
  const auto printed = dir.path() / "words.txt";
  ASSERT_EQ(std::system(("sh '" + words.string() + "' >'" + printed.string() + "'").c_str()), 0);
  EXPECT_EQ(FileSystem::readFile(printed),
            "--port\n8080\n--app-key\nk\n--app-info\n" + (empty / "app-info.json").string() +
                "\n--campaigns\n" + (empty / "campaigns.json").string() + "\n");
  EXPECT_NE(run.out.find("tilo_set_bundle_directory(\"" + dir.path().string() +
                         "/it's \\\"empty\\\"\");"),
            std::string::npos)
      << run.out;
  const std::string keyFile = FileSystem::readFile(bundle / "ios-tilo-key.txt").value_or("");
  struct Refusal {
    std::string arguments, error;
    int exitCode;
  };
  for (const Refusal& refusal :
       {Refusal{"init " + bundle.string() + " --app-key other", "is not empty", 1},
        Refusal{"init " + (bundle / "Info.plist").string() + " --app-key k", "is not a folder", 1},
        Refusal{"init " + (dir.path() / "new").string(), "--app-key is required", 2},
        Refusal{"init " + (dir.path() / "new").string() + " --app-key 'a b'", "--app-key", 2},
        Refusal{"init --app-key k", "init needs the folder", 2}}) {
    run = keytool(refusal.arguments);
    EXPECT_EQ(run.exitCode, refusal.exitCode) << refusal.arguments;
    EXPECT_NE(run.err.find(refusal.error), std::string::npos) << refusal.arguments << run.err;
    EXPECT_EQ(run.out, "") << refusal.arguments;
  }
  EXPECT_EQ(FileSystem::readFile(bundle / "ios-tilo-key.txt"), keyFile);
  EXPECT_FALSE(FileSystem::exists(dir.path() / "new"));

  // 3. A folder the user cannot write to. Root writes anywhere, so then the tool runs as
  //    nobody.
  const auto readOnly = dir.path() / "read-only";
  FileSystem::createDirectories(readOnly);
  std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
  std::filesystem::permissions(readOnly, std::filesystem::perms(0555));
  const std::string runAs =
      ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  for (const auto& target : {readOnly, readOnly / "inside"}) {
    run = keytool("init " + target.string() + " --app-key k", "", runAs);
    EXPECT_EQ(run.exitCode, 1) << target;
    EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(readOnly));
  std::filesystem::permissions(readOnly, std::filesystem::perms(0755));
}

TEST_F(KeyToolTest, EventsOfAContainer) {
  platform::TestEnvironment environment;
  const auto container = dir.path() / "container";
  const auto plist = container / "Library" / "Preferences" / "com.example.host.plist";

  // 1. No store yet: an empty list.
  FileSystem::createDirectories(container);
  test::ChildRun run = keytool("events --app-key app-key-1 --container " + container.string());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Json::parse(run.out)["count"], 0);

  // 2. The unsent events, in order, in their upload form.
  const std::vector<AdLogEvent> events = {
      AdLogEvent::make(AdLogEventType::adRequest, R"({"adFormat":"banner"})"),
      AdLogEvent::make(AdLogEventType::adClick, R"({"adFormat":"light_poup"})")};
  EventStore(platform::UserDefaults::atPath(plist), "app-key-1").saveEvents(events);
  run = keytool("events --app-key app-key-1 --container " + container.string());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Json listed = Json::parse(run.out);
  EXPECT_EQ(listed["count"], 2);
  EXPECT_EQ(listed["events"], Json::array({events[0].uploadObject(), events[1].uploadObject()}));

  // 3. A wrong key is refused and leaves the store in place.
  run = keytool("events --app-key app-key-2 --container " + container.string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot decrypt"), std::string::npos) << run.err;
  EXPECT_TRUE(platform::UserDefaults::atPath(plist)->string(EventStore::kKey));

  // 4. Two applications in one container need --bundle-id.
  EventStore(platform::UserDefaults::atPath(plist.parent_path() / "com.example.other.plist"),
             "app-key-1")
      .saveEvents({events.data(), 1});
  run = keytool("events --app-key app-key-1 --container " + container.string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("--bundle-id"), std::string::npos) << run.err;
  run = keytool("events --app-key app-key-1 --container " + container.string() +
                " --bundle-id com.example.other");
  EXPECT_EQ(Json::parse(run.out)["count"], 1);
}

}  // namespace
}  // namespace tilo
