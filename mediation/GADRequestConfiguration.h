// Settings applied to every request the platform makes.
#pragma once

#include <mutex>
#include <optional>

namespace tilo::mediation {

class GADRequestConfiguration {
 public:
  // nullopt clears the tag. Recorded in CallRecorder under "GADMobileAds".
  void setTagForChildDirectedTreatment(std::optional<bool> tag);
  std::optional<bool> tagForChildDirectedTreatment() const;

 private:
  mutable std::mutex mutex_;
  std::optional<bool> tagForChildDirectedTreatment_;
};

}  // namespace tilo::mediation
