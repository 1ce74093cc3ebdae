// The house campaigns the devserver's exchange sells: what each shows, what it bids, the
// formats it serves and its limits, read from a JSON file whose pictures lie beside it.
//
//   Campaigns campaigns = Campaigns::load("my-game/campaigns.json");  // CampaignsError
//
//   {"seat": "Tilo House", "currency": "USD",
//    "campaigns": [{"id": "sky-harbor", "title": "Sky Harbor", "description": "...",
//                   "callToAction": "Install", "sponsoredBy": "Tilo Games",
//                   "icon": "sky-harbor-icon.png", "image": "sky-harbor-media.png",
//                   "clickUrl": "https://example.com/sky-harbor", "domain": "example.com",
//                   "price": 4.5, "formats": ["interstitial", "rewarded"],
//                   "frequencyCap": 10, "budget": 25, "exp": 3600}]}
//
// Refusals name the file and the field, and for a picture what is wrong with it (missing,
// unreadable, not a PNG or JPEG).
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tilo::devserver {

class CampaignsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A picture the exchange serves under /openrtb2/creatives/<name>.
struct CreativeFile {
  std::string name;
  std::string contentType;
  std::string bytes;
  int width = 0, height = 0;
};

struct Campaign {
  std::string id;
  std::string title;
  std::optional<std::string> description, callToAction, sponsoredBy, domain;
  std::string clickUrl;
  std::optional<std::string> icon, image;  // names of files
  double price = 0;                        // CPM bid
  std::vector<std::string> formats;        // Tilo formats; "lineBanner" counts as "native"
  std::optional<int> frequencyCap;         // impressions per app and day
  std::optional<double> budget;            // total spend, in the file's currency
  double exp = 3600;                       // seconds an answer stays valid
};

struct Campaigns {
  static constexpr std::size_t kMaxCampaigns = 1000;
  static constexpr std::size_t kMaxFileBytes = 4 << 20;

  std::string seat = "Tilo House";
  std::string currency = "USD";
  std::vector<Campaign> campaigns;
  std::map<std::string, CreativeFile, std::less<>> files;

  // The file's campaigns; relative picture paths are taken from the file's folder.
  static Campaigns load(const std::filesystem::path& file);
  static Campaigns parse(std::string_view json, const std::filesystem::path& folder,
                         const std::string& name = "campaigns");
  // The Tilo formats a campaign may list.
  static const std::vector<std::string>& knownFormats();
};

}  // namespace tilo::devserver
