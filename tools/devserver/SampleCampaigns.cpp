#include "tools/devserver/SampleCampaigns.h"

#include <string_view>

#include "mediation/EmbeddedCreatives.h"
#include "platform/Json.h"

namespace tilo::devserver {
namespace {

using platform::Json;

std::string embedded(std::string_view name) {
  for (std::size_t i = 0; i < mediation::kEmbeddedCreativeFileCount; ++i) {
    const auto& file = mediation::kEmbeddedCreativeFiles[i];
    if (name == file.name) return std::string(reinterpret_cast<const char*>(file.data), file.size);
  }
  return {};
}

Json campaign(const char* id, const char* title, const char* description, const char* cta,
              const char* art, double price, std::vector<std::string> formats) {
  return Json{{"id", id},
              {"title", title},
              {"description", description},
              {"callToAction", cta},
              {"sponsoredBy", "Tilo Games"},
              {"icon", std::string(art) + "-icon.png"},
              {"image", std::string(art) + "-media.png"},
              {"clickUrl", std::string("https://example.com/tilo/house/") + id},
              {"domain", "example.com"},
              {"price", price},
              {"formats", std::move(formats)},
              {"frequencyCap", 100},
              {"budget", 50}};
}

}  // namespace

std::vector<SampleCampaigns::File> SampleCampaigns::files() {
  const Json document{
      {"seat", "Tilo House"},
      {"currency", "USD"},
      {"campaigns",
       Json::array(
           {campaign("sky-harbor", "Sky Harbor",
                     "Sail your airship between floating islands and find the lost treasure.",
                     "Install free", "harbor", 4.0, {"interstitial", "rewarded"}),
            campaign("puzzle-quest", "Tilo Puzzle Quest",
                     "Match tiles, clear levels and collect daily rewards.", "Install", "puzzle",
                     3.0, {"appOpen", "banner", "mrec", "native", "lightPopup", "lineBanner"}),
            campaign("word-garden", "Tilo Word Garden",
                     "Grow a garden one word at a time. New puzzles every day.", "Play now",
                     "garden", 2.5, {"interstitial", "banner", "mrec", "native"})})}};
  std::vector<File> out{{kFileName, document.dump(2) + "\n"}};
  for (const char* art : {"harbor", "puzzle", "garden"}) {
    for (const char* part : {"-icon.png", "-media.png"}) {
      const std::string name = std::string(art) + part;
      out.push_back({name, embedded(name)});
    }
  }
  return out;
}

}  // namespace tilo::devserver
