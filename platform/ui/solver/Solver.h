// An incremental linear-constraint solver of the Cassowary family: a simplex tableau with
// error variables for non-required constraints, minimizing Σ strength·error.
//
//   Solver solver;
//   Variable left("left"), width("width");
//   solver.addConstraint(left >= 0);
//   solver.addConstraint((width == 320) | strength::strong);
//   solver.addEditVariable(left, strength::medium);
//   solver.suggestValue(left, 12);   // cheap: a dual-simplex re-solve
//   solver.updateVariables();        // left.value() == 12, width.value() == 320
//
// Every call returns a SolverStatus; on any status but ok nothing changed. No exception
// escapes (short of running out of memory). When several solutions are equally good, which
// one comes out is unspecified, but the same sequence of calls gives the same values on
// every machine.
//
// Warning: one thread. The solver and the variables it writes are not synchronized.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/ui/solver/Constraint.h"
#include "platform/ui/solver/Expression.h"
#include "platform/ui/solver/SolverStatus.h"
#include "platform/ui/solver/Strength.h"
#include "platform/ui/solver/Variable.h"

namespace tilo::platform::solver {

class Tableau;

class Solver {
 public:
  Solver();
  ~Solver();
  Solver(Solver&&) noexcept;
  Solver& operator=(Solver&&) noexcept;
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;

  // On any status but ok nothing changed.
  SolverStatus addConstraint(const Constraint& constraint);
  SolverStatus removeConstraint(const Constraint& constraint);
  bool hasConstraint(const Constraint& constraint) const;

  // Edits `variable` through a non-required `variable == suggestion` constraint.
  SolverStatus addEditVariable(const Variable& variable, double strength);
  SolverStatus removeEditVariable(const Variable& variable);
  bool hasEditVariable(const Variable& variable) const;
  // Moves the edit constant and re-solves from the current optimum.
  SolverStatus suggestValue(const Variable& variable, double value);

  // Writes value() of every variable the solver knows. A variable that the last
  // constraint naming it has left gets 0 once, and is then forgotten.
  void updateVariables();
  // Forgets every constraint, edit and variable.
  void reset();
  // Constraints added with addConstraint and not removed; edit variables are not counted.
  std::size_t constraintCount() const;
  // After addConstraint returned unsatisfiableConstraint: the required constraints already
  // in the solver that it conflicts with (best effort, may be empty), in the order they
  // were added. Cleared by the next addConstraint.
  std::vector<Constraint> conflictingConstraints() const;

 private:
  Tableau& tableau() const;

  mutable std::unique_ptr<Tableau> tableau_;
};

}  // namespace tilo::platform::solver
