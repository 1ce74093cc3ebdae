#include "platform/Bundle.h"

#include <gtest/gtest.h>

#include <plist/plist.h>

#include <algorithm>
#include <cmath>

#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace tilo::platform {
namespace {

using test::TempDir;

constexpr const char* kInfoXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <key>CFBundleIdentifier</key><string>com.example.game</string>
  <key>TiloAppKey</key><integer>42</integer>
  <key>TiloAdsKey</key><string>app-key-123</string>
  <key>Offset</key><integer>-7</integer>
  <key>Ratio</key><real>0.25</real>
  <key>Enabled</key><true/>
  <key>Blob</key><data>AAH/</data>
  <key>Built</key><date>2024-01-02T03:04:05Z</date>
  <key>Nested</key><dict><key>List</key><array><string>a</string><integer>2</integer></array></dict>
</dict>
</plist>
)";

void expectInfoValues(const Bundle& bundle) {
  EXPECT_EQ(bundle.bundleIdentifier(), "com.example.game");
  // A number is not a string: callers looking for a string key must not get one.
  auto appKey = bundle.infoValue("TiloAppKey");
  ASSERT_TRUE(appKey);
  EXPECT_EQ(appKey->asString(), nullptr);
  EXPECT_EQ(*appKey->asInteger(), 42);
  EXPECT_EQ(*bundle.infoValue("TiloAdsKey")->asString(), "app-key-123");
  EXPECT_EQ(*bundle.infoValue("Offset")->asInteger(), -7);
  EXPECT_EQ(*bundle.infoValue("Ratio")->asReal(), 0.25);
  EXPECT_TRUE(*bundle.infoValue("Enabled")->asBool());
  EXPECT_EQ(*bundle.infoValue("Blob")->asData(), (Bytes{0x00, 0x01, 0xFF}));
  EXPECT_EQ(bundle.infoValue("Built")->asDate()->secondsSince1970, 1704164645.0);
  auto nested = bundle.infoValue("Nested");
  ASSERT_TRUE(nested && nested->asDictionary());
  const auto& list = *nested->asDictionary()->at("List").asArray();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(*list[0].asString(), "a");
  EXPECT_EQ(*list[1].asInteger(), 2);
  EXPECT_EQ(bundle.infoValue("Missing"), std::nullopt);
}

TEST(BundleTest, ReadsXmlAndBinaryInfoPlist) {
  TempDir xml, binary;
  ASSERT_TRUE(FileSystem::atomicWrite(xml.path() / "Info.plist", kInfoXml));
  auto fromXml = Bundle::atDirectory(xml.path());
  expectInfoValues(*fromXml);

  // Re-encoded as a binary plist, every value survives.
  auto root = PlistValue::parse(kInfoXml);
  ASSERT_TRUE(root);
  std::string bytes = root->toBinary();
  ASSERT_EQ(bytes.substr(0, 8), "bplist00");
  ASSERT_TRUE(FileSystem::atomicWrite(binary.path() / "Info.plist", bytes));
  expectInfoValues(*Bundle::atDirectory(binary.path()));
}

TEST(BundleTest, MissingOrBrokenInfoPlistHasNoValues) {
  TempDir dir;
  EXPECT_EQ(Bundle::atDirectory(dir.path())->bundleIdentifier(), std::nullopt);
  for (std::string broken : {std::string("<plist><dict><key>CFBundleIdentifier</key>"),
                             std::string("bplist00\xff\xff", 10), std::string("[1, 2]")}) {
    ASSERT_TRUE(FileSystem::atomicWrite(dir.path() / "Info.plist", broken));
    auto bundle = Bundle::atDirectory(dir.path());
    EXPECT_EQ(bundle->bundleIdentifier(), std::nullopt);
    EXPECT_EQ(bundle->infoValue("TiloAppKey"), std::nullopt);
  }
}

TEST(BundleTest, FindsResourcesByNameAndExtension) {
  TempDir dir;
  ASSERT_TRUE(FileSystem::atomicWrite(dir.path() / "ios-tilo-key.txt", "key"));
  ASSERT_TRUE(FileSystem::atomicWrite(dir.path() / "LICENSE", "text"));
  ASSERT_TRUE(FileSystem::createDirectories(dir.path() / "tilo-key.txt"));
  auto bundle = Bundle::atDirectory(dir.path());
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", "txt"), dir.path() / "ios-tilo-key.txt");
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", ".txt"), dir.path() / "ios-tilo-key.txt");
  EXPECT_EQ(bundle->pathForResource("LICENSE", ""), dir.path() / "LICENSE");
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", "json"), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", ""), std::nullopt);
  // A folder is found too: reading it is what fails, with a reason the caller reports.
  EXPECT_EQ(bundle->pathForResource("tilo-key", "txt"), dir.path() / "tilo-key.txt");
}

