#include "platform/ui/solver/Strength.h"

#include <cmath>

namespace tilo::platform::solver::strength {

double clip(double value) {
  if (std::isnan(value)) return value;
  return std::clamp(value, 0.0, required);
}

}  // namespace tilo::platform::solver::strength
