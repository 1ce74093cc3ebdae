// One ad network the SDK prepares before ads load: it receives the host's privacy
// choices, then is started. Adapters are called one at a time, in list order.
#pragma once

#include <functional>
#include <string>

#include "Tilo/base/PrivacySettings.h"

namespace tilo {

class ADNetwork {
 public:
  virtual ~ADNetwork() = default;
  virtual std::string name() const = 0;
  // Completes once, on any thread, with true when the network is ready. Never fails
  // otherwise: false is only counted.
  virtual void initialize(std::function<void(bool)> completion) { completion(true); }
  // Forwards only the values that are present.
  virtual void applyPrivacy(const PrivacySettings&) {}
};

}  // namespace tilo
