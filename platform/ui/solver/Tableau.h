// Internal to the solver: the simplex tableau behind Solver (see Solver.h for the contract).
//
// Rows `basic = constant + Σ coefficient·parameter`, one per basic symbol, and an objective
// `Σ strength·error` to minimize. A column index (parameter -> the basic symbols whose rows
// hold it) keeps substitutions, ratio tests and marker searches to the rows that hold the
// symbol instead of a scan of every row. Every stored constraint has a tag: its marker
// symbol (the slack, dummy or first error symbol that appears in its equation only) and
// the other error symbol, so that removal can pivot the marker into the basis and drop
// exactly that equation.
//
// Rows of external symbols (the user's variables) may refer to other external rows: a
// cell whose symbol is a basic external stands for that symbol's row. The simplex never
// reads external rows (it optimizes over restricted symbols only), so they need not be
// spelled out in parameters. Where a constraint names a variable whose row is long, its
// new row refers to that row instead of copying it: a chain `x(i+1) = x(i) + h(i) + 2`
// then keeps rows of a few dozen cells instead of rows as long as the chain, and a column
// of n views costs about n cells and steps instead of n². References are expanded where
// the algebra needs parameters: a new constraint whose equation has no free external
// symbol to solve for. Values are summed up the references when variables are read, each
// row once per change.
//
// References never form a cycle: a row made with references solves for an external
// symbol that no reference can reach. A row is "open" when a free (parametric) external
// symbol may lie behind it: an open reference is expanded before a subject is chosen, so
// that subject choice sees every free external as the fully expanded row would, and the
// results are those of a tableau without references.
//
// Invariants kept between calls:
// - every restricted basic symbol has a constant >= 0 (feasible) and no objective
//   coefficient of a pivotable parameter is negative (optimal);
// - parametric external symbols and references appear only in rows of external symbols,
//   so the objective and the restricted rows are over restricted symbols alone;
// - a basic dummy has only dummies as parameters and a zero constant;
// - a row whose value is stale is dirty, and so is every row that refers to it; a row
//   that may reach a parametric external symbol is open, and so is every row referring
//   to it.
//
// Anti-cycling: the primal simplex enters the parameter with the steepest objective
// coefficient (Dantzig), but after kDegenerateRun consecutive pivots that leave the
// objective where it was it switches to Bland's rule over symbol ids (creation order) until
// the objective moves again: the lowest-id improving parameter enters and, among rows tied
// in the ratio test, the lowest-id basic symbol leaves. Cycling needs an endless run of
// degenerate pivots, which Bland's rule cannot produce, and the objective can only move
// down finitely often. The dual simplex always follows Bland's rule: the lowest-id
// infeasible row leaves, the least-ratio parameter enters, lowest id on ties. As a last
// guard against rounding, each optimization stops after a pivot budget far above what any
// finite run needs (pivotBudget).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/ui/solver/Constraint.h"
#include "platform/ui/solver/Objective.h"
#include "platform/ui/solver/Row.h"
#include "platform/ui/solver/SolverStatus.h"
#include "platform/ui/solver/Symbol.h"
#include "platform/ui/solver/SymbolMap.h"
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

 private:
  struct Tag {
    Symbol marker;
    Symbol other;
  };
  static constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);
  struct BasicRow;
  struct EditInfo {
    Tag tag;
    Constraint constraint;
    double constant = 0;
    // The rows holding the marker as a parameter, with its coefficient, as of `columnAt`
    // (rows stay in place until the structure changes): a run of suggestions between
    // pivots then touches only those rows.
    std::vector<std::pair<BasicRow*, double>> column;
    std::uint64_t columnAt = ~std::uint64_t{0};
  };
  struct VariableEntry {
    Variable variable;
    Symbol symbol;
    std::size_t uses = 0;
    // Its row (none when parametric) as of slotsAt_.
    BasicRow* row = nullptr;
  };
  struct BasicRow {
    Symbol basic;
    Row row;
    bool open = false;  // external rows: a parametric external may lie behind it
    bool dirty = true;  // external rows: `value` is stale
    // External rows: their cells of external symbols (references or free ones), kept
    // with the cells; and how many rows refer to this one.
    std::vector<Cell> externals;
    std::uint32_t referrers = 0;
    double value = 0;        // external rows: the constant with every reference summed in
    std::uint64_t mark = 0;  // visited by the walk with this stamp
    double pending = 0;      // coefficient gathered by an expansion walk
  };
  // The rows an artificial-variable attempt touched, as they were before, and the
  // objective's cells before each change, so that a refused constraint leaves the tableau
  // exactly as it found it.
  struct Journal {
    bool active = false;
    SymbolMap<char> touched;
    std::vector<std::pair<Symbol, std::optional<Row>>> saved;
    std::vector<std::pair<Symbol, double>> objectiveCells;
    double objectiveConstant = 0;
  };

  // Upper bound on pivots per optimization (see the header comment): far above the few
  // pivots per row that real runs take.
  std::size_t pivotBudget() const { return 10000 + 100 * rows_.size(); }
  // Rows of at most this many cells are spelled out where a constraint names their
  // variable, as if there were no references; longer ones are referred to.
  static constexpr std::size_t kInlineCells = 64;
  // Degenerate pivots in a row before the primal simplex turns to Bland's rule.
  static constexpr std::size_t kDegenerateRun = 50;

  SolverStatus insertConstraint(const Constraint& constraint);
  Row createRow(const Constraint& constraint, Tag& tag, std::vector<Variable>& created);
  Symbol chooseSubject(const Row& row, const Tag& tag) const;
  bool addWithArtificialVariable(const Row& row, const Tag& tag);
  // Minimizes the objective, or with `phaseOne` the artificial row.
  void optimize(bool phaseOne = false);
  void dualOptimize();
  void pivot(Symbol leaving, Symbol entering);
  std::optional<Symbol> markerLeavingRow(Symbol marker) const;
  void substitute(Symbol symbol, const Row& row);
  void release(const Constraint& constraint);
  void forget(Symbol symbol);
  std::vector<Constraint> requiredConstraintsMarkedIn(const Row& row, const Tag& except) const;

  // References: the lowest-id parametric external symbol among the cells (none when
  // invalid); whether a row may reach one; the references of `row` replaced by their
  // rows (only the open ones, or all), walking each row behind them once.
  Symbol parametricExternal(const Row& row) const;
  bool reachesParametric(const Row& row) const;
  bool hasOpenReference(const Row& row) const;
  void expandReferences(Row& row, bool onlyOpen);
  // Refreshes entry.externals from its cells, keeping rowsWithExternals_.
  void collectExternals(BasicRow& entry);
  // A row holding `parameter` gained (+1) or lost (-1) it: a basic external's referrers.
  void countReferrer(Symbol parameter, int change);
  // Sorts and sums `gathered_` into cells.
  const std::vector<Cell>& canonicalCells();
  // The value of the row in `slot`, its references summed in (cached until it changes).
  double valueOf(std::size_t slot);
  // The row of `basic` changed (or its meaning did): it and the rows that refer to it
  // are dirty; with `open`, they are open too.
  void markChanged(Symbol basic, bool open);
  void markChanged(BasicRow& entry, bool open);

  Symbol newSymbol(SymbolKind kind) { return Symbol(nextSymbolId_++, kind); }
  Symbol symbolFor(const Variable& variable, std::vector<Variable>& created);
  void eraseVariable(const Variable& variable);

  // Row storage: a dense vector for fast scans plus an index by symbol for lookups, and
  // the column index (kept exact by every change of a row's symbols). A column of a basic
  // external symbol lists the rows that refer to it.
  Row* rowFor(Symbol basic);
  const Row* rowFor(Symbol basic) const;
  const BasicRow* entryFor(Symbol basic) const;
  void insertRow(Symbol basic, Row row);
  Row takeRow(Symbol basic);
  // The basic symbols whose rows hold `parameter` (empty when none).
  const std::vector<Symbol>& column(Symbol parameter) const;
  // Takes the column of `parameter` out of the index: its rows are about to lose it.
  std::vector<Symbol> takeColumn(Symbol parameter);
  void eraseFromColumn(Symbol parameter, Symbol basic);
  void recordChanges(Symbol basic, const CellChanges& changes);
  // Called before the row of `basic` changes other than in its constant, or appears, or
  // goes: invalidates cached slots and columns, and saves the row (or its absence) the
  // first time an artificial-variable attempt touches it.
  void willChange(Symbol basic);
  void beginJournal();
  void commitJournal();
  void rollBackJournal();

  std::uint64_t nextSymbolId_ = 1;
  std::vector<BasicRow> rows_;
  // Rows holding an external symbol. While there are none, nothing refers to anything: a
  // row's value is its constant and no change needs to reach other rows.
  std::size_t rowsWithExternals_ = 0;
  SymbolMap<std::size_t> rowIndex_;
  SymbolMap<std::vector<Symbol>> columns_;
  CellChanges changes_;  // scratch for substitute
  // Objective symbols whose coefficient went below 0 since the objective was last
  // optimal (a superset of them, repeats allowed): the only candidates to enter, so that
  // the primal simplex does not scan the whole objective (one cell per error symbol) on
  // every pivot.
  std::vector<Symbol> candidates_;
  // Scratch for expansions and evaluation.
  std::uint64_t walk_ = 0;
  std::vector<std::size_t> order_;
  std::vector<std::pair<std::size_t, std::size_t>> stack_;
  struct Evaluation {
    std::size_t slot;
    std::size_t next;
    double sum;
  };
  std::vector<Evaluation> evaluating_;
  std::vector<Symbol> marking_;
  std::vector<Cell> gathered_;
  std::vector<Cell> canonical_;
  std::vector<double> dense_;
  std::vector<std::uint64_t> denseBits_;
  Objective objective_;
  // The phase-one objective while an artificial variable is in the tableau.
  std::optional<Row> artificial_;
  // Restricted basic symbols with a negative constant, by id (for the dual simplex).
  std::set<Symbol> infeasible_;

  std::unordered_map<Constraint, Tag> constraints_;
  // Dense, for updateVariables; indexed by variable for lookups.
  std::vector<VariableEntry> variables_;
  std::unordered_map<Variable, std::size_t> variableIndex_;
  // Bumped by willChange; caches taken at an older value are stale.
  std::uint64_t structure_ = 0;
  std::uint64_t slotsAt_ = ~std::uint64_t{0};
  std::unordered_map<Variable, EditInfo> edits_;
  // Variables whose last constraint went away: written 0 by the next updateVariables.
  std::vector<Variable> forgotten_;
  std::vector<Constraint> conflicts_;
  Journal journal_;
};

}  // namespace tilo::platform::solver
