// Owns the initialized state that every ad load waits for.
#pragma once

#include "platform/Reactive.h"

namespace tilo {

class AdProviding {
 public:
  virtual ~AdProviding() = default;
  // Replays the current value (false until the networks are initialized).
  virtual platform::Publisher<bool> initializedPublisher() = 0;
};

}  // namespace tilo
