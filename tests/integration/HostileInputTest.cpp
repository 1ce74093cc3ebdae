// Every file the SDK reads from the container or the bundle, planted in each hostile
// form, must give its documented outcome: no crash, no memory blow-up (a 100 MB sparse
// file), the host's own preference keys untouched, and nothing that fails again at the next
// start. (A FIFO, a file that cannot be read and the refusals' texts: FileSystemTest, the
// one reader every file goes through.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/ConfigurationError.h"
#include "Tilo/base/TiloConfiguration.h"
#include "Tilo/base/TiloKeyManager.h"
#include "Tilo/entry/TiloService.h"
#include "Tilo/telemetry/AdLoadTracker.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/Bundle.h"
#include "support/BinaryPlist.h"
#include "support/SdkFixture.h"
#include "support/TempDir.h"
#include "telemetry/TelemetryFixture.h"

namespace tilo::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using platform::FileSystem;
using platform::Json;
using platform::PlistValue;

enum class Hostile { truncated, random, outOfRange, nulInString, folder, huge };
constexpr Hostile kEveryForm[] = {Hostile::truncated,   Hostile::random, Hostile::outOfRange,
                                  Hostile::nulInString, Hostile::folder, Hostile::huge};
constexpr const char* kFormNames[] = {"truncated",       "random bytes", "1e999",
                                      "NUL in a string", "folder",       "100 MB"};

// The contents one file takes in the content-based forms.
struct Contents {
  std::string valid;       // cut in half for `truncated`
  std::string outOfRange;  // carries 1e999 where a value is read
  std::string nul;         // carries a NUL inside a string
};

void plant(const fs::path& path, Hostile form, const Contents& contents) {
  fs::remove_all(path);
  fs::create_directories(path.parent_path());
  switch (form) {
    case Hostile::truncated:
    case Hostile::outOfRange:
    case Hostile::nulInString:
      ASSERT_TRUE(FileSystem::atomicWrite(
          path, form == Hostile::truncated    ? contents.valid.substr(0, contents.valid.size() / 2)
                : form == Hostile::outOfRange ? contents.outOfRange
                                              : contents.nul));
      break;
    case Hostile::random: {
      std::mt19937 random(7);
      std::string bytes(300, '\0');
      for (auto& c : bytes) c = static_cast<char>(random());
      ASSERT_TRUE(FileSystem::atomicWrite(path, bytes));
      break;
    }
    case Hostile::folder:
      fs::create_directories(path);
      ASSERT_TRUE(FileSystem::atomicWrite(path / "inside", "x"));
      break;
    case Hostile::huge:  // sparse: costs no disk
      ASSERT_TRUE(FileSystem::atomicWrite(path, ""));
      ASSERT_EQ(::truncate(path.c_str(), 100 << 20), 0);
      break;
  }
}

// A binary property list of one dictionary whose keys and strings are UTF-16, the form in
// which a NUL can be stored (XML has no way to write one).
std::string utf16Plist(const std::vector<std::pair<std::u16string, std::u16string>>& entries) {
  std::vector<std::pair<std::string, std::string>> objects;
  for (const auto& [key, value] : entries) objects.emplace_back(plistUtf16(key), plistUtf16(value));
  return binaryPlist(objects);
}

constexpr auto sealed = &SdkFixture::sealKeyFile;

using HostileInputTest = TelemetryTest;

