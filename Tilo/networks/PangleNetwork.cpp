#include "Tilo/networks/PangleNetwork.h"

namespace tilo {

std::string PangleNetwork::name() const {
  return "Pangle";
}

}  // namespace tilo
