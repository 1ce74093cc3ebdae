#include <gtest/gtest.h>

#include "Tilo/base/TiloAdFormat.h"
#include "Tilo/base/TiloAppInfo.h"
#include "Tilo/base/TiloError.h"

namespace tilo {
namespace {

using platform::parseJson;

TiloAppInfo decode(const char* json) {
  return TiloAppInfo::decode(parseJson(json));
}

TEST(AppInfoTest, DecodesUnitsWithDefaultsAndSharedFeeRate) {
  auto info = decode(R"({"feeRate":0.15,"adUnits":[
      {"tiloAdUnitId":"a","mediationAdUnitId":"ma","name":"A","type":"banner","refreshInterval":45},
      {"tiloAdUnitId":"b","mediationAdUnitId":"mb","name":"B","type":"native"},
      {"tiloAdUnitId":"c","mediationAdUnitId":"mc","name":"C","type":"mrec","refreshInterval":"60"},
      {"tiloAdUnitId":"d","mediationAdUnitId":"md","name":"D","type":"mrec","refreshInterval":null},
      {"tiloAdUnitId":"e","mediationAdUnitId":"me","name":"E","type":"mrec","refreshInterval":1e999}],
    "sdkConfig":{"enableMarkerCheckpoints":true},"unknown":1})");
  std::vector<double> intervals;
  for (const auto& item : info.adUnits) {
    intervals.push_back(item.refreshInterval);
    EXPECT_EQ(item.feeRate, info.feeRate);
  }
  EXPECT_EQ(intervals, (std::vector<double>{45, 30, 30, 30, 30}));
  EXPECT_EQ(info.feeRate.description(), "0.15");
  EXPECT_EQ(info.sdkConfig, SdkConfig{true});
  EXPECT_EQ(info.item("c")->mediationAdUnitId, "mc");
  EXPECT_EQ(info.item("zz"), nullptr);
}

TEST(AppInfoTest, MalformedSwitchesNeverCostTheUnits) {
  for (const char* config :
       {R"("off")", "{}", R"({"enableMarkerCheckpoints":"yes"})", "null", "[true]"}) {
    auto info =
        decode((std::string(R"({"feeRate":0,"adUnits":[],"sdkConfig":)") + config + "}").c_str());
    EXPECT_EQ(info.sdkConfig, std::nullopt) << config;
  }
}

// What fails the whole info, and where: the summary names the JSON path and the reason.
std::string problemOf(const platform::ParsedJson& json) {
  try {
    TiloAppInfo::decode(json);
  } catch (const AppInfoDecodingError& error) {
    return error.summary();
  }
  return "decoded";
}

TEST(AppInfoTest, MissingFieldsAndTooManyUnitsFailTheWholeInfoSayingWhere) {
  const char* unit = R"({"tiloAdUnitId":"a","mediationAdUnitId":"m","name":"n","type":"banner"})";
  const std::pair<const char*, const char*> cases[] = {
      {R"({"adUnits":[]})", "feeRate: missing"},
      {R"({"feeRate":"0.1","adUnits":[]})", R"(feeRate: expected a number, found string "0.1")"},
      {R"({"feeRate":1e999,"adUnits":[]})",
       "feeRate: expected a number, found a number out of range"},
      {R"({"feeRate":0.1})", "adUnits: missing"},
      {R"({"feeRate":0.1,"adUnits":{}})", "adUnits: expected an array, found object"},
      {R"({"feeRate":0.1,"adUnits":[7]})", "adUnits[0]: expected an object, found number 7"},
      {"[]", "(answer): expected an object, found array"}};
  for (const auto& [json, problem] : cases) EXPECT_EQ(problemOf(parseJson(json)), problem);
  for (const char* key : {"tiloAdUnitId", "mediationAdUnitId", "name", "type"}) {
    auto json = parseJson(unit);
    json.erase(key);
    platform::Json info = {{"feeRate", 0.1}, {"adUnits", {parseJson(unit), json}}};
    EXPECT_EQ(problemOf(parseJson(info.dump())), "adUnits[1]." + std::string(key) + ": missing");
    json[key] = nullptr;
    info["adUnits"][1] = json;
    EXPECT_EQ(problemOf(parseJson(info.dump())),
              "adUnits[1]." + std::string(key) + ": null, expected a string");
  }
  // More units than any application has; the cap itself decodes.
  const platform::Json one = parseJson(unit);
  platform::Json info = {{"feeRate", 0.1},
                         {"adUnits", platform::Json(TiloAppInfo::kMaxAdUnits, one)}};
  EXPECT_EQ(TiloAppInfo::decode(info).adUnits.size(), TiloAppInfo::kMaxAdUnits);
  info["adUnits"].push_back(one);
  try {
    TiloAppInfo::decode(info);
    ADD_FAILURE() << "decoded more than the cap";
  } catch (const platform::DecodingError& error) {
    EXPECT_EQ(error.localizedDescription(),
              "The data couldn't be read because it isn't in the correct format. "
              "(adUnits: more than 1000 entries)");
  }
}

TEST(AppInfoTest, EncodingKeepsUnitsAndFeeRateButNotSwitches) {
  auto info = decode(R"({"feeRate":0.3,"sdkConfig":{"enableMarkerCheckpoints":true},"adUnits":[
      {"tiloAdUnitId":"a","mediationAdUnitId":"m","name":"n","type":"banner","refreshInterval":12.5}]})");
  const auto json = info.encode();
  EXPECT_EQ(platform::dumpCompact(json),
            R"({"adUnits":[{"tiloAdUnitId":"a","mediationAdUnitId":"m","refreshInterval":12.5,)"
            R"("name":"n","type":"banner"}],"feeRate":0.3})");
  info.sdkConfig = std::nullopt;
  EXPECT_EQ(TiloAppInfo::decode(json), info);
}

TEST(TiloErrorTest, CodesNamesAndFormats) {
  EXPECT_EQ(TiloError::codeFromRawValue(204), TiloError::Code::noFill);
  EXPECT_EQ(TiloError::codeFromRawValue(-27), TiloError::Code::fullscreenAdLoadWhileShowing);
  EXPECT_EQ(TiloError::codeFromRawValue(0), std::nullopt);
  EXPECT_EQ(TiloError::codeFromRawValue(-1002), std::nullopt);
  EXPECT_EQ(TiloError(TiloError::Code::noFill, "x"), TiloError(TiloError::Code::noFill, "y"));

  EXPECT_EQ(tiloAdFormatFromRawValue("appOpen"), TiloAdFormat::appOpen);
  EXPECT_EQ(tiloAdFormatFromRawValue("app_open"), std::nullopt);
  // The other analytics names are checked on the uploaded events.
  EXPECT_EQ(analyticsName(TiloAdFormat::mrec), "mrec");
}

}  // namespace
}  // namespace tilo
