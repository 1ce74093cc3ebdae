// What a change to the solver came to: the tableau's answers, which Solver hands on.
#pragma once

namespace tilo::platform::solver {

enum class SolverStatus {
  ok,
  duplicateConstraint,      // addConstraint of one already added
  unsatisfiableConstraint,  // a required constraint that conflicts with the required ones present
  unknownConstraint,        // removeConstraint of one never added; the null constraint anywhere
  duplicateEditVariable,    // addEditVariable of a variable already being edited
  unknownEditVariable,      // removeEditVariable or suggestValue of a variable not being edited
  badRequiredStrength,      // an edit variable may not be required
  // NaN or infinity in a coefficient, constant, strength or suggested value (or a
  // suggestion so far from the last one that the step overflows)
  nonFiniteValue,
};
const char* describe(SolverStatus status);

}  // namespace tilo::platform::solver
