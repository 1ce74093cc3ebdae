#include "platform/ui/solver/SolverStatus.h"

namespace tilo::platform::solver {

const char* describe(SolverStatus status) {
  switch (status) {
    case SolverStatus::ok:
      return "ok";
    case SolverStatus::duplicateConstraint:
      return "the constraint is already in the solver";
    case SolverStatus::unsatisfiableConstraint:
      return "the required constraint conflicts with required constraints in the solver";
    case SolverStatus::unknownConstraint:
      return "the constraint is not in the solver";
    case SolverStatus::duplicateEditVariable:
      return "the variable is already being edited";
    case SolverStatus::unknownEditVariable:
      return "the variable is not being edited";
    case SolverStatus::badRequiredStrength:
      return "an edit variable cannot be required";
    case SolverStatus::nonFiniteValue:
      return "a coefficient, constant, strength or value is not finite";
  }
  return "unknown solver status";
}

}  // namespace tilo::platform::solver
