#include "Tilo/base/TiloAppInfo.h"

namespace tilo {
namespace pf = tilo::platform;

SdkConfig SdkConfig::decode(const pf::ParsedJson& json) {
  pf::requireObject(json);
  return {pf::required<bool>(json, "enableMarkerCheckpoints")};
}

pf::Json SdkConfig::encode() const {
  return {{"enableMarkerCheckpoints", enableMarkerCheckpoints}};
}

TiloAdUnitItem TiloAdUnitItem::decode(const pf::ParsedJson& json) {
  pf::requireObject(json, "adUnits");
  TiloAdUnitItem item;
  item.tiloAdUnitId = pf::required<std::string>(json, "tiloAdUnitId");
  item.mediationAdUnitId = pf::required<std::string>(json, "mediationAdUnitId");
  item.refreshInterval = pf::lenient<double>(json, "refreshInterval").value_or(30.0);
  item.name = pf::required<std::string>(json, "name");
  item.type = pf::required<std::string>(json, "type");
  return item;
}

pf::Json TiloAdUnitItem::encode() const {
  pf::Json json = pf::Json::object();
  json["tiloAdUnitId"] = tiloAdUnitId;
  json["mediationAdUnitId"] = mediationAdUnitId;
  json["refreshInterval"] = refreshInterval;
  json["name"] = name;
  json["type"] = type;
  return json;
}

TiloAppInfo TiloAppInfo::decode(const pf::ParsedJson& json) {
  pf::requireObject(json);
  TiloAppInfo info;
  info.feeRate = pf::Decimal::fromDouble(pf::required<double>(json, "feeRate"));
  const pf::ParsedJson& units = pf::requireArray(pf::requiredValue(json, "adUnits"), "adUnits");
  pf::requireAtMost(units, kMaxAdUnits, "adUnits");
  info.adUnits.reserve(units.size());
  for (const auto& element : units) {
    info.adUnits.push_back(TiloAdUnitItem::decode(element));
    info.adUnits.back().feeRate = info.feeRate;
  }
  if (auto config = pf::lenient<pf::ParsedJson>(json, "sdkConfig")) {
    try {
      info.sdkConfig = SdkConfig::decode(*config);
    } catch (const pf::DecodingError&) {
      // A malformed switch block must not cost the application its ad units.
    }
  }
  return info;
}

pf::Json TiloAppInfo::encode() const {
  pf::Json units = pf::Json::array();
  for (const auto& item : adUnits) units.push_back(item.encode());
  pf::Json json = pf::Json::object();
  json["adUnits"] = std::move(units);
  json["feeRate"] = feeRate.toDouble();
  return json;
}

const TiloAdUnitItem* TiloAppInfo::item(const std::string& tiloAdUnitId) const {
  for (const auto& unit : adUnits) {
    if (unit.tiloAdUnitId == tiloAdUnitId) return &unit;
  }
  return nullptr;
}

}  // namespace tilo
