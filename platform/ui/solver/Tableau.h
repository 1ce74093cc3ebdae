// Internal to the solver: the simplex tableau behind Solver (see Solver.h for the contract).
//
// Rows `basic = constant + Σ coefficient·parameter`, one per basic symbol, and an objective
// `Σ strength·error` to minimize. Every stored constraint has a tag: its marker symbol
// (the slack, dummy or first error symbol that appears in its equation only) and the
// other error symbol, so that removal can pivot the marker into the basis and drop exactly
// that equation.
//
// Invariants kept between calls:
// - every restricted basic symbol has a constant >= 0 (feasible) and no objective
//   coefficient of a pivotable parameter is negative (optimal);
// - parametric external symbols appear only in rows of external symbols, so the objective
//   and the restricted rows are over restricted symbols alone;
// - a basic dummy has only dummies as parameters and a zero constant.
//
// Anti-cycling: every choice is Bland's rule over symbol ids (creation order). The primal
// simplex enters the lowest-id improving parameter and, among rows tied in the ratio test,
// leaves the lowest-id basic symbol; the dual simplex leaves the lowest-id infeasible row
// and enters the parameter with the least ratio, lowest id on ties. Bland's rule cannot
// cycle in exact arithmetic; as a last guard against rounding, each optimization stops
// after a pivot budget far above what any finite run needs (kPivotBudget).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/ui/solver/Constraint.h"
#include "platform/ui/solver/Row.h"
#include "platform/ui/solver/Solver.h"
#include "platform/ui/solver/Symbol.h"
#include "platform/ui/solver/Variable.h"

namespace tilo::platform::solver {

class Tableau {
 public:
  SolverStatus addConstraint(const Constraint& constraint);
  SolverStatus removeConstraint(const Constraint& constraint);
  bool hasConstraint(const Constraint& constraint) const;
  SolverStatus addEditVariable(const Variable& variable, double strength);
  SolverStatus removeEditVariable(const Variable& variable);
  bool hasEditVariable(const Variable& variable) const;
  SolverStatus suggestValue(const Variable& variable, double value);
  void updateVariables();
  std::size_t constraintCount() const { return constraints_.size() - edits_.size(); }
  const std::vector<Constraint>& conflictingConstraints() const { return conflicts_; }

  // Pivots made since construction; lets tests see that an edit re-solves incrementally.
  std::uint64_t pivotCount() const { return pivots_; }

 private:
  struct Tag {
    Symbol marker;
    Symbol other;
  };
  struct EditInfo {
    Tag tag;
    Constraint constraint;
    double constant = 0;
  };
  struct VariableEntry {
    Symbol symbol;
    std::size_t uses = 0;
  };
  struct BasicRow {
    Symbol basic;
    Row row;
  };
  // The rows an artificial-variable attempt touched, as they were before, so that a
  // refused constraint leaves the tableau exactly as it found it.
  struct Journal {
    bool active = false;
    std::unordered_set<std::uint64_t> touched;
    std::vector<std::pair<Symbol, std::optional<Row>>> saved;
    Row objective;
  };

  // Upper bound on pivots per optimization (see the header comment).
  static constexpr std::size_t kPivotBudget = 1000000;

  SolverStatus insertConstraint(const Constraint& constraint);
  Row createRow(const Constraint& constraint, Tag& tag, std::vector<Variable>& created);
  Symbol chooseSubject(const Row& row, const Tag& tag) const;
  bool addWithArtificialVariable(const Row& row, const Tag& tag);
  void optimize(const Row& objective);
  void dualOptimize();
  void pivot(Symbol leaving, Symbol entering);
  std::optional<Symbol> markerLeavingRow(Symbol marker) const;
  void substitute(Symbol symbol, const Row& row);
  void release(const Constraint& constraint);
  void forget(Symbol symbol);
  std::vector<Constraint> requiredConstraintsMarkedIn(const Row& row, const Tag& except) const;

  Symbol newSymbol(SymbolKind kind) { return Symbol(nextSymbolId_++, kind); }
  Symbol symbolFor(const Variable& variable, std::vector<Variable>& created);

  // Row storage: a dense vector for fast scans plus an index by symbol for lookups.
  Row* rowFor(Symbol basic);
  const Row* rowFor(Symbol basic) const;
  void insertRow(Symbol basic, Row row);
  Row takeRow(Symbol basic);
  // Saves the row of `basic` (or its absence) the first time an attempt touches it.
  void journal(Symbol basic);
  void beginJournal();
  void commitJournal();
  void rollBackJournal();

  std::uint64_t nextSymbolId_ = 1;
  std::vector<BasicRow> rows_;
  std::unordered_map<std::uint64_t, std::size_t> rowIndex_;
  Row objective_;
  // The phase-one objective while an artificial variable is in the tableau.
  std::optional<Row> artificial_;
  // Restricted basic symbols with a negative constant, by id (for the dual simplex).
  std::set<Symbol> infeasible_;

  std::unordered_map<Constraint, Tag> constraints_;
  std::unordered_map<Variable, VariableEntry> variables_;
  std::unordered_map<Variable, EditInfo> edits_;
  // Variables whose last constraint went away: written 0 by the next updateVariables.
  std::vector<Variable> forgotten_;
  std::vector<Constraint> conflicts_;
  Journal journal_;
  std::uint64_t pivots_ = 0;
};

}  // namespace tilo::platform::solver