TEST_F(HostileInputTest, MarkerFolderFilesFailOnceAndNeverAgain) {
  const std::string stamp = std::to_string(platform::now() - 1);
  const std::string tracker =
      R"({"loadingAds":{"unit-1":{"currentPhase":"load","lastUpdate":)" + stamp + "}}}";
  struct Row {
    const char* name;
    Contents contents;
  };
  const Row rows[] = {
      {"tilo_crash_ad_callback.flag",
       {R"({"timestamp":)" + stamp + R"(,"checkpoint":"ad_callback","sessionId":"S1"})",
        R"({"timestamp":1e999,"checkpoint":"ad_callback","sessionId":"S1"})",
        R"({"timestamp":)" + stamp + R"(,"checkpoint":"ad_callback","sessionId":"S\u0000X"})"}},
      {"tilo_crash_ad_tracker.json",
       {tracker, R"({"loadingAds":{"unit-1":{"currentPhase":"load","lastUpdate":1e999}}})",
        R"({"loadingAds":{"unit\u00001":{"currentPhase":"load","lastUpdate":)" + stamp + "}}}"}},
      // Planted beside a valid tracker: it decides the context of that ad-load crash.
      {"tilo_lifecycle.json",
       {R"({"timestamp":)" + stamp + R"(,"state":"background"})",
        R"({"timestamp":1e999,"state":"background"})",
        R"({"timestamp":)" + stamp + R"(,"state":"background","note":"a\u0000b"})"}},
  };
  for (const auto& row : rows) {
    for (Hostile form : kEveryForm) {
      SCOPED_TRACE(std::string(row.name) + " as " + kFormNames[static_cast<int>(form)]);
      const bool lifecycle = std::string(row.name) == "tilo_lifecycle.json";
      // 1. The hostile file (and, for the lifecycle row, a valid tracker).
      FileSystem::createDirectories(markersDirectory());
      if (lifecycle) {
        ASSERT_TRUE(FileSystem::atomicWrite(markerPath("tilo_crash_ad_tracker.json"), tracker));
      }
      plant(markerPath(row.name), form, row.contents);
      const bool decodes = form == Hostile::nulInString;

      // 2. Detection reports only what decodes, and removes the file whatever it was.
      auto reports = detect();
      if (lifecycle) {
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(
            platform::parseJson(reports[0]["payload"]["metadata"].get<std::string>())["context"],
            decodes ? "background_immediate" : "foreground");
        EXPECT_EQ(reports[0]["payload"].contains("lastLifecycleState"), decodes);
      } else {
        // Only the NUL form decodes: a NUL is data inside a string.
        ASSERT_EQ(reports.size(), decodes ? 1u : 0u);
        if (decodes && std::string(row.name).ends_with(".flag")) {
          EXPECT_EQ(reports[0]["sessionId"], std::string("S\0X", 3));
        }
      }
      EXPECT_FALSE(fs::exists(fs::symlink_status(markerPath(row.name))));

      // 3. The next start is clean: nothing left to report, and the SDK's own writes of
      //    the same files work again.
      EXPECT_TRUE(detect().empty());
      markAdCallback("onAdImpression", std::nullopt);
      updateAdLoadPhase("unit-2", "start");
      EXPECT_EQ(readAdLoadTracker()->loadingAds.count("unit-2"), 1u);
      completeAdLoad("unit-2");
      EXPECT_EQ(detect().size(), 1u);
    }
  }
}

TEST_F(HostileInputTest, CachedSdkConfigFallsBackToOffAndIsRewritable) {
  const Contents contents{R"({"enableMarkerCheckpoints":true})",
                          R"({"enableMarkerCheckpoints":1e999})",
                          R"({"enableMarkerCheckpoints":true,"note":"a\u0000b"})"};
  for (Hostile form : kEveryForm) {
    SCOPED_TRACE(kFormNames[static_cast<int>(form)]);
    plant(markerPath("sdkConfig.json"), form, contents);
    EXPECT_EQ(readCachedSdkConfig(),
              form == Hostile::nulInString ? std::optional(SdkConfig{true}) : std::nullopt);
    // A value from the backend replaces whatever was there, a folder included.
    writeCachedSdkConfig(SdkConfig{true});
    EXPECT_EQ(readCachedSdkConfig(), SdkConfig{true});
  }
}

TEST_F(HostileInputTest, PreferencesFileKeepsTheHostsKeys) {
  const fs::path file = container.path() / "prefs.plist";
  const PlistValue::Dictionary hostKeys{{"host.name", "player"}, {"host.volume", 0.8}};
  const Contents contents{PlistValue(hostKeys).toBinary(),
                          "<plist version=\"1.0\"><dict><key>host.name</key><string>player</string>"
                          "<key>host.big</key><real>1e999</real></dict></plist>",
                          utf16Plist({{u"hóst\0key"s, u"á\0b"s}, {u"host.name", u"player"}})};
  const AdLogEvent event = AdLogEvent::make(AdLogEventType::adClick, "{}");
  for (Hostile form : kEveryForm) {
    SCOPED_TRACE(kFormNames[static_cast<int>(form)]);
    plant(file, form, contents);
    struct stat before {};
    ::lstat(file.c_str(), &before);
    const auto reported = logs.count("Failed to read user defaults, keeping changes in memory: ");
    auto defaults = platform::UserDefaults::atPath(file);
    EventStore store(defaults, kTestAppKey);

    // 1. The SDK works either way: what it saves, it loads back in this run.
    ASSERT_TRUE(store.saveEvents(std::span(&event, 1)));
    ASSERT_TRUE(store.saveEvents(std::span(&event, 1)));
    ASSERT_EQ(store.loadSavedEvents().size(), 1u);

    if (form == Hostile::outOfRange || form == Hostile::nulInString) {
      // 2a. A file whose every value comes back unchanged is rewritten with the event and
      //     keeps every host key.
      EXPECT_EQ(defaults->readFailure(), std::nullopt);
      auto root = PlistValue::parse(*FileSystem::readFile(file));
      ASSERT_TRUE(root && root->asDictionary());
      const auto& values = *root->asDictionary();
      EXPECT_TRUE(values.at(EventStore::kKey).asString());
      EXPECT_EQ(values.at("host.name"), PlistValue("player"));
      if (form == Hostile::outOfRange) {
        const double* big = values.at("host.big").asReal();
        EXPECT_TRUE(big && std::isinf(*big));
      } else {
        EXPECT_EQ(values.at("hóst\0key"s), PlistValue("á\0b"s));
      }
      EXPECT_EQ(logs.count("Failed to read user defaults"), reported);
    } else if (form == Hostile::huge) {
      // 2b. A file too large to be read again is kept for the host under another name, and
      //     the SDK starts a fresh one, saying so once.
      const fs::path aside = file.string() + ".too-large";
      EXPECT_EQ(fs::file_size(aside), before.st_size);
      EXPECT_TRUE(platform::UserDefaults::atPath(file)->string(EventStore::kKey));
      EXPECT_EQ(logs.count("User defaults over 4 MB moved aside to " + aside.string() +
                           ", starting a fresh file"),
                1u);
      EXPECT_EQ(logs.count("Failed to read user defaults"), reported);
    } else {
      // 2c. A file that cannot be read, or reads but does not parse, is never written over;
      //     the store says why, and the SDK logs it once however often it writes.
      EXPECT_TRUE(defaults->readFailure());
      struct stat after {};
      ::lstat(file.c_str(), &after);
      EXPECT_EQ(after.st_ino, before.st_ino);
      EXPECT_EQ(after.st_size, before.st_size);
      EXPECT_EQ(logs.count("Failed to read user defaults, keeping changes in memory: "),
                reported + 1);
    }
  }
}

