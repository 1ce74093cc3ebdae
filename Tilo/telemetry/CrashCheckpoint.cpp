#include "Tilo/telemetry/CrashCheckpoint.h"

#include "Tilo/telemetry/JsonWriter.h"

namespace tilo {
namespace {

using platform::DecodingError;
using platform::Json;
using platform::ParsedJson;

constexpr std::array<std::string_view, 8> kCheckpointRaw{
    "sdk_init",    "config_fetch", "ad_network_init", "ad_units_resync",
    "ad_callback", "native_ad",    "ad_load_crash",   "ad_show_crash"};
constexpr std::array<std::string_view, 4> kStageRaw{"success", "failure", "skipped", "inProgress"};
constexpr std::array<std::string_view, 8> kMetadataTypeRaw{
    "configFetch", "adNetworkInit", "resync",      "adCallback",
    "nativeAd",    "adLoadCrash",   "adShowCrash", "sdkInit"};

[[noreturn]] void corrupted(const std::string& detail) {
  throw DecodingError(DecodingError::Kind::dataCorrupted, detail);
}

template <std::size_t N>
std::optional<std::size_t> indexOf(const std::array<std::string_view, N>& names,
                                   std::string_view raw) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == raw) return i;
  }
  return std::nullopt;
}

StageResult decodeStage(const ParsedJson& object, std::string_view key) {
  auto raw = platform::required<std::string>(object, key);
  auto index = indexOf(kStageRaw, raw);
  if (!index) corrupted("Cannot initialize StageResult from invalid String value " + raw);
  return static_cast<StageResult>(*index);
}

void encodeAdMeta(JsonWriter& json, const AdMetaData& meta) {
  json.beginObject()
      .field("phase", meta.phase)
      .field("adUnitId", meta.adUnitId)
      .field("adNetwork", meta.adNetwork)
      .endObject();
}

AdMetaData decodeAdMeta(const ParsedJson& json) {
  return {platform::required<std::string>(json, "phase"),
          platform::optional<std::string>(json, "adUnitId"),
          platform::optional<std::string>(json, "adNetwork")};
}

Json adMetaDictionary(const AdMetaData& meta) {
  Json dictionary = Json::object();
  dictionary["phase"] = meta.phase;
  if (meta.adUnitId) dictionary["unitId"] = *meta.adUnitId;
  if (meta.adNetwork) dictionary["network"] = *meta.adNetwork;
  return dictionary;
}

}  // namespace

// ---- Checkpoints and stage results ---------------------------------------------------

std::string_view rawValue(CrashMarkerCheckpoint checkpoint) {
  return kCheckpointRaw[static_cast<std::size_t>(checkpoint)];
}

std::optional<CrashMarkerCheckpoint> crashMarkerCheckpointFromRawValue(std::string_view raw) {
  auto index = indexOf(kCheckpointRaw, raw);
  if (!index) return std::nullopt;
  return static_cast<CrashMarkerCheckpoint>(*index);
}

bool isInitCheckpoint(CrashMarkerCheckpoint checkpoint) {
  return checkpoint == CrashMarkerCheckpoint::sdkInit ||
         checkpoint == CrashMarkerCheckpoint::configFetch ||
         checkpoint == CrashMarkerCheckpoint::adNetworkInit;
}

const std::string& flagFileName(CrashMarkerCheckpoint checkpoint) {
  // Never destroyed: markers may be cleared while the process exits.
  static const auto* names = [] {
    auto* result = new std::array<std::string, 8>();
    for (std::size_t i = 0; i < result->size(); ++i) {
      (*result)[i] = "tilo_crash_" + std::string(kCheckpointRaw[i]) + ".flag";
    }
    return result;
  }();
  return (*names)[static_cast<std::size_t>(checkpoint)];
}

std::string_view rawValue(StageResult result) {
  return kStageRaw[static_cast<std::size_t>(result)];
}

// ---- CheckpointMetadata --------------------------------------------------------------

CheckpointMetadata CheckpointMetadata::configFetch(StageResult remote,
                                                   std::optional<CacheStageResult> cache) {
  return {decltype(value)(std::in_place_index<0>, ConfigFetchMetadata{remote, cache})};
}
CheckpointMetadata CheckpointMetadata::adNetworkInit(std::string phase) {
  return {decltype(value)(std::in_place_index<1>, std::move(phase))};
}
CheckpointMetadata CheckpointMetadata::resync(std::string unitId) {
  return {decltype(value)(std::in_place_index<2>, std::move(unitId))};
}
CheckpointMetadata CheckpointMetadata::adCallback(AdMetaData metadata) {
  return {decltype(value)(std::in_place_index<3>, std::move(metadata))};
}
CheckpointMetadata CheckpointMetadata::nativeAd(AdMetaData metadata) {
  return {decltype(value)(std::in_place_index<4>, std::move(metadata))};
}
CheckpointMetadata CheckpointMetadata::adLoadCrash(AdLoadCrashMetadata metadata) {
  return {decltype(value)(std::in_place_index<5>, std::move(metadata))};
}
CheckpointMetadata CheckpointMetadata::adShowCrash(AdShowCrashMetadata metadata) {
  return {decltype(value)(std::in_place_index<6>, std::move(metadata))};
}
CheckpointMetadata CheckpointMetadata::sdkInit() {
  return {decltype(value)(std::in_place_index<7>)};
}

