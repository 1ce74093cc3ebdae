#include "platform/AppContainer.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>
#include <thread>
#include <vector>

#include "platform/Application.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/TestEnvironment.h"
#include "support/BinaryPlist.h"
#include "support/TempDir.h"

namespace tilo::platform {
namespace {

using test::TempDir;
using namespace std::string_literals;

TEST(UserDefaultsTest, StringsAndDataRoundTripThroughTheFile) {
  TempDir dir;
  // The folders are made on the first write. (A removal reaching the file: the standard
  // store's test.)
  auto path = dir.path() / "Library" / "Preferences" / "prefs.plist";
  const Bytes blob{0x00, 0xFF, 0x7B, 0x00, 0x10};
  {
    auto defaults = UserDefaults::atPath(path);
    defaults->setString("greeting", "광고 로드 완료 ✅");
    defaults->setData("com.tilo.AdUnit", blob);
    defaults->setData("empty", {});
    // Property-list text is Unicode: invalid UTF-8 is stored with replacement characters.
    defaults->setString("bad", "a\xFF\xC0\xAF\x62");  // 0x62: "b"
  }
  auto fresh = UserDefaults::atPath(path);
  EXPECT_EQ(fresh->string("greeting"), "광고 로드 완료 ✅");
  EXPECT_EQ(fresh->data("com.tilo.AdUnit"), blob);
  EXPECT_EQ(fresh->data("empty"), Bytes{});
  EXPECT_EQ(fresh->string("bad"), "a\uFFFD\uFFFD\uFFFDb");
  // A value of the other type reads as absent.
  EXPECT_EQ(fresh->string("com.tilo.AdUnit"), std::nullopt);
  EXPECT_EQ(fresh->data("greeting"), std::nullopt);
  // The file is a binary property list that other tools can read.
  auto file = FileSystem::readFile(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(file->substr(0, 8), "bplist00");
}

// A binary property list of one dictionary with ASCII keys (fewer than 15 characters, fewer
// than 15 entries); each value is an encoded object, such as "\x53" "a\0b": the ASCII string
// of three characters "a", NUL, "b".
std::string binaryDictionary(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::vector<std::pair<std::string, std::string>> objects;
  for (const auto& [key, value] : entries) objects.emplace_back(test::plistAscii(key), value);
  return test::binaryPlist(objects);
}

std::string xmlPlist(const std::string& entries, const std::string& encoding = "UTF-8") {
  return "<?xml version=\"1.0\" encoding=\"" + encoding +
         "\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>" +
         entries + "</dict>\n</plist>\n";
}

std::string utf16(const std::u16string& text, bool bigEndian, bool mark) {
  std::string out;
  for (char16_t unit : (mark ? u"\uFEFF" : u"") + text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

// Host files in the forms the SDK meets. One whose every value comes back unchanged is
// rewritten in its own form with the SDK's key added; any other is never written, byte for byte,
// while the SDK's key lives in memory, what did parse still reads, and the store says why, once.
TEST(UserDefaultsTest, HostValuesComeBackUnchangedOrTheFileIsNeverWritten) {
  using Dictionary = PlistValue::Dictionary;
  const std::string host = "<key>host</key><string>héllo 한국</string>";
  struct Row {
    const char* name;
    std::string file;
    std::optional<Dictionary> rewritten = std::nullopt;  // the values read back, if rewritten
    bool parses = true;  // "host" reads as "héllo 한국" while the file is not rewritten
  };
  const Row rows[] = {
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + xmlPlist(host),
       Dictionary{{"host", "héllo 한국"}}},
      {"UTF-16 with a byte-order mark",
       utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist version=\"1.0\"><dict>"
             u"<key>host</key><string>héllo 한국 😀</string></dict></plist>",
             false, true),
       Dictionary{{"host", "héllo 한국 😀"}}},
      {"UTF-16 big-endian without a mark",
       utf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><plist version=\"1.0\"><dict>"
             u"<key>host</key><string>héllo</string></dict></plist>",
             true, false),
       Dictionary{{"host", "héllo"}}},
      {"Latin-1 by its declaration",
       xmlPlist("<key>host</key><string>caf\xE9</string>", "ISO-8859-1"),
       Dictionary{{"host", "café"}}},
      {"every type at its limits",
       xmlPlist(host +
                "<key>r</key><real>0.8</real><key>min</key><integer>-9223372036854775808</integer>"
                "<key>max</key><integer>9223372036854775807</integer>"
                "<key>d</key><date>2020-02-29T12:34:56Z</date><key>b</key><data>AAEC\n/w==</data>"
                "<key>t</key><true/><key>e</key><string/><key>x</key><string>&lt;&#233;&#x1F600;"
                "<![CDATA[&]]></string><key>a</key><array><false/><dict/></array>"),
       Dictionary{{"host", "héllo 한국"},
                  {"r", 0.8},
                  {"min", std::numeric_limits<std::int64_t>::min()},
                  {"max", std::numeric_limits<std::int64_t>::max()},
                  {"d", PlistValue::Date{1582979696}},
                  {"b", Bytes{0, 1, 2, 0xFF}},
                  {"t", true},
                  {"e", ""},
                  {"x", "<é😀&"},
                  {"a", PlistValue::Array{false, Dictionary{}}}}},
      {"UTF-16 and ASCII text with a NUL, a key with a NUL",
       binaryDictionary({{"host", "\x63" + utf16(u"á\0b"s, true, false)},
                         {"k", "\x63" + utf16(u"a\0b"s, true, false)},
                         {"n", "\x53\x61\0b"s},  // "a", NUL, "b"
                         {"a\0b"s, "\x09"}}),
       Dictionary{{"host", "á\0b"s}, {"k", "a\0b"s}, {"n", "a\0b"s}, {"a\0b"s, true}}},
      {"an integer below 64 bits",
       xmlPlist(host + "<key>n</key><integer>-9223372036854775809</integer>")},
      {"2^64", xmlPlist(host + "<key>n</key><integer>18446744073709551616</integer>")},
      {"an integer with letters", xmlPlist(host + "<key>n</key><integer>12abc</integer>")},
      {"a date in another form", xmlPlist(host + "<key>d</key><date>soon</date>")},
      {"a date with fractions", xmlPlist(host + "<key>d</key><date>2020-01-01T00:00:00.5Z</date>")},
      {"a key twice", xmlPlist(host + "<key>k</key><true/><key>k</key><false/>")},
      {"a carriage return", xmlPlist(host + "<key>k</key><string>a\r\nb</string>")},
      {"Latin-1 without a declaration", xmlPlist(host + "<key>k</key><string>caf\xE9</string>")},
      {"a key that is not UTF-8", xmlPlist(host + "<key>\xAA</key><string>a</string>")},
      {"a binary key twice",
       binaryDictionary(
           {{"host", "\x68" + utf16(u"héllo 한국", true, false)}, {"k", "\x09"}, {"k", "\x08"}})},
      {"a 128-bit integer",
       binaryDictionary({{"host", "\x68" + utf16(u"héllo 한국", true, false)},
                         {"n", "\x14" + std::string(7, '\0') + "\x01" + std::string(8, '\0')}})},
      {"a UID",
       binaryDictionary({{"host", "\x68" + utf16(u"héllo 한국", true, false)}, {"u", "\x80\x01"}})},
      {"an encoding the SDK cannot read", xmlPlist(host, "Shift_JIS"), std::nullopt, false},
      {"&#0;", xmlPlist(host + "<key>k</key><string>a&#0;b</string>"), std::nullopt, false},
      {"not a dictionary", "<plist version=\"1.0\"><array/></plist>", std::nullopt, false},
      // Random bytes and truncated lists: HostileInputTest's PreferencesFileKeepsTheHostsKeys;
      // nesting past the limit: PlistValueTest.
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    const auto path = dir.path() / "prefs.plist";
    ASSERT_TRUE(FileSystem::atomicWrite(path, row.file));
    auto defaults = UserDefaults::atPath(path);
    defaults->setString("tilo_key", "sdk");
    EXPECT_EQ(defaults->string("tilo_key"), "sdk");
    if (row.rewritten) {
      EXPECT_EQ(defaults->readFailure(), std::nullopt);
      Dictionary expected = *row.rewritten;
      expected.emplace("tilo_key", "sdk");
      const auto file = *FileSystem::readFile(path);
      EXPECT_EQ(PlistValue::parse(file), PlistValue(expected));
      // Binary stays binary, XML stays XML.
      EXPECT_EQ(file.starts_with("bplist00"), row.file.starts_with("bplist00"));
    } else {
      EXPECT_EQ(FileSystem::readFile(path), row.file);
      EXPECT_EQ(defaults->string("host"),
                row.parses ? std::optional<std::string>("héllo 한국") : std::nullopt);
      EXPECT_NE(defaults->takeReadFailureReport(), std::nullopt);
      EXPECT_EQ(defaults->takeReadFailureReport(), std::nullopt);
    }
  }

  // An empty file holds nothing to lose: it is replaced.
  TempDir dir;
  const auto path = dir.path() / "prefs.plist";
  ASSERT_TRUE(FileSystem::atomicWrite(path, ""));
  UserDefaults::atPath(path)->setString("key", "value");
  EXPECT_EQ(UserDefaults::atPath(path)->string("key"), "value");
}

TEST(UserDefaultsTest, FileOverTheReadCapMovesAsideAndWritesStayUnderIt) {
  TempDir dir;
  const auto path = dir.path() / "prefs.plist";
  auto plantHuge = [&] {  // sparse: costs no disk
    ASSERT_TRUE(FileSystem::atomicWrite(path, ""));
    ASSERT_EQ(::truncate(path.c_str(), FileSystem::kMaxReadSize + 1), 0);
  };
  // 1. The file is kept for the host under another name and a fresh file takes its place
  //    (the same file moved, the fresh one holding the SDK's key, reported once, no read
  //    failure: HostileInputTest's PreferencesFileKeepsTheHostsKeys).
  plantHuge();
  auto defaults = UserDefaults::atPath(path);
  defaults->setString("key", "value");

  // 2. The next one gets a name of its own; the first stays.
  plantHuge();
  defaults = UserDefaults::atPath(path);
  EXPECT_EQ(defaults->string("key"), std::nullopt);
  EXPECT_EQ(defaults->takeMovedAsideReport(), dir.path() / "prefs.plist.too-large-2");
  EXPECT_TRUE(FileSystem::exists(dir.path() / "prefs.plist.too-large"));

  // 3. A write that would take the file over the cap is not made: the change lives in
  //    memory, and the next write that fits stores everything again.
  defaults->setString("key", "value");
  defaults->setData("blob", Bytes(FileSystem::kMaxReadSize, 0x5A));
  EXPECT_EQ(defaults->data("blob")->size(), FileSystem::kMaxReadSize);
  EXPECT_EQ(defaults->takeWriteFailureReport(), "it would grow over 4 MB");
  EXPECT_EQ(UserDefaults::atPath(path)->data("blob"), std::nullopt);
  defaults->setData("blob", Bytes(100, 0x5A));
  EXPECT_EQ(UserDefaults::atPath(path)->data("blob"), Bytes(100, 0x5A));
}

TEST(UserDefaultsTest, ConcurrentWritersLoseNothing) {
  TempDir dir;
  auto path = dir.path() / "prefs.plist";
  auto defaults = UserDefaults::atPath(path);
  auto key = [](int t, int i) { return "k" + std::to_string(t) + "_" + std::to_string(i); };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) defaults->setString(key(t, i), std::to_string(i));
    });
  }
  for (auto& thread : threads) thread.join();
  auto fresh = UserDefaults::atPath(path);
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 50; ++i) ASSERT_EQ(fresh->string(key(t, i)), std::to_string(i));
  }
}

