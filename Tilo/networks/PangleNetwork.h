// Pangle: its mediation adapter needs no preparation.
#pragma once

#include "Tilo/networks/ADNetwork.h"

namespace tilo {

class PangleNetwork final : public ADNetwork {
 public:
  std::string name() const override;
};

}  // namespace tilo