TEST(BundleTest, MainBundleDirectoryOverrides) {
  TempDir a, b;
  ASSERT_TRUE(FileSystem::atomicWrite(
      a.path() / "Info.plist",
      PlistValue(PlistValue::Dictionary{{"CFBundleIdentifier", "com.example.a"}}).toXml()));
  std::optional<std::string> saved;
  if (const char* value = std::getenv("TILO_BUNDLE_DIR")) saved = value;
  // 1. Without overrides the main bundle is the executable's folder.
  ::unsetenv("TILO_BUNDLE_DIR");
  Bundle::setMainBundleDirectory(std::nullopt);
  EXPECT_EQ(Bundle::main()->directory(),
            std::filesystem::read_symlink("/proc/self/exe").parent_path());
  // 2. The environment, then the in-code override.
  ::setenv("TILO_BUNDLE_DIR", a.path().c_str(), 1);
  Bundle::setMainBundleDirectory(std::nullopt);
  EXPECT_EQ(Bundle::main()->bundleIdentifier(), "com.example.a");
  Bundle::setMainBundleDirectory(b.path());
  EXPECT_EQ(Bundle::main()->directory(), b.path());
  saved ? ::setenv("TILO_BUNDLE_DIR", saved->c_str(), 1) : ::unsetenv("TILO_BUNDLE_DIR");
  Bundle::setMainBundleDirectory(std::nullopt);
}

// A "bplist00" file whose object i is an array of the references `children(i)`; object
// 0 is the top. Four-byte offsets and references.
template <class Children>
std::string binaryArrays(std::uint32_t count, Children children) {
  auto be = [](std::string& out, std::uint64_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
      out += static_cast<char>(value >> shift);
  };
  std::string out = "bplist00";
  std::vector<std::uint32_t> offsets;
  for (std::uint32_t i = 0; i < count; ++i) {
    offsets.push_back(static_cast<std::uint32_t>(out.size()));
    const std::vector<std::uint32_t> refs = children(i);
    if (refs.size() < 15) {
      out += static_cast<char>(0xA0 | refs.size());
    } else {
      out += "\xAF\x12";
      be(out, refs.size(), 4);
    }
    for (auto ref : refs) be(out, ref, 4);
  }
  const std::uint64_t table = out.size();
  for (auto offset : offsets) be(out, offset, 4);
  out += std::string(6, '\0') + "\x04\x04";
  be(out, count, 8);
  be(out, 0, 8);
  be(out, table, 8);
  return out;
}

// libplist parses recursively and copies shared objects: without the limits each of
// these would crash it or run for hours.
TEST(PlistValueTest, DeepAndSelfMultiplyingListsAreRefusedBeforeParsing) {
  auto chain = [](std::uint32_t depth) {
    return binaryArrays(depth, [depth](std::uint32_t i) {
      return i + 1 < depth ? std::vector<std::uint32_t>{i + 1} : std::vector<std::uint32_t>{};
    });
  };
  // 1. Binary nesting: at the limit it parses, to the innermost array.
  auto parsed = PlistValue::parse(chain(kMaxPlistDepth));
  ASSERT_TRUE(parsed);
  const PlistValue* inner = &*parsed;
  for (std::size_t level = 1; level < kMaxPlistDepth; ++level) inner = &inner->asArray()->at(0);
  EXPECT_TRUE(inner->asArray()->empty());
  EXPECT_FALSE(PlistValue::parse(chain(kMaxPlistDepth + 1)));
  EXPECT_FALSE(PlistValue::parse(chain(200000)));
  // 2. Sharing: 10 levels of [next, next] expand to 2047 nodes, 40 levels to 2^41.
  auto doubling = [](std::uint32_t levels) {
    return binaryArrays(levels, [levels](std::uint32_t i) {
      return i + 1 < levels ? std::vector<std::uint32_t>{i + 1, i + 1}
                            : std::vector<std::uint32_t>{};
    });
  };
  EXPECT_EQ(PlistValue::parse(doubling(11))->asArray()->size(), 2u);
  EXPECT_FALSE(PlistValue::parse(doubling(40)));
  // Also when the last reference to a big shared object is what passes the limit.
  auto twice = [](std::uint32_t width) {
    return binaryArrays(3, [width](std::uint32_t i) {
      return i == 0   ? std::vector<std::uint32_t>{1, 1}
             : i == 1 ? std::vector<std::uint32_t>(width, 2)
                      : std::vector<std::uint32_t>{};
    });
  };
  EXPECT_TRUE(PlistValue::withinLimits(twice(kMaxPlistNodes / 2 - 2)));
  EXPECT_FALSE(PlistValue::parse(twice(kMaxPlistNodes / 2)));
  // 3. A cycle and a reference past the end are broken structure.
  EXPECT_FALSE(PlistValue::parse(
      binaryArrays(1, [](std::uint32_t) { return std::vector<std::uint32_t>{0}; })));
  EXPECT_FALSE(PlistValue::parse(
      binaryArrays(1, [](std::uint32_t) { return std::vector<std::uint32_t>{9}; })));
  // 4. XML nesting, closed or not.
  auto xml = [](std::size_t depth, bool closed) {
    std::string text = "<plist version=\"1.0\">";
    for (std::size_t i = 0; i < depth; ++i) text += "<array>";
    text += "<array/>";
    for (std::size_t i = 0; closed && i < depth; ++i) text += "</array>";
    return text + "</plist>";
  };
  EXPECT_TRUE(PlistValue::parse(xml(kMaxPlistDepth, true)));
  EXPECT_FALSE(PlistValue::parse(xml(kMaxPlistDepth + 1, true)));
  EXPECT_FALSE(PlistValue::parse(xml(500000, false)));
}

