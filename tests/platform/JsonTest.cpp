#include "platform/Json.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace tilo::platform {
namespace {

template <class F>
DecodingError decodingErrorOf(F&& f) {
  try {
    f();
  } catch (const DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "no DecodingError";
  return DecodingError(DecodingError::Kind::dataCorrupted, "none");
}

using Kind = DecodingError::Kind;
template <class F>
Kind kindOf(F&& f) {
  return decodingErrorOf(f).kind();
}

TEST(JsonTest, ErrorsNameTheKeyAndTheProblem) {
  const Json json = parseJson(R"({"platform":"ios","refreshInterval":"60","n":null,"f":3.5})");
  const std::string missing = "The data couldn't be read because it is missing. (";
  const std::string wrong = "The data couldn't be read because it isn't in the correct format. (";
  const std::tuple<std::function<void()>, Kind, std::string> cases[] = {
      {[&] { required<std::string>(json, "storeId"); }, Kind::keyNotFound,
       missing + "key \"storeId\" not found)"},
      {[&] { required<double>(json, "refreshInterval"); }, Kind::typeMismatch,
       wrong + "key \"refreshInterval\": expected number, found string)"},
      {[&] { required<std::string>(json, "n"); }, Kind::valueNotFound,
       missing + "key \"n\": expected string, found null)"},
      {[&] { requiredValue(json, "n"); }, Kind::valueNotFound,
       missing + "key \"n\": expected value, found null)"},
      {[&] { requireObject(parseJson("[1]")); }, Kind::typeMismatch,
       wrong + "expected object, found array)"},
      {[&] { requireArray(json["f"], "f"); }, Kind::typeMismatch,
       wrong + "key \"f\": expected array, found number)"}};
  for (const auto& [call, kind, text] : cases) {
    const auto error = decodingErrorOf(call);
    EXPECT_EQ(std::pair(error.kind(), std::string(error.what())), std::pair(kind, text));
  }
}

TEST(JsonTest, InvalidTextIsDataCorrupted) {
  // Out-of-range numbers in a non-value position are still syntax errors; a raw NUL is one.
  const std::string deep(1 << 20, '[');
  const std::string_view nul("{\"s\":\"a\0b\"}", 10);
  const std::string_view texts[] = {"",          "{",       "{\"a\":1} x", "{'a':1}", "[1,]", "NaN",
                                    "{1e999:1}", "1e999 1", "[1e999,]",    deep,      nul};
  for (std::string_view text : texts) {
    const auto error = decodingErrorOf([&] { parseJson(text); });
    EXPECT_EQ(error.kind(), Kind::dataCorrupted) << text.substr(0, 20);
    EXPECT_TRUE(error.localizedDescription().starts_with(
        "The data couldn't be read because it isn't in the correct format. (invalid JSON: "))
        << error.localizedDescription();
  }
}

TEST(JsonTest, NumberTypesOptionalAndLenientReads) {
  const Json json = parseJson(
      R"({"i":42,"neg":-7,"f":3.0,"half":3.5,"big":1e300,"huge":18446744073709551615,"b":true})");
  EXPECT_EQ((std::tuple{required<double>(json, "i"), required<double>(json, "half"),
                        required<std::int64_t>(json, "i"), required<std::int64_t>(json, "neg"),
                        required<std::int64_t>(json, "f"), required<bool>(json, "b")}),
            (std::tuple{42.0, 3.5, std::int64_t{42}, std::int64_t{-7}, std::int64_t{3}, true}));
  for (const char* key : {"half", "big", "huge", "b"}) {
    EXPECT_EQ(kindOf([&] { required<std::int64_t>(json, key); }), Kind::typeMismatch) << key;
  }
  EXPECT_EQ(kindOf([&] { required<bool>(json, "i"); }), Kind::typeMismatch);

  const Json fields = parseJson(R"({"url":"https://x","none":null,"interval":"soon","cfg":"x"})");
  using Text = std::optional<std::string>;
  EXPECT_EQ(
      (std::tuple{optional<std::string>(fields, "url"), optional<std::string>(fields, "missing"),
                  optional<std::string>(fields, "none"), lenient<std::string>(fields, "url"),
                  lenient<std::string>(parseJson("[]"), "url")}),
      (std::tuple{Text("https://x"), Text(), Text(), Text("https://x"), Text()}));
  EXPECT_EQ(kindOf([&] { optional<double>(fields, "interval"); }), Kind::typeMismatch);
  EXPECT_EQ(lenient<double>(fields, "interval"), std::nullopt);
  EXPECT_EQ(optional<Json>(fields, "cfg"), Json("x"));
  EXPECT_EQ(kindOf([&] { required<std::string>(parseJson("5"), "url"); }), Kind::typeMismatch);
  // A cap on entries: exactly that many pass, one more is corrupted data.
  EXPECT_NO_THROW(requireAtMost(parseJson("[1,2]"), 2, "list"));
  EXPECT_EQ(kindOf([&] { requireAtMost(parseJson("[1,2,3]"), 2, "list"); }), Kind::dataCorrupted);
}

TEST(JsonTest, HostileNumbersAndNestingFailOnlyAsDecodingErrors) {
  // 1. A number beyond double's range fails where it is read; the rest of the document
  //    and lenient fields survive. Integers beyond 64 bits are not integers.
  const Json json =
      parseJson(R"({"rate":1e999,"low":-1e400,"tiny":1e-400,"wide":123456789012345678901234567890,)"
                R"("list":[1E999],"ok":"x"})");
  for (const char* key : {"rate", "low"}) {
    const auto error = decodingErrorOf([&] { required<double>(json, key); });
    EXPECT_EQ(error.kind(), Kind::dataCorrupted) << key;
    EXPECT_NE(error.localizedDescription().find("out of range"), std::string::npos);
    EXPECT_EQ(lenient<double>(json, key), std::nullopt);
  }
  EXPECT_EQ(kindOf([&] { required<std::int64_t>(json, "wide"); }), Kind::typeMismatch);
  EXPECT_EQ(required<double>(json, "tiny"), 0.0);
  EXPECT_EQ(required<std::string>(json, "ok"), "x");
  // Nor does it pass for a string, nor for what a hostile text could spell.
  EXPECT_EQ(kindOf([&] { required<std::string>(json, "rate"); }), Kind::dataCorrupted);
  EXPECT_EQ(required<std::string>(parseJson(R"({"s":"out-of-range 1e999"})"), "s"),
            "out-of-range 1e999");
  // However many there are: each one is a value that fails, the rest decodes.
  std::string hundred = R"({"ok":"x")";
  for (int i = 0; i < 100; ++i)
    hundred += ",\"n" + std::to_string(i) + (i % 2 ? "\":1e999" : "\":-1E400");
  const Json numbers = parseJson(hundred + "}");
  EXPECT_EQ(numbers.size(), 101u);
  EXPECT_EQ(lenient<double>(numbers, "n98"), std::nullopt);
  EXPECT_EQ(lenient<double>(numbers, "n99"), std::nullopt);
  EXPECT_EQ(required<std::string>(numbers, "ok"), "x");

  // 2. Nesting is capped, so no later recursive walk can exhaust the stack.
  const std::string deep(kMaxJsonDepth + 1, '[');
  EXPECT_EQ(kindOf([&] { parseJson(deep + std::string(kMaxJsonDepth + 1, ']')); }),
            Kind::dataCorrupted);
  const std::string allowed(kMaxJsonDepth, '[');
  EXPECT_TRUE(parseJson(allowed + std::string(kMaxJsonDepth, ']')).is_array());

  // 3. An escaped NUL inside a string is data, not the end of it.
  EXPECT_EQ(required<std::string>(parseJson(R"({"s":"a\u0000b"})"), "s"), std::string("a\0b", 3));
  // A surrogate pair is one character, and the text after it is kept.
  EXPECT_EQ(required<std::string>(parseJson(R"({"s":"\uD83D\uDE00ab"})"), "s"), "\U0001F600ab");

  // 4. Keys are capped per document, counted at every level: half the cap of entries with
  //    one inner key each parses, one key more does not.
  std::string many = "{";
  for (std::size_t i = 0; i < kMaxJsonKeys / 2; ++i) {
    many += (i == 0 ? "\"" : ",\"") + std::to_string(i) + "\":{\"k\":1}";
  }
  EXPECT_EQ(parseJson(many + "}").size(), kMaxJsonKeys / 2);
  const auto error = decodingErrorOf([&] { parseJson(many + ",\"x\":1}"); });
  EXPECT_EQ(error.kind(), Kind::dataCorrupted);
  EXPECT_NE(error.localizedDescription().find("more than 100000 keys"), std::string::npos);

  // 5. Of two equal keys the last value wins, in small objects and in large ones; kept in
  //    order, at the place of the first.
  EXPECT_EQ(parseJson(R"({"k":1,"a":2,"k":3})"), ParsedJson({{"a", 2}, {"k", 3}}));
  EXPECT_EQ(dumpCompact(parseJsonKeepingOrder(R"({"k":1,"a":2,"k":3})")), R"({"k":3,"a":2})");
  std::string members;
  ParsedJson expected = ParsedJson::object();
  for (int i = 99; i >= 0; --i) {
    members += ",\"" + std::to_string(i) + "\":" + std::to_string(i);
    expected[std::to_string(i)] = i;
  }
  expected["k"] = "last";
  const std::string large = R"({"k":"first")" + members + R"(,"k":"last"})";
  EXPECT_EQ(parseJson(large), expected);
  EXPECT_EQ(dumpCompact(parseJsonKeepingOrder(large)), R"({"k":"last")" + members + "}");
}

// Shortest doubles, escapes and a built document's order as the telemetry writer has them:
// JsonWriterTest's WritesWhatTheCompactDumpWrites.
TEST(JsonTest, DumpCompactKeepsOrderUtf8AndShortestDoubles) {
  // parseJson keeps values, not the order of keys; parseJsonKeepingOrder keeps it.
  const std::string text =
      R"({"zeta":1,"alpha":[true,null],"ü":"한국어 🎉","rate":0.15,"tiny":1e-05})";
  EXPECT_EQ(dumpCompact(parseJsonKeepingOrder(text)), text);
  EXPECT_EQ(dumpCompact(parseJson(text)),
            R"({"alpha":[true,null],"rate":0.15,"tiny":1e-05,"zeta":1,"ü":"한국어 🎉"})");
  EXPECT_EQ(dumpCompact(Json("bad \xFF utf8")), "\"bad \xEF\xBF\xBD utf8\"");
}

}  // namespace
}  // namespace tilo::platform