// An entry that does not open, whatever its bytes, is removed with one error line, so it
// cannot fail again at the next start; the host's keys stay. (One that opens but does not
// decode: EventStoreTest.)
TEST_F(HostileInputTest, UndecodableEventStoreEntryIsRemovedOnce) {
  const fs::path file = container.path() / "prefs.plist";
  const std::string valid = sealed(kTestAppKey, "[]");
  FileSystem::atomicWrite(
      file,
      PlistValue(PlistValue::Dictionary{{"host.name", "player"},
                                        {EventStore::kKey, valid.substr(0, valid.size() / 2)}})
          .toBinary());
  EXPECT_TRUE(
      EventStore(platform::UserDefaults::atPath(file), kTestAppKey).loadSavedEvents().empty());
  const auto reread = platform::UserDefaults::atPath(file);
  EXPECT_EQ(reread->string("host.name"), "player");
  EXPECT_FALSE(reread->string(EventStore::kKey));
  EXPECT_EQ(logs.count("⚠️ 이벤트"), 1u);
}

// The line a configuration problem carries ("no error" when there is none).
template <class T>
std::string problemOf(const Result<T, ConfigurationError>& read) {
  return read ? "no error" : read.error()->message();
}

TEST(HostileBundleTest, KeyFileAndInfoPlistAreRefusedWithTheirMessages) {
  TempDir bundle;
  platform::Bundle::setMainBundleDirectory(bundle.path());
  const std::string key = "bundle-app-key";
  const std::string decryptFailure =
      std::string(
          "Failed to decrypt ios-tilo-key.txt, Please verify your ios-tilo-key.txt file "
          "and Tilo App Key at ") +
      kPublisherDashboardUrl;
  const std::string config = R"({"appKey":"k","platform":"ios","storeId":"1"})";
  const std::string sealedConfig = sealed(key, config);
  const Contents keyFile{
      sealedConfig, sealed(key, R"({"appKey":"k","platform":"ios","storeId":1e999})"),
      sealedConfig.substr(0, 10) + std::string(1, '\0') + sealedConfig.substr(10)};
  const std::string unreadable = "loadConfigurationFile: The file \"ios-tilo-key.txt\" couldn't ";
  const std::string expected[] = {
      decryptFailure,
      decryptFailure,
      "loadConfigurationFile: The data couldn't be read because it isn't in the correct format. "
      "(key \"storeId\": expected string, found a number out of range)",
      decryptFailure,
      unreadable + "be opened because it is a folder.",
      unreadable + "be opened because it is larger than 4 MB.",
  };
  for (Hostile form : kEveryForm) {
    SCOPED_TRACE(kFormNames[static_cast<int>(form)]);
    plant(bundle.path() / "ios-tilo-key.txt", form, keyFile);
    EXPECT_EQ(problemOf(readConfigurationFile(key, *platform::Bundle::main())),
              expected[static_cast<int>(form)]);
  }

  // Info.plist: anything but a readable dictionary with a string app key has no key. A
  // NUL inside the key is part of it.
  const Contents info{
      PlistValue(PlistValue::Dictionary{{"TiloAppKey", key}}).toXml(),
      "<plist version=\"1.0\"><dict><key>TiloAppKey</key><real>1e999</real></dict></plist>",
      utf16Plist({{u"TiloAppKey", u"k\0y"s}})};
  for (Hostile form : kEveryForm) {
    SCOPED_TRACE(kFormNames[static_cast<int>(form)]);
    plant(bundle.path() / "Info.plist", form, info);
    auto parsed = platform::Bundle::atDirectory(bundle.path());
    if (form == Hostile::nulInString) {
      EXPECT_EQ(TiloKeyManager::read(*parsed).value()->appKey(), std::string("k\0y", 3));
    } else {
      EXPECT_EQ(problemOf(TiloKeyManager::read(*parsed)), "TiloAppKey not found in Info.plist");
    }
  }
  platform::Bundle::setMainBundleDirectory(std::nullopt);
}

}  // namespace
}  // namespace tilo::test