// A key that is not UTF-8 (a host's XML file may hold one) is written as a string is:
// libplist would write a binary list that it cannot read back. A date beyond the 32-bit
// seconds libplist takes is written as the nearest one it can hold.
TEST(PlistValueTest, WrittenListsReadBackWhenKeysAreNotUtf8OrDatesOutOfRange) {
  const PlistValue value(PlistValue::Dictionary{{"k\xFC", "v\xFC"}});
  for (const std::string& bytes : {value.toBinary(), value.toXml()}) {
    const auto back = PlistValue::parse(bytes);
    ASSERT_TRUE(back && back->asDictionary()) << bytes;
    EXPECT_EQ(*back->asDictionary(), (PlistValue::Dictionary{{"k\uFFFD", "v\uFFFD"}}));
  }
  constexpr double k2001 = 978307200;
  for (double seconds : {1e12, -1e12, k2001 + 2147483647.5, std::nan("")}) {
    const PlistValue date(PlistValue::Dictionary{{"d", PlistValue::Date{seconds}}});
    const auto back = PlistValue::parse(date.toBinary());
    ASSERT_TRUE(back && back->asDictionary()) << seconds;
    const auto* read = back->asDictionary()->at("d").asDate();
    ASSERT_TRUE(read) << seconds;
    EXPECT_EQ(read->secondsSince1970, k2001 + (seconds < 0 ? -2147483648.0 : 2147483647.0))
        << seconds;
  }
}

// Long ASCII text is kept out of libplist's tree and spliced into what it writes: the file
// must be the very bytes libplist writes for the same dictionary, whatever the offset
// width the text makes the file need, and read back as written after removals.
TEST(PlistValueTest, LongTextWrittenBesideLibplistGivesItsExactBytes) {
  auto text = [](std::size_t size, char first) {
    std::string out(size, 'A');
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(first + i % 26);
    return out;
  };
  for (std::size_t size : {std::size_t{64} << 10, std::size_t{300} << 10, std::size_t{70000}}) {
    PlistDocument document;
    plist_t reference = plist_new_dict();
    auto both = [&](const std::string& key, const PlistValue& value) {
      document.set(key, value);
      plist_dict_set_item(reference, key.c_str(), value.toNode());
    };
    both("host", PlistValue("small"));
    both("tilo_saved_ad_events", PlistValue(text(size, 'a')));
    both("count", PlistValue(std::int64_t{1} << 40));
    both("com.tilo.AdUnit", PlistValue(Bytes(300, 0x5A)));
    both("second", PlistValue(text(size / 2, 'A')));
    char* buffer = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(reference, &buffer, &length);
    const std::string expected(buffer, length);
    plist_to_bin_free(buffer);
    plist_free(reference);
    // Compared by size and first differing byte: the files are too long to print.
    const std::string written = document.toBinary();
    const auto differ =
        std::mismatch(written.begin(), written.end(), expected.begin(), expected.end());
    EXPECT_EQ(written.size(), expected.size()) << size;
    EXPECT_EQ(differ.first - written.begin(), static_cast<std::ptrdiff_t>(expected.size())) << size;

    document.remove("tilo_saved_ad_events");
    document.set("second", PlistValue(text(size, 'B')));
    const auto back = PlistValue::parse(document.toBinary());
    ASSERT_TRUE(back && back->asDictionary()) << size;
    const auto& values = *back->asDictionary();
    EXPECT_EQ(values.count("tilo_saved_ad_events"), 0u);
    EXPECT_EQ(values.at("second"), PlistValue(text(size, 'B')));
    EXPECT_EQ(values.at("host"), PlistValue("small"));
    EXPECT_EQ(document.value("second"), PlistValue(text(size, 'B')));
  }
}

}  // namespace
}  // namespace tilo::platform
