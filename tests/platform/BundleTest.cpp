#include "platform/Bundle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace tilo::platform {
namespace {

using test::TempDir;
using namespace std::string_literals;

// Info.plist values and key files are read through the bundle by TiloKeyManagerTest's
// ReadsTheAppKeyFromInfoPlist (a number is not a string, a missing key) and
// LoadConfigurationFileTest's PrefersIosKeyFileAndFallsBack; HostileBundleTest's
// KeyFileAndInfoPlistAreRefusedWithTheirMessages plants every broken form and a folder in a
// key file's place. What no caller of the SDK's own spells: an extension with its dot.
TEST(BundleTest, FindsResourcesByNameAndAnExtensionWithOrWithoutItsDot) {
  TempDir dir;
  ASSERT_TRUE(FileSystem::atomicWrite(dir.path() / "ios-tilo-key.txt", "key"));
  ASSERT_TRUE(FileSystem::atomicWrite(dir.path() / "LICENSE", "text"));
  auto bundle = Bundle::atDirectory(dir.path());
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", "txt"), dir.path() / "ios-tilo-key.txt");
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", ".txt"), dir.path() / "ios-tilo-key.txt");
  EXPECT_EQ(bundle->pathForResource("LICENSE", ""), dir.path() / "LICENSE");
  EXPECT_EQ(bundle->pathForResource("ios-tilo-key", ""), std::nullopt);
}

TEST(BundleTest, MainBundleDirectoryOverrides) {
  TempDir a, b;
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
  EXPECT_EQ(Bundle::main()->directory(), a.path());
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

// Shared objects expand as they are read: without the limits each of these would exhaust
// the stack or memory.
TEST(PlistValueTest, DeepAndSelfMultiplyingListsAreRefused) {
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
  EXPECT_TRUE(PlistValue::parse(twice(kMaxPlistNodes / 2 - 2)));
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
  EXPECT_TRUE(PlistValue::parse(xml(kMaxPlistDepth - 1, true)));
  EXPECT_FALSE(PlistValue::parse(xml(kMaxPlistDepth, true)));
  EXPECT_FALSE(PlistValue::parse(xml(500000, false)));
}

// Every value comes back from both forms, at the sizes where the binary form widens its
// counts, references and offsets; XML keeps whole seconds and has no NUL or other controls. Text
// that is not UTF-8 (a host's XML key may be) is written with U+FFFD, so that the file reads back.
TEST(PlistValueTest, WrittenListsReadBackAsWritten) {
  using Dictionary = PlistValue::Dictionary;
  PlistValue::Array many;
  for (int i = 0; i < 300; ++i) many.emplace_back(i * 1000);
  std::string longText(70000, 'a');
  for (std::size_t i = 0; i < longText.size(); ++i) longText[i] = static_cast<char>('a' + i % 26);
  const double inf = std::numeric_limits<double>::infinity();
  const PlistValue value(
      Dictionary{{"text", "héllo 한국 😀 \t\r\n<&>"},
                 {"ints", PlistValue::Array{0, -1, 255, 256, 65536, std::int64_t{1} << 40,
                                            std::numeric_limits<std::int64_t>::min(),
                                            std::numeric_limits<std::int64_t>::max()}},
                 {"reals", PlistValue::Array{0.1, -0.0, inf, -inf, std::nan(""), 1e308}},
                 {"dates", PlistValue::Array{PlistValue::Date{-1e9}, PlistValue::Date{1582979696}}},
                 {"data", Bytes(20, 0xFE)},
                 {"empty", Dictionary{{"", PlistValue::Array{}}, {"d", Dictionary{}}, {"s", ""}}},
                 {"many", many},
                 {"long", longText},
                 {"nul\0key"s, "a\0b"s}});
  const auto binary = PlistValue::parse(value.toBinary());
  EXPECT_TRUE(binary && *binary == value);
  Dictionary withoutNul = *value.asDictionary();
  withoutNul.erase("nul\0key"s);
  const auto xml = PlistValue::parse(PlistValue(withoutNul).toXml());
  EXPECT_TRUE(xml && *xml == PlistValue(withoutNul));

  const PlistValue fractions(Dictionary{{"d", PlistValue::Date{1e12 + 0.75}},
                                        {"t",
                                         "a\0\x01"
                                         "b"s}});
  EXPECT_EQ(PlistValue::parse(fractions.toBinary()), fractions);
  EXPECT_EQ(PlistValue::parse(fractions.toXml()),
            PlistValue(Dictionary{{"d", PlistValue::Date{253402300799}}, {"t", "a\uFFFD\uFFFDb"}}));

  // Keys take part in the comparison, which the reading back below relies on.
  EXPECT_NE(PlistValue(Dictionary{{"k", 1}}), PlistValue(Dictionary{{"j", 1}}));
  const PlistValue bad(Dictionary{{"k\xFC", "v\xFC"}});
  for (const std::string& bytes : {bad.toBinary(), bad.toXml()}) {
    EXPECT_EQ(PlistValue::parse(bytes), PlistValue(Dictionary{{"k\uFFFD", "v\uFFFD"}})) << bytes;
  }
}

}  // namespace
}  // namespace tilo::platform
