#include "mediation/AdSource.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <initializer_list>
#include <stdexcept>

#include "mediation/TestCreatives.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace tilo::mediation {
namespace {

using platform::Json;

// Scenario problems, with the path of the offending key.
struct ScenarioError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& path, const std::string& problem) {
  throw ScenarioError(path + ": " + problem);
}

const Json& object(const Json& value, const std::string& path) {
  if (!value.is_object()) fail(path, "expected an object");
  return value;
}

// An object whose keys are all in `known`: a misspelt key would otherwise be ignored and
// the scenario silently do something else than its author meant.
const Json& objectOf(const Json& value, const std::string& path,
                     std::initializer_list<std::string_view> known) {
  object(value, path);
  for (const auto& [key, unused] : value.items()) {
    if (std::find(known.begin(), known.end(), key) != known.end()) continue;
    std::string list;
    for (auto name : known) list += (list.empty() ? "" : ", ") + std::string(name);
    fail(path.empty() ? key : path + "." + key, "unknown key; the keys here are " + list);
  }
  return value;
}

const std::initializer_list<std::string_view> kScriptKeys = {
    "result", "error",    "delayMs",        "network",      "latencies",      "revenue",
    "reward", "click",    "dismissAfterMs", "presentError", "expiresAfterMs", "adSize",
    "native", "clickUrl", "countdownMs",    "testCreatives"};

std::string text(const Json& value, const std::string& path) {
  if (!value.is_string()) fail(path, "expected a string");
  // A NUL would cut the text short wherever it becomes a C string (a currency code, a
  // headline handed to a host).
  if (value.get_ref<const std::string&>().find('\0') != std::string::npos) {
    fail(path, "a NUL character inside the string");
  }
  return value.get<std::string>();
}

double milliseconds(const Json& value, const std::string& path) {
  // 1e999 parses as an infinite number: a delay that never ends.
  if (!value.is_number() || !std::isfinite(value.get<double>()) || value.get<double>() < 0) {
    fail(path, "expected a finite number >= 0");
  }
  return value.get<double>();
}

platform::Decimal decimal(const Json& value, const std::string& path) {
  if (value.is_number_integer()) return platform::Decimal(value.get<std::int64_t>());
  // 1e999 would silently become zero.
  if (value.is_number() && std::isfinite(value.get<double>())) {
    return platform::Decimal::fromDouble(value.get<double>());
  }
  if (value.is_string()) {
    if (auto parsed = platform::Decimal::fromString(value.get<std::string>())) return *parsed;
  }
  fail(path, "expected a decimal number or its text");
}

// Money and rewards are never negative.
platform::Decimal nonNegativeDecimal(const Json& value, const std::string& path) {
  platform::Decimal parsed = decimal(value, path);
  if (parsed.isNegative() && !parsed.isZero()) fail(path, "expected a decimal number >= 0");
  return parsed;
}

NSError nsError(const Json& value, const std::string& path) {
  objectOf(value, path, {"domain", "code", "description"});
  NSError error{kGADErrorDomain, 0, ""};
  if (value.contains("domain")) error.domain = text(value["domain"], path + ".domain");
  if (!value.contains("code") || !value["code"].is_number_integer() ||
      (value["code"].is_number_unsigned() &&
       value["code"].get<std::uint64_t>() > std::uint64_t{INT64_MAX})) {
    fail(path + ".code", "expected an integer");
  }
  error.code = value["code"].get<std::int64_t>();
  if (value.contains("description")) {
    error.localizedDescription = text(value["description"], path + ".description");
  }
  return error;
}

GADAdValue adValue(const Json& value, const std::string& path) {
  objectOf(value, path, {"value", "currency", "precision"});
  if (!value.contains("value")) fail(path + ".value", "missing");
  GADAdValue result{nonNegativeDecimal(value["value"], path + ".value"), "USD", 0};
  if (value.contains("currency")) result.currencyCode = text(value["currency"], path + ".currency");
  if (value.contains("precision")) {
    const Json& precision = value["precision"];
    // The platform's precision types: unknown, estimated, publisher provided, precise.
    if (!precision.is_number_integer() || precision.get<std::int64_t>() < 0 ||
        precision.get<std::int64_t>() > 3) {
      fail(path + ".precision", "expected an integer from 0 to 3");
    }
    result.precision = static_cast<int>(precision.get<std::int64_t>());
  }
  return result;
}

