#include "Tilo/base/TiloAppInfo.h"

#include <cmath>

namespace tilo {
namespace pf = tilo::platform;

SdkConfig SdkConfig::decode(const pf::ParsedJson& json) {
  pf::requireObject(json);
  return {pf::required<bool>(json, "enableMarkerCheckpoints")};
}

pf::Json SdkConfig::encode() const {
  return {{"enableMarkerCheckpoints", enableMarkerCheckpoints}};
}

namespace {

// What is wrong with the value at `path` where `expected` belongs (`value` null: absent).
[[noreturn]] void refuse(const pf::ParsedJson* value, const std::string& path,
                         const std::string& expected) {
  using Kind = pf::DecodingError::Kind;
  if (!value) throw AppInfoDecodingError(Kind::keyNotFound, path, "missing");
  if (value->is_null())
    throw AppInfoDecodingError(Kind::valueNotFound, path, "null, expected " + expected);
  std::string found = value->type_name();
  if (value->is_number_float() && !std::isfinite(value->get<double>())) {
    found = "a number out of range";
  } else if (value->is_string() || value->is_number() || value->is_boolean()) {
    found += " " + pf::dumpCompact(*value).substr(0, 40);
  }
  throw AppInfoDecodingError(Kind::typeMismatch, path, "expected " + expected + ", found " + found);
}

const pf::ParsedJson* member(const pf::ParsedJson& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::string text(const pf::ParsedJson& object, const char* key, const std::string& path) {
  const pf::ParsedJson* value = member(object, key);
  if (!value || !value->is_string()) refuse(value, path + "." + key, "a string");
  return value->get<std::string>();
}

}  // namespace

AppInfoDecodingError::AppInfoDecodingError(Kind kind, std::string path, std::string reason)
    : pf::DecodingError(kind, path + ": " + reason), summary_(path + ": " + reason) {}

TiloAdUnitItem TiloAdUnitItem::decode(const pf::ParsedJson& json, const std::string& path) {
  if (!json.is_object()) refuse(&json, path, "an object");
  TiloAdUnitItem item;
  item.tiloAdUnitId = text(json, "tiloAdUnitId", path);
  item.mediationAdUnitId = text(json, "mediationAdUnitId", path);
  item.refreshInterval = pf::lenient<double>(json, "refreshInterval").value_or(30.0);
  item.name = text(json, "name", path);
  item.type = text(json, "type", path);
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
  if (!json.is_object()) refuse(&json, "(answer)", "an object");
  TiloAppInfo info;
  const pf::ParsedJson* feeRate = member(json, "feeRate");
  if (!feeRate || !feeRate->is_number() || !std::isfinite(feeRate->get<double>())) {
    refuse(feeRate, "feeRate", "a number");
  }
  info.feeRate = pf::Decimal::fromDouble(feeRate->get<double>());
  const pf::ParsedJson* units = member(json, "adUnits");
  if (!units || !units->is_array()) refuse(units, "adUnits", "an array");
  if (units->size() > kMaxAdUnits) {
    throw AppInfoDecodingError(pf::DecodingError::Kind::dataCorrupted, "adUnits",
                               "more than " + std::to_string(kMaxAdUnits) + " entries");
  }
  info.adUnits.reserve(units->size());
  for (std::size_t i = 0; i < units->size(); ++i) {
    info.adUnits.push_back(
        TiloAdUnitItem::decode((*units)[i], "adUnits[" + std::to_string(i) + "]"));
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
