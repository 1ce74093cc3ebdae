#include "Tilo/telemetry/JsonWriter.h"

#include <gtest/gtest.h>

#include <limits>

namespace tilo {
namespace {

using platform::Json;

// Events, the store and uploads are written by JsonWriter and read by the backend as the
// compact dump would have written them: every value, non-finite numbers (null, never
// invalid JSON) included.
TEST(JsonWriterTest, WritesWhatTheCompactDumpWrites) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  Json samples = Json::parse(R"([
    {"adFormat":"light_poup","latency":12.5,"code":-204,"big":18446744073709551615,
     "whole":3.0,"tiny":1e-7,"huge":1e300,"flag":true,"none":null,"nested":{"a":[1,"b",[]]}},
    "quote \" backslash \\ slash / tab \t newline \n bell \u0007 nul \u0000",
    "한국어 ⚠️ 😀", {}, [], 0, -0.0, 0.1
  ])");
  samples.push_back(Json{{"latency", kInf}, {"network", "AdMob"}});
  samples.push_back(Json::array({-kInf, std::numeric_limits<double>::quiet_NaN(), 1.5}));
  for (const auto& sample : samples) {
    std::string out;
    JsonWriter(out).jsonValue(sample);
    EXPECT_EQ(out, platform::dumpCompact(sample)) << sample.dump();
  }
}

// Text from hosts and networks: every control character, quote and backslash escaped (the
// short form where JSON has one), and each byte of malformed UTF-8 replaced by U+FFFD, so
// that a strict parser reads the result back.
TEST(JsonWriterTest, StringsAlwaysComeOutAsValidJson) {
  std::string controls;
  for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
  controls += "\"\\/\x7F";
  const std::string replacement = "\xEF\xBF\xBD";
  std::string nine;
  for (int i = 0; i < 9; ++i) nine += replacement;
  const struct {
    std::string text, readBack;
    std::vector<std::string> spellings;
  } cases[] = {
      {controls, controls, {"\"\\u0000\\u0001", "\\b\\t\\n\\u000b\\f\\r", "\\u001f\\\"\\\\/"}},
      {std::string("ok") + "\xC3" + "(" + "\xED\xA0\x80" + "\xF4\x90\x80\x80" + "\xE2\x82",
       "ok" + replacement + "(" + nine,
       {}},
  };
  for (const auto& c : cases) {
    std::string out;
    JsonWriter(out).value(c.text);
    EXPECT_EQ(Json::parse(out).get<std::string>(), c.readBack);
    for (const auto& spelling : c.spellings) EXPECT_NE(out.find(spelling), std::string::npos);
  }
}

}  // namespace
}  // namespace tilo
