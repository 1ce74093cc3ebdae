#include "mediation/GADRequestConfiguration.h"

#include "mediation/CallRecorder.h"
#include "mediation/demand/PrivacySignals.h"

namespace tilo::mediation {

void GADRequestConfiguration::setTagForChildDirectedTreatment(std::optional<bool> tag) {
  {
    std::lock_guard lock(mutex_);
    tagForChildDirectedTreatment_ = tag;
  }
  demand::PrivacySignals::shared().hearChildDirected(tag);
  CallRecorder::shared().record(
      "GADMobileAds",
      "requestConfiguration.setTagForChildDirectedTreatment:", tag ? boolText(*tag) : "nil");
}

std::optional<bool> GADRequestConfiguration::tagForChildDirectedTreatment() const {
  std::lock_guard lock(mutex_);
  return tagForChildDirectedTreatment_;
}

}  // namespace tilo::mediation
