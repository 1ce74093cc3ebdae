// Constraint strengths: one weight per constraint. A non-required constraint may be
// violated; the solver minimizes Σ strength·violation. Three tiers of up to 1000 each
// keep a stronger preference above many weaker ones: one `medium` outweighs up to a
// thousand `weak` ones. `required` is above every preference and is never violated.
//
//   solver.addConstraint((width == 100) | strength::medium);
//   solver.addConstraint((left >= 0) | strength::create(0, 750, 0));  // between tiers
#pragma once

#include <algorithm>

namespace tilo::platform::solver::strength {

// strong·10⁶ + medium·10³ + weak, each factor times `weight` and clipped to [0, 1000].
// constexpr so that the constants below are initialized before any static user.
constexpr double create(double strong, double medium, double weak, double weight = 1.0) {
  auto tier = [weight](double factor) { return std::clamp(factor * weight, 0.0, 1000.0); };
  return tier(strong) * 1000000.0 + tier(medium) * 1000.0 + tier(weak);
}

inline const double required = create(1000, 1000, 1000);
inline const double strong = create(1, 0, 0);
inline const double medium = create(0, 1, 0);
inline const double weak = create(0, 0, 1);

// `value` clipped into [0, required]. NaN stays NaN so that the solver can refuse it.
double clip(double value);

}  // namespace tilo::platform::solver::strength
