// Three house campaigns made of the SDK's built-in test creatives, for a first run of the
// exchange: tilo-keytool init writes them beside app-info.json, tilo-demo --campaigns
// sample serves them.
//
//   for (const auto& file : SampleCampaigns::files()) write(dir / file.name, file.content);
//   tilo-devserver ... --campaigns DIR/campaigns.json
//
// Every format has a winner: Sky Harbor (4.00 CPM) for interstitial and rewarded ads,
// Tilo Puzzle Quest (3.00) for app open, banner, MREC and the native formats, Tilo Word
// Garden (2.50) second for interstitials, banners and native ads.
#pragma once

#include <string>
#include <vector>

namespace tilo::devserver {

class SampleCampaigns {
 public:
  static constexpr const char* kFileName = "campaigns.json";

  struct File {
    std::string name;  // relative to the folder: "campaigns.json", "sky-harbor-icon.png", ...
    std::string content;
  };
  static std::vector<File> files();
};

}  // namespace tilo::devserver