void CheckpointMetadata::encode(JsonWriter& json) const {
  const std::string_view name = kMetadataTypeRaw[value.index()];
  json.beginObject().field("type", name);
  switch (type()) {
    case Type::configFetch: {
      const auto& meta = std::get<0>(value);
      json.key(name).beginObject().field("remoteFinalResult", rawValue(meta.remoteFinalResult));
      if (const auto& cache = meta.cacheResult) {
        json.key("cacheResult")
            .beginObject()
            .field("type", cache->type == CacheStageResult::Type::load ? "load" : "save")
            .field("result", rawValue(cache->result))
            .endObject();
      }
      json.endObject();
      break;
    }
    case Type::adNetworkInit:
      json.field(name, std::get<1>(value));
      break;
    case Type::resync:
      json.field(name, std::get<2>(value));
      break;
    case Type::adCallback:
      encodeAdMeta(json.key(name), std::get<3>(value));
      break;
    case Type::nativeAd:
      encodeAdMeta(json.key(name), std::get<4>(value));
      break;
    case Type::adLoadCrash: {
      const auto& meta = std::get<5>(value);
      json.key(name)
          .beginObject()
          .field("adUnitId", meta.adUnitId)
          .field("phase", meta.phase)
          .field("context", meta.context)
          .field("adAge", meta.adAge)
          .field("adNetwork", meta.adNetwork)
          .endObject();
      break;
    }
    case Type::adShowCrash: {
      const auto& meta = std::get<6>(value);
      json.key(name)
          .beginObject()
          .field("adFormat", meta.adFormat)
          .field("adUnitId", meta.adUnitId)
          .field("latency", meta.latency)
          .field("adNetwork", meta.adNetwork)
          .endObject();
      break;
    }
    case Type::sdkInit:
      break;
  }
  json.endObject();
}

CheckpointMetadata CheckpointMetadata::decode(const ParsedJson& json) {
  const auto typeName = platform::required<std::string>(json, "type");
  const auto index = indexOf(kMetadataTypeRaw, typeName);
  if (!index) corrupted("Unknown checkpoint type: " + typeName);
  if (static_cast<Type>(*index) == Type::sdkInit) return sdkInit();
  const ParsedJson& payload = platform::requiredValue(json, typeName);
  switch (static_cast<Type>(*index)) {
    case Type::configFetch: {
      std::optional<CacheStageResult> cache;
      if (auto raw = platform::optional<ParsedJson>(payload, "cacheResult")) {
        const auto cacheType = platform::required<std::string>(*raw, "type");
        if (cacheType != "load" && cacheType != "save") {
          corrupted("Unknown cache operation type: " + cacheType);
        }
        cache = CacheStageResult{
            cacheType == "load" ? CacheStageResult::Type::load : CacheStageResult::Type::save,
            decodeStage(*raw, "result")};
      }
      return configFetch(decodeStage(payload, "remoteFinalResult"), cache);
    }
    case Type::adNetworkInit:
      return adNetworkInit(platform::required<std::string>(json, typeName));
    case Type::resync:
      return resync(platform::required<std::string>(json, typeName));
    case Type::adCallback:
      return adCallback(decodeAdMeta(payload));
    case Type::nativeAd:
      return nativeAd(decodeAdMeta(payload));
    case Type::adLoadCrash:
      return adLoadCrash({platform::required<std::string>(payload, "adUnitId"),
                          platform::required<std::string>(payload, "phase"),
                          platform::required<std::string>(payload, "context"),
                          platform::required<double>(payload, "adAge"),
                          platform::optional<std::string>(payload, "adNetwork")});
    case Type::adShowCrash:
      return adShowCrash({platform::required<std::string>(payload, "adFormat"),
                          platform::required<std::string>(payload, "adUnitId"),
                          platform::optional<double>(payload, "latency"),
                          platform::optional<std::string>(payload, "adNetwork")});
    case Type::sdkInit:
      break;
  }
  return sdkInit();
}

Json CheckpointMetadata::reportDictionary() const {
  Json dictionary = Json::object();
  switch (type()) {
    case Type::configFetch: {
      const auto& cache = std::get<0>(value).cacheResult;
      dictionary["phase"] = !cache                                        ? "remote_progress"
                            : cache->type == CacheStageResult::Type::load ? "cache_read_progress"
                                                                          : "cache_save_progress";
      break;
    }
    case Type::adNetworkInit:
      dictionary["phase"] = std::get<1>(value);
      break;
    case Type::resync:
      dictionary["phase"] = "ad_units_resync";
      dictionary["unitId"] = std::get<2>(value);
      break;
    case Type::adCallback:
      return adMetaDictionary(std::get<3>(value));
    case Type::nativeAd:
      return adMetaDictionary(std::get<4>(value));
    case Type::adLoadCrash: {
      const auto& meta = std::get<5>(value);
      dictionary["phase"] = meta.phase;
      dictionary["unitId"] = meta.adUnitId;
      dictionary["context"] = meta.context;
      dictionary["adAge"] = meta.adAge;
      break;
    }
    case Type::adShowCrash: {
      const auto& meta = std::get<6>(value);
      dictionary["adFormat"] = meta.adFormat;
      dictionary["adUnitId"] = meta.adUnitId;
      if (meta.latency) dictionary["latency"] = *meta.latency;
      break;
    }
    case Type::sdkInit:
      break;
  }
  return dictionary;
}

}  // namespace tilo