GADAdReward adReward(const Json& value, const std::string& path) {
  objectOf(value, path, {"amount", "type"});
  if (!value.contains("amount")) fail(path + ".amount", "missing");
  GADAdReward reward{nonNegativeDecimal(value["amount"], path + ".amount"), ""};
  if (value.contains("type")) reward.type = text(value["type"], path + ".type");
  return reward;
}

NativeAssets nativeAssets(const Json& value, const std::string& path,
                          const std::string& baseDirectory) {
  objectOf(value, path, {"headline", "body", "advertiser", "callToAction", "icon", "media"});
  NativeAssets assets;
  for (auto [key, field] : {std::pair{"headline", &NativeAssets::headline},
                            {"body", &NativeAssets::body},
                            {"advertiser", &NativeAssets::advertiser},
                            {"callToAction", &NativeAssets::callToAction}}) {
    if (value.contains(key) && !value[key].is_null()) {
      assets.*field = text(value[key], path + "." + key);
    }
  }
  for (auto [key, field] :
       {std::pair{"icon", &NativeAssets::icon}, {"media", &NativeAssets::media}}) {
    if (!value.contains(key) || value[key].is_null()) continue;
    const Json& image = value[key];
    if (image.is_boolean()) {
      if (image.get<bool>()) assets.*field = NativeImageSource{true, {}, nullptr};
    } else if (image.is_string()) {
      std::filesystem::path file = image.get<std::string>();
      if (file.empty()) fail(path + "." + key, "expected a file name");
      if (file.is_relative() && !baseDirectory.empty()) file = baseDirectory / file;
      std::string problem;
      auto decoded = TestCreatives::loadImageFile(file.string(), &problem);
      if (!decoded) fail(path + "." + key, problem);
      assets.*field = NativeImageSource{false, file.string(), std::move(decoded)};
    } else {
      fail(path + "." + key, "expected true, false or an image file name");
    }
  }
  return assets;
}

// Lays the fields present in `unit` over `base`. Null clears the optional fields.
AdScript overlay(AdScript script, const Json& unit, const std::string& path,
                 const std::string& baseDirectory) {
  objectOf(unit, path, kScriptKeys);
  for (const auto& [key, value] : unit.items()) {
    const std::string at = path + "." + key;
    if (key == "result") {
      const std::string result = text(value, at);
      if (result != "fill" && result != "error") fail(at, "expected \"fill\" or \"error\"");
      script.fill = result == "fill";
    } else if (key == "error") {
      script.error = nsError(value, at);
    } else if (key == "delayMs") {
      script.delayMs = milliseconds(value, at);
    } else if (key == "network") {
      script.network = value.is_null() ? std::nullopt : std::optional(text(value, at));
    } else if (key == "latencies") {
      if (!value.is_array()) fail(at, "expected an array of seconds");
      script.latencies.clear();
      for (std::size_t i = 0; i < value.size(); ++i) {
        script.latencies.push_back(milliseconds(value[i], at + "[" + std::to_string(i) + "]"));
      }
    } else if (key == "revenue") {
      script.revenue = value.is_null() ? std::nullopt : std::optional(adValue(value, at));
    } else if (key == "reward") {
      script.reward = value.is_null() ? std::nullopt : std::optional(adReward(value, at));
    } else if (key == "click") {
      if (!value.is_boolean()) fail(at, "expected true or false");
      script.click = value.get<bool>();
    } else if (key == "dismissAfterMs") {
      script.waitsForClose = value.is_null();
      if (!value.is_null()) script.dismissAfterMs = milliseconds(value, at);
    } else if (key == "presentError") {
      script.presentError = value.is_null() ? std::nullopt : std::optional(nsError(value, at));
    } else if (key == "expiresAfterMs") {
      script.expiresAfterMs =
          value.is_null() ? std::nullopt : std::optional(milliseconds(value, at));
    } else if (key == "adSize") {
      if (value.is_null()) {
        script.adSize.reset();
        continue;
      }
      if (!value.is_array() || value.size() != 2 || !value[0].is_number_integer() ||
          !value[1].is_number_integer()) {
        fail(at, "expected [width, height]");
      }
      // Compared as 64-bit: a huge number must not wrap into range.
      const auto width = value[0].get<std::int64_t>(), height = value[1].get<std::int64_t>();
      if (width < 1 || height < 1 || width > 4096 || height > 4096) {
        fail(at, "expected sizes from 1 to 4096 points");
      }
      script.adSize = std::pair{static_cast<int>(width), static_cast<int>(height)};
    } else if (key == "native") {
      script.native =
          value.is_null() ? std::nullopt : std::optional(nativeAssets(value, at, baseDirectory));
    } else if (auto problem = TestCreatives::parseScriptKey(script, key, value)) {
      fail(at, *problem);
    }
  }
  return script;
}

}  // namespace

