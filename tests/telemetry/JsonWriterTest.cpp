#include "Tilo/telemetry/JsonWriter.h"

#include <gtest/gtest.h>

#include <limits>

#include "Tilo/telemetry/AdLogEvent.h"

namespace tilo {
namespace {

using platform::Json;

std::string write(const Json& json) {
  std::string out;
  JsonWriter(out).jsonValue(json);
  return out;
}

TEST(JsonWriterTest, WritesWhatTheCompactDumpWrites) {
  const Json samples = Json::parse(R"([
    {"adFormat":"light_poup","latency":12.5,"code":-204,"big":18446744073709551615,
     "whole":3.0,"tiny":1e-7,"huge":1e300,"flag":true,"none":null,"nested":{"a":[1,"b",[]]}},
    "quote \" backslash \\ slash / tab \t newline \n bell \u0007 nul \u0000",
    "한국어 ⚠️ 😀", {}, [], 0, -0.0, 0.1
  ])");
  for (const auto& sample : samples) {
    EXPECT_EQ(write(sample), platform::dumpCompact(sample)) << sample.dump();
  }
}

TEST(JsonWriterTest, NonFiniteNumbersNeverMakeInvalidJson) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  // 1. Written directly and inside a value, each is null, as the compact dump writes it.
  std::string out;
  JsonWriter(out)
      .beginArray()
      .value(kInf)
      .value(-kInf)
      .value(std::numeric_limits<double>::quiet_NaN())
      .value(1.5)
      .endArray();
  EXPECT_EQ(out, "[null,null,null,1.5]");
  const Json payload = {{"latency", kInf}, {"network", "AdMob"}};
  EXPECT_EQ(write(payload), platform::dumpCompact(payload));

  // 2. An event whose payload holds one keeps the rest of its payload through the store.
  const AdLogEvent event{"id", AdLogEventType::adResponse, 1, "session", payload, write(payload)};
  const auto restored = decodeEventList(encodeEventList(std::span(&event, 1)));
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(restored[0].payload, (Json{{"latency", nullptr}, {"network", "AdMob"}}));
}

TEST(JsonWriterTest, MalformedUtf8BecomesReplacementCharacters) {
  const std::string broken =
      std::string("ok") + "\xC3" + "(" + "\xED\xA0\x80" + "\xF4\x90\x80\x80" + "\xE2\x82";
  std::string out;
  JsonWriter(out).value(broken);
  // Each byte of a malformed sequence is replaced; the result parses as JSON again.
  std::string replacements;
  for (int i = 0; i < 9; ++i) replacements += "\xEF\xBF\xBD";
  EXPECT_EQ(Json::parse(out).get<std::string>(), "ok\xEF\xBF\xBD(" + replacements);
}

TEST(JsonWriterTest, EscapesEveryControlCharacterQuoteAndBackslash) {
  std::string text;
  for (int c = 0; c < 0x20; ++c) text += static_cast<char>(c);
  text += "\"\\/\x7F";
  std::string out;
  JsonWriter(out).value(text);
  // A strict parser (raw control characters are errors there) reads it back unchanged,
  // and each escape has the short form where JSON has one.
  EXPECT_EQ(Json::parse(out).get<std::string>(), text);
  EXPECT_EQ(out.substr(0, 13), "\"\\u0000\\u0001");
  EXPECT_NE(out.find("\\b\\t\\n\\u000b\\f\\r"), std::string::npos);
  EXPECT_NE(out.find("\\u001f\\\"\\\\/"), std::string::npos);
}

}  // namespace
}  // namespace tilo