// The standard store gathers the changes of its write delay into one write, and writes
// what is pending at once when the application enters the background or the store goes.
TEST(UserDefaultsTest, StandardLivesInTheContainerPreferencesAndGathersWrites) {
  TestEnvironment env;
  TempDir bundle, container;
  ASSERT_TRUE(FileSystem::atomicWrite(
      bundle.path() / "Info.plist",
      PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.example.app"}}).toBinary()));
  Bundle::setMainBundleDirectory(bundle.path());
  AppContainer::setPath(container.path());
  auto onDisk = [&](const char* key) {
    auto path = container.path() / "Library" / "Preferences" / "com.example.app.plist";
    return UserDefaults::atPath(path)->string(key);
  };
  UserDefaults::standard()->setString("com.tilo.AdUnit", "x");
  env.advance(UserDefaults::kWriteDelay / 2);
  UserDefaults::standard()->setString("second", "y");
  EXPECT_EQ(onDisk("com.tilo.AdUnit"), std::nullopt);
  // Both changes in the one write made a delay after the first.
  env.advance(UserDefaults::kWriteDelay / 2);
  EXPECT_EQ(onDisk("com.tilo.AdUnit"), "x");
  EXPECT_EQ(onDisk("second"), "y");

  UserDefaults::standard()->setString("second", "z");
  Application::shared().setState(ApplicationState::background);
  EXPECT_EQ(onDisk("second"), "z");
  UserDefaults::standard()->removeObject("second");
  EXPECT_EQ(onDisk("second"), std::nullopt);
  Application::shared().setState(ApplicationState::active);

  // A lazy removal waits for the next change's write, which comes no later for it...
  UserDefaults::standard()->setString("sent", "events");
  env.advance(UserDefaults::kWriteDelay);
  UserDefaults::standard()->removeObjectLazily("sent");
  env.advance(UserDefaults::kLazyWriteDelay / 2);
  EXPECT_EQ(onDisk("sent"), "events");
  UserDefaults::standard()->setString("next", "1");
  env.advance(UserDefaults::kWriteDelay);
  EXPECT_EQ(onDisk("next"), "1");
  EXPECT_EQ(onDisk("sent"), std::nullopt);
  // ...or is written on its own once its delay ends (or with what is pending when the
  // application enters the background, as above).
  UserDefaults::standard()->removeObjectLazily("next");
  env.advance(UserDefaults::kLazyWriteDelay - 1);
  EXPECT_EQ(onDisk("next"), "1");
  env.advance(1);
  EXPECT_EQ(onDisk("next"), std::nullopt);

  // Another container gets its own store; the one it replaces writes what it still held.
  UserDefaults::standard()->setString("last", "w");
  TempDir other;
  AppContainer::setPath(other.path());
  EXPECT_EQ(UserDefaults::standard()->string("com.tilo.AdUnit"), std::nullopt);
  EXPECT_EQ(onDisk("last"), "w");
  AppContainer::setPath(std::nullopt);
  Bundle::setMainBundleDirectory(std::nullopt);
}

}  // namespace
}  // namespace tilo::platform
