// Random call sequences on the Auto Layout solver, with tame, huge and non-finite numbers.
// Whatever the calls, nothing may crash or hang and a non-finite value is refused; while
// every number in the solver is moderate, a refused call leaves every value exactly as it
// was and every required constraint in the solver holds after every call.
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

#include "fuzz/support/FuzzSupport.h"
#include "platform/ui/solver/Solver.h"

namespace {

using namespace tilo::platform::solver;
using tilo::fuzz::check;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Moderate values first, non-finite ones last.
constexpr double kValues[] = {1,  -1,    2,       -0.25, 10,     -10,  100,
                              44, 1e300, -1e-300, 1e-9,  -1e200, kNaN, -kInf};
constexpr std::size_t kModerate = 8, kFinite = 12;
const double kStrengths[] = {
    strength::required, strength::strong, strength::medium, strength::weak, 0.0, kNaN};

bool holds(const Constraint& constraint) {
  const Expression& expression = constraint.expression();
  double scale = 1 + std::fabs(expression.constant());
  for (const Term& term : expression.terms()) scale += std::fabs(term.value());
  const double value = expression.value(), tolerance = 1e-7 * scale;
  if (constraint.relation() == Relation::lessOrEqual) return value <= tolerance;
  if (constraint.relation() == Relation::greaterOrEqual) return value >= -tolerance;
  return std::fabs(value) <= tolerance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t position = 0;
  auto next = [&](std::size_t bound) { return position < size ? data[position++] % bound : 0; };
  std::vector<Variable> variables(5);
  Solver solver;
  // Everything built, for duplicate and unknown calls, and whether its numbers are moderate.
  std::vector<std::pair<Constraint, bool>> seen;
  bool moderate = true;
  auto snapshot = [&] {
    solver.updateVariables();
    std::vector<double> values;
    for (const Variable& variable : variables) values.push_back(variable.value());
    return values;
  };

  for (int step = 0; step < 64 && position < size; ++step) {
    const Variable& variable = variables[next(variables.size())];
    const std::size_t k = next(std::size(kValues));
    const double weight = kStrengths[next(std::size(kStrengths))];
    const std::vector<double> before = snapshot();
    SolverStatus status = SolverStatus::ok;
    switch (next(5)) {
      case 0: {
        std::vector<Term> terms;
        std::size_t largest = k;
        for (std::size_t n = next(3) + 1; n > 0; --n) {
          const std::size_t c = next(std::size(kValues));
          terms.push_back({variables[next(variables.size())], kValues[c]});
          largest = std::max(largest, c);
        }
        const Constraint constraint(Expression(terms, kValues[k]), static_cast<Relation>(next(3)),
                                    weight);
        seen.emplace_back(constraint, largest < kModerate);
        status = solver.addConstraint(constraint);
        if (largest >= kFinite || std::isnan(weight)) check(status != SolverStatus::ok);
        if (status == SolverStatus::ok) moderate = moderate && largest < kModerate;
        break;
      }
      case 1:
        if (!seen.empty()) {
          const auto& [constraint, tame] = seen[next(seen.size())];
          status = next(2) ? solver.removeConstraint(constraint) : solver.addConstraint(constraint);
          if (status == SolverStatus::ok) moderate = moderate && tame;
        }
        break;
      case 2:
        status = solver.addEditVariable(variable, weight);
        break;
      case 3:
        status = solver.suggestValue(variable, kValues[k] * 3);
        if (k >= kFinite) check(status != SolverStatus::ok);
        if (status == SolverStatus::ok) moderate = moderate && k < kModerate;
        break;
      default:
        status = solver.removeEditVariable(variable);
        break;
    }
    if (!moderate) continue;
    check(status == SolverStatus::ok || snapshot() == before);
    snapshot();
    for (const auto& [constraint, tame] : seen) {
      if (constraint.isRequired() && solver.hasConstraint(constraint)) check(holds(constraint));
    }
  }
  return 0;
}
