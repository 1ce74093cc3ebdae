#include "platform/ui/solver/Solver.h"

#include "platform/ui/solver/Tableau.h"

namespace tilo::platform::solver {

Solver::Solver() : tableau_(std::make_unique<Tableau>()) {}
Solver::~Solver() = default;
Solver::Solver(Solver&&) noexcept = default;
Solver& Solver::operator=(Solver&&) noexcept = default;

SolverStatus Solver::addConstraint(const Constraint& constraint) {
  return tableau().addConstraint(constraint);
}

SolverStatus Solver::removeConstraint(const Constraint& constraint) {
  return tableau().removeConstraint(constraint);
}

bool Solver::hasConstraint(const Constraint& constraint) const {
  return tableau().hasConstraint(constraint);
}

SolverStatus Solver::addEditVariable(const Variable& variable, double strength) {
  return tableau().addEditVariable(variable, strength);
}

SolverStatus Solver::removeEditVariable(const Variable& variable) {
  return tableau().removeEditVariable(variable);
}

bool Solver::hasEditVariable(const Variable& variable) const {
  return tableau().hasEditVariable(variable);
}

SolverStatus Solver::suggestValue(const Variable& variable, double value) {
  return tableau().suggestValue(variable, value);
}

void Solver::updateVariables() {
  tableau().updateVariables();
}

void Solver::reset() {
  tableau_ = std::make_unique<Tableau>();
}

Tableau& Solver::tableau() const {
  // A moved-from solver starts over empty instead of failing.
  if (!tableau_) tableau_ = std::make_unique<Tableau>();
  return *tableau_;
}

std::size_t Solver::constraintCount() const {
  return tableau().constraintCount();
}

std::vector<Constraint> Solver::conflictingConstraints() const {
  return tableau().conflictingConstraints();
}

}  // namespace tilo::platform::solver
