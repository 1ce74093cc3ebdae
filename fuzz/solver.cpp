// Random call sequences on the Auto Layout solver. Whatever the calls, nothing may crash
// or hang; with moderate numbers, every required constraint in the solver holds after every
// call, a refused constraint leaves every value exactly as it was, and statuses agree with
// what the sequence did (duplicates, unknowns, non-finite values).
#include <cmath>
#include <cstdint>
#include <cstdlib>
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

// Moderate values first: the invariants are checked only while every number in the
// solver comes from the first kModerate entries.
constexpr double kCoefficients[] = {1,  -1,    2,       -2,   0.5,  3,   -0.25,
                                    10, 1e300, -1e-300, 1e-9, kNaN, kInf};
constexpr double kConstants[] = {0, 10, -10, 100, -100, 0.5, 44, -8, 1e300, -1e200, kNaN, -kInf};
constexpr std::size_t kModerateCoefficients = 8, kModerateConstants = 8;
const double kStrengths[] = {strength::required,
                             strength::strong,
                             strength::medium,
                             strength::weak,
                             strength::create(0, 2.5, 0),
                             0.0,
                             kNaN};

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return position_ >= size_; }
  std::size_t next(std::size_t bound) { return empty() ? 0 : data_[position_++] % bound; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

bool holds(const Constraint& constraint) {
  const Expression& expression = constraint.expression();
  double scale = 1 + std::fabs(expression.constant());
  for (const Term& term : expression.terms()) scale += std::fabs(term.value());
  const double value = expression.value(), tolerance = 1e-7 * scale;
  switch (constraint.relation()) {
    case Relation::lessOrEqual:
      return value <= tolerance;
    case Relation::greaterOrEqual:
      return value >= -tolerance;
    case Relation::equal:
      return std::fabs(value) <= tolerance;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  std::vector<Variable> variables(5);
  Solver solver;
  std::vector<Constraint> added;  // accepted and not removed
  std::vector<Constraint> seen;   // everything built, for duplicate and unknown calls
  bool moderate = true;
  auto snapshot = [&] {
    solver.updateVariables();
    std::vector<double> values;
    for (const Variable& variable : variables) values.push_back(variable.value());
    return values;
  };

  for (int step = 0; step < 64 && !input.empty(); ++step) {
    switch (input.next(6)) {
      case 0: {
        std::vector<Term> terms;
        bool finite = true, tame = true;
        for (std::size_t n = input.next(3) + 1; n > 0; --n) {
          const std::size_t c = input.next(std::size(kCoefficients));
          terms.push_back({variables[input.next(variables.size())], kCoefficients[c]});
          finite = finite && std::isfinite(kCoefficients[c]);
          tame = tame && c < kModerateCoefficients;
        }
        const std::size_t k = input.next(std::size(kConstants));
        finite = finite && std::isfinite(kConstants[k]);
        tame = tame && k < kModerateConstants;
        const double weight = kStrengths[input.next(std::size(kStrengths))];
        finite = finite && !std::isnan(weight);
        const Constraint constraint(Expression(terms, kConstants[k]),
                                    static_cast<Relation>(input.next(3)), weight);
        const std::vector<double> before = snapshot();
        const SolverStatus status = solver.addConstraint(constraint);
        seen.push_back(constraint);
        if (!finite) {
          check(status == SolverStatus::nonFiniteValue);
        } else if (status == SolverStatus::ok) {
          added.push_back(constraint);
          moderate = moderate && tame;
        } else {
          check(status == SolverStatus::unsatisfiableConstraint && constraint.isRequired());
          check(snapshot() == before || !moderate);
        }
        break;
      }
      case 1: {
        if (seen.empty()) break;
        const Constraint victim = seen[input.next(seen.size())];
        const bool present = solver.hasConstraint(victim);
        const SolverStatus status = solver.removeConstraint(victim);
        check(status == (present ? SolverStatus::ok : SolverStatus::unknownConstraint));
        std::erase(added, victim);
        break;
      }
      case 2: {
        const Variable& variable = variables[input.next(variables.size())];
        const bool editing = solver.hasEditVariable(variable);
        const double weight = kStrengths[input.next(std::size(kStrengths))];
        const SolverStatus status = solver.addEditVariable(variable, weight);
        if (editing) {
          check(status == SolverStatus::duplicateEditVariable);
        } else if (std::isnan(weight)) {
          check(status == SolverStatus::nonFiniteValue);
        } else {
          check(status == (weight >= strength::required ? SolverStatus::badRequiredStrength
                                                        : SolverStatus::ok));
        }
        break;
      }
      case 3: {
        const Variable& variable = variables[input.next(variables.size())];
        const std::size_t k = input.next(std::size(kConstants));
        const SolverStatus status = solver.suggestValue(variable, kConstants[k] * 3);
        if (!solver.hasEditVariable(variable)) {
          check(status == SolverStatus::unknownEditVariable);
        } else {
          check(status == (std::isfinite(kConstants[k] * 3) ? SolverStatus::ok
                                                            : SolverStatus::nonFiniteValue));
          moderate = moderate && (status != SolverStatus::ok || k < kModerateConstants);
        }
        break;
      }
      case 4: {
        const Variable& variable = variables[input.next(variables.size())];
        const bool editing = solver.hasEditVariable(variable);
        check(solver.removeEditVariable(variable) ==
              (editing ? SolverStatus::ok : SolverStatus::unknownEditVariable));
        break;
      }
      default:
        if (!added.empty())
          check(solver.addConstraint(added.front()) == SolverStatus::duplicateConstraint);
        break;
    }
    check(solver.constraintCount() == added.size());
    if (moderate) {
      snapshot();
      for (const Constraint& constraint : added) {
        if (constraint.isRequired()) check(holds(constraint));
      }
    }
  }
  return 0;
}
