#include "mediation/GADRequest.h"

#include <algorithm>

namespace tilo::mediation {

std::shared_ptr<GADRequest> GADRequest::create() {
  return std::make_shared<GADRequest>();
}

void GADRequest::registerAdNetworkExtras(std::shared_ptr<GADAdNetworkExtras> extras) {
  if (!extras) return;
  std::lock_guard lock(mutex_);
  std::erase_if(extras_,
                [&](const auto& existing) { return existing->className() == extras->className(); });
  extras_.push_back(std::move(extras));
}

std::vector<std::shared_ptr<GADAdNetworkExtras>> GADRequest::adNetworkExtras() const {
  std::lock_guard lock(mutex_);
  return extras_;
}

}  // namespace tilo::mediation