GADResponseInfo AdScript::responseInfo() const {
  static std::atomic<std::uint64_t> counter{0};
  GADResponseInfo info;
  info.responseIdentifier = "scripted-response-" + std::to_string(++counter);
  for (double latency : latencies) info.adNetworkInfoArray.push_back({std::nullopt, latency});
  if (network) {
    if (info.adNetworkInfoArray.empty()) info.adNetworkInfoArray.push_back({std::nullopt, 0});
    info.adNetworkInfoArray.back().adSourceName = network;
    info.loadedAdNetworkResponseInfo = info.adNetworkInfoArray.back();
  }
  return info;
}

AdSource& AdSource::shared() {
  static AdSource source;
  return source;
}

AdSource::AdSource() {
  useBuiltInTestAds();
}

std::optional<std::string> AdSource::loadScenario(const Json& scenario,
                                                  const std::string& baseDirectory,
                                                  const UnitCheck& checkUnits) {
  try {
    object(scenario, "scenario");
    objectOf(scenario, "", {"start", "default", "units"});
    std::map<std::string, bool> start{{"GADMobileAds", true}};
    if (scenario.contains("start")) {
      start.clear();
      for (const auto& [name, state] : object(scenario["start"], "start").items()) {
        const std::string value = text(state, "start." + name);
        if (value != "ready" && value != "notReady") {
          fail("start." + name, "expected \"ready\" or \"notReady\"");
        }
        start[name] = value == "ready";
      }
    }
    AdScript fallback;
    if (scenario.contains("default"))
      fallback = overlay(fallback, scenario["default"], "default", baseDirectory);
    std::map<std::string, AdScript> units;
    std::vector<std::string> ids;
    if (scenario.contains("units")) {
      for (const auto& [id, unit] : object(scenario["units"], "units").items()) {
        units[id] = overlay(fallback, unit, "units." + id, baseDirectory);
        ids.push_back(id);
      }
    }
    if (checkUnits) {
      if (auto problem = checkUnits(ids)) return problem;
    }
    std::lock_guard lock(mutex_);
    startStates_ = std::move(start);
    scenarioName_ = std::string("scenario: default ") + (fallback.fill ? "fill" : "error") + ", " +
                    std::to_string(units.size()) + (units.size() == 1 ? " unit" : " units") +
                    " scripted";
    defaultScript_ = std::move(fallback);
    units_ = std::move(units);
    scenarioLoaded_ = true;
    return std::nullopt;
  } catch (const ScenarioError& error) {
    return error.what();
  } catch (const Json::exception& error) {
    return std::string("scenario: ") + error.what();
  }
}

