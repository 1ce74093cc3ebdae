// What a load response says about the networks the platform tried.
//
//   double ms = 0;
//   for (const auto& entry : ad->responseInfo().adNetworkInfoArray) ms += entry.latency * 1000;
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tilo::mediation {

struct GADAdNetworkResponseInfo {
  std::optional<std::string> adSourceName;  // absent when the source is unnamed
  double latency = 0;                       // seconds this network took

  bool operator==(const GADAdNetworkResponseInfo&) const = default;
};

struct GADResponseInfo {
  std::string responseIdentifier;
  // The network that served the ad; absent when the response names none.
  std::optional<GADAdNetworkResponseInfo> loadedAdNetworkResponseInfo;
  // Every network tried, in order; the serving one last.
  std::vector<GADAdNetworkResponseInfo> adNetworkInfoArray;

  bool operator==(const GADResponseInfo&) const = default;
};

}  // namespace tilo::mediation
