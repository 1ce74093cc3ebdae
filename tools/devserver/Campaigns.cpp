#include "tools/devserver/Campaigns.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/Url.h"
#include "platform/ui/ImageDecoder.h"

namespace tilo::devserver {
namespace {

using platform::ParsedJson;

struct Reader {
  std::string name;  // the file, for messages
  std::filesystem::path folder;

  [[noreturn]] void fail(const std::string& path, const std::string& problem) const {
    throw CampaignsError(name + ": " + path + ": " + problem);
  }

  std::string text(const ParsedJson& object, const char* key, const std::string& path) const {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string() || found->get<std::string>().empty()) {
      fail(path + "." + key, "expected a text");
    }
    return found->get<std::string>();
  }

  std::optional<std::string> optionalText(const ParsedJson& object, const char* key,
                                          const std::string& path) const {
    if (!object.contains(key) || object[key].is_null()) return std::nullopt;
    return text(object, key, path);
  }

  double number(const ParsedJson& value, const std::string& path, double min) const {
    if (!value.is_number() || !std::isfinite(value.get<double>()) || value.get<double>() <= min) {
      fail(path, "expected a number above " + std::to_string(static_cast<int>(min)));
    }
    return value.get<double>();
  }

  // Reads the picture once, at start: a campaign naming a picture that is not there is
  // refused now, not found out by the first ad.
  std::string picture(const ParsedJson& object, const char* key, const std::string& id,
                      const std::string& path, Campaigns& into) const {
    const std::string file = text(object, key, path);
    std::filesystem::path where = file;
    if (where.is_relative()) where = folder / where;
    platform::FileSystem::ReadError error;
    auto bytes = platform::FileSystem::readFile(where, &error);
    if (!bytes) fail(path + "." + key, "cannot read " + where.string() + ": " + error.description);
    std::string problem;
    const platform::Bytes data(bytes->begin(), bytes->end());
    const auto header = platform::ImageDecoder::readHeader(data, problem);
    if (!header) fail(path + "." + key, where.string() + ": " + problem);
    const bool png = header->format == platform::ImageDecoder::Format::png;
    const std::string served = id + "-" + key + (png ? ".png" : ".jpg");
    into.files[served] = CreativeFile{served, png ? "image/png" : "image/jpeg", std::move(*bytes),
                                      header->width, header->height};
    return served;
  }
};

}  // namespace

const std::vector<std::string>& Campaigns::knownFormats() {
  static const std::vector<std::string> formats = {"banner",     "mrec",   "interstitial",
                                                   "rewarded",   "native", "lightPopup",
                                                   "lineBanner", "appOpen"};
  return formats;
}

Campaigns Campaigns::load(const std::filesystem::path& file) {
  platform::FileSystem::ReadError error;
  auto content = platform::FileSystem::readFile(file, &error);
  if (!content) {
    throw CampaignsError("cannot read campaigns file " + file.string() + ": " + error.description);
  }
  return parse(*content, file.parent_path(), file.string());
}

Campaigns Campaigns::parse(std::string_view json, const std::filesystem::path& folder,
                           const std::string& name) {
  const Reader read{name, folder};
  ParsedJson root;
  try {
    root = platform::parseJson(json);
  } catch (const platform::DecodingError& error) {
    throw CampaignsError(name + " is not valid JSON: " + error.what());
  }
  if (!root.is_object()) read.fail("(top)", "expected an object");
  Campaigns out;
  if (auto seat = read.optionalText(root, "seat", "(top)")) out.seat = *seat;
  if (auto currency = read.optionalText(root, "currency", "(top)")) out.currency = *currency;
  if (!root.contains("campaigns") || !root["campaigns"].is_array()) {
    read.fail("campaigns", "expected a list of campaigns");
  }
  const auto& list = root["campaigns"];
  if (list.size() > kMaxCampaigns) read.fail("campaigns", "more than 1000 campaigns");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string path = "campaigns[" + std::to_string(i) + "]";
    const ParsedJson& entry = list[i];
    if (!entry.is_object()) read.fail(path, "expected an object");
    Campaign campaign;
    campaign.id = read.text(entry, "id", path);
    if (!std::all_of(campaign.id.begin(), campaign.id.end(), [](char c) {
          return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
        })) {
      read.fail(path + ".id", "letters, digits, - and _ only");
    }
    for (const auto& other : out.campaigns) {
      if (other.id == campaign.id) read.fail(path + ".id", "\"" + campaign.id + "\" twice");
    }
    campaign.title = read.text(entry, "title", path);
    campaign.description = read.optionalText(entry, "description", path);
    campaign.callToAction = read.optionalText(entry, "callToAction", path);
    campaign.sponsoredBy = read.optionalText(entry, "sponsoredBy", path);
    campaign.domain = read.optionalText(entry, "domain", path);
    campaign.clickUrl = read.text(entry, "clickUrl", path);
    if (!platform::Url::parse(campaign.clickUrl))
      read.fail(path + ".clickUrl", "expected an http(s) URL");
    if (entry.contains("icon")) campaign.icon = read.picture(entry, "icon", campaign.id, path, out);
    if (entry.contains("image")) {
      campaign.image = read.picture(entry, "image", campaign.id, path, out);
    }
    if (!entry.contains("price")) read.fail(path + ".price", "missing");
    campaign.price = read.number(entry["price"], path + ".price", 0);
    if (!entry.contains("formats") || !entry["formats"].is_array() || entry["formats"].empty()) {
      read.fail(path + ".formats", "expected a list of formats");
    }
    for (const auto& format : entry["formats"]) {
      const auto& known = knownFormats();
      if (!format.is_string() ||
          std::find(known.begin(), known.end(), format.get<std::string>()) == known.end()) {
        read.fail(path + ".formats",
                  "expected formats among banner, mrec, interstitial, "
                  "rewarded, native, lightPopup, lineBanner, appOpen");
      }
      campaign.formats.push_back(format.get<std::string>());
    }
    if (entry.contains("frequencyCap") && !entry["frequencyCap"].is_null()) {
      if (!entry["frequencyCap"].is_number_integer() ||
          entry["frequencyCap"].get<std::int64_t>() < 1 ||
          entry["frequencyCap"].get<std::int64_t>() > 1'000'000) {
        read.fail(path + ".frequencyCap", "expected impressions per day, from 1");
      }
      campaign.frequencyCap = static_cast<int>(entry["frequencyCap"].get<std::int64_t>());
    }
    if (entry.contains("budget") && !entry["budget"].is_null()) {
      campaign.budget = read.number(entry["budget"], path + ".budget", 0);
    }
    if (entry.contains("exp")) campaign.exp = read.number(entry["exp"], path + ".exp", 0);
    out.campaigns.push_back(std::move(campaign));
  }
  return out;
}

}  // namespace tilo::devserver