std::optional<std::string> AdSource::loadScenarioText(std::string_view text,
                                                      const std::string& baseDirectory,
                                                      const UnitCheck& checkUnits) {
  if (text.size() > kMaxScenarioBytes) {
    return "scenario: larger than " + std::to_string(kMaxScenarioBytes) + " bytes";
  }
  try {
    return loadScenario(platform::parseJson(text, kMaxScenarioKeys), baseDirectory, checkUnits);
  } catch (const platform::DecodingError& error) {
    return std::string("scenario: ") + error.what();
  }
}

std::optional<std::string> AdSource::loadScenarioFile(const std::string& path,
                                                      const UnitCheck& checkUnits) {
  platform::FileSystem::ReadError error;
  auto contents = platform::FileSystem::readFile(path, &error);
  if (!contents) return "cannot read scenario file " + path + ": " + error.description;
  auto problem =
      loadScenarioText(*contents, std::filesystem::path(path).parent_path().string(), checkUnits);
  if (problem) return path + ": " + *problem;
  return std::nullopt;
}

void AdSource::reset() {
  resetScenario();
  std::lock_guard lock(mutex_);
  loads_.clear();
  loadCounts_.clear();
}

void AdSource::resetScenario() {
  std::lock_guard lock(mutex_);
  defaultScript_ = AdScript{};
  units_.clear();
  startStates_ = {{"GADMobileAds", true}};
  scenarioName_ = "plain test source";
  scenarioLoaded_ = false;
}

bool AdSource::hasScenario() const {
  std::lock_guard lock(mutex_);
  return scenarioLoaded_;
}

void AdSource::useBuiltInTestAds() {
  reset();
  std::lock_guard lock(mutex_);
  defaultScript_ = TestCreatives::builtInScript();
  scenarioName_ = "built-in test ads";
}

std::string AdSource::describeScenario() const {
  std::lock_guard lock(mutex_);
  return scenarioName_;
}

AdScript AdSource::scriptFor(const std::string& adUnitId) const {
  std::lock_guard lock(mutex_);
  auto unit = units_.find(adUnitId);
  return unit != units_.end() ? unit->second : defaultScript_;
}

std::vector<std::string> AdSource::unitIds() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> ids;
  for (const auto& [id, unused] : units_) ids.push_back(id);
  return ids;
}

std::map<std::string, bool> AdSource::startStates() const {
  std::lock_guard lock(mutex_);
  return startStates_;
}

void AdSource::load(std::string_view format, const std::string& adUnitId,
                    const std::shared_ptr<GADRequest>& request,
                    std::function<void(const AdScript&)> deliver) {
  LoadRecord record{std::string(format), adUnitId, {}};
  if (request) {
    for (const auto& extras : request->adNetworkExtras()) {
      record.extras.push_back(extras->className() + " " + extras->description());
    }
  }
  AdScript script = scriptFor(adUnitId);
  {
    std::lock_guard lock(mutex_);
    ++loadCounts_[adUnitId];
    if (loads_.size() == kLoadHistoryLimit) loads_.pop_front();
    loads_.push_back(std::move(record));
  }
  platform::Environment::current().mainExecutor()->postDelayed(
      [script, deliver = std::move(deliver)] { deliver(script); }, script.delayMs / 1000.0);
}

void AdSource::load(const demand::DemandRequest& request, demand::DemandDelivery deliver) {
  load(request.format, request.adUnitId, request.request, std::move(deliver));
}

std::vector<LoadRecord> AdSource::loadRecords() const {
  std::lock_guard lock(mutex_);
  return {loads_.begin(), loads_.end()};
}

std::uint64_t AdSource::loadCount(const std::string& adUnitId) const {
  std::lock_guard lock(mutex_);
  auto count = loadCounts_.find(adUnitId);
  return count != loadCounts_.end() ? count->second : 0;
}

std::string AdSource::describeLoads() const {
  std::string out;
  for (const auto& load : loadRecords()) {
    out += "load " + load.format + " unit=" + load.adUnitId;
    for (const auto& extras : load.extras) out += " extras=[" + extras + "]";
    out += "\n";
  }
  return out;
}

}  // namespace tilo::mediation
