// The tableau's simplex: primal and dual optimization, pivots and substitution.
#include "platform/ui/solver/Tableau.h"

#include <algorithm>
#include <utility>

namespace tilo::platform::solver {

void Tableau::optimize(bool phaseOne) {
  // Dantzig's rule (the steepest objective coefficient) settles the strongest errors
  // first and needs far fewer pivots than Bland's; but it can cycle through degenerate
  // pivots, so after kDegenerateRun pivots in a row that do not move the objective the
  // choice falls back to Bland's rule until one does.
  std::size_t degenerateRun = 0;

  for (std::size_t budget = pivotBudget(); budget > 0; --budget) {
    const bool bland = degenerateRun >= kDegenerateRun;
    // Bland: the lowest id; Dantzig: the steepest, the lowest id on ties.
    Symbol entering;
    double steepest = 0;
    auto consider = [&](Symbol symbol, double coefficient) {
      if (bland ? (!entering.isValid() || symbol < entering)
                : (coefficient < steepest ||
                   (coefficient == steepest && entering.isValid() && symbol < entering))) {
        entering = symbol;
        steepest = coefficient;
      }
    };
    if (!phaseOne) {
      // A candidate that is not negative (any more) leaves the list until it turns
      // negative again.
      std::size_t kept = 0;
      for (const Symbol symbol : candidates_) {
        const double coefficient = objective_.coefficientFor(symbol);
        if (!symbol.isPivotable() || !(coefficient < 0)) continue;
        candidates_[kept++] = symbol;
        consider(symbol, coefficient);
      }
      candidates_.resize(kept);
      if (kept > 64) {
        std::sort(candidates_.begin(), candidates_.end());
        candidates_.erase(std::unique(candidates_.begin(), candidates_.end()), candidates_.end());
      }
    } else {
      for (const Cell& cell : artificial_->cells()) {
        // Written so that a NaN (from overflowing input) never qualifies.
        if (!cell.symbol.isPivotable() || !(cell.coefficient < 0)) continue;
        consider(cell.symbol, cell.coefficient);
      }
    }
    if (!entering.isValid()) return;

    // Leaving: the restricted row that first hits 0 as `entering` grows (lowest id on ties).
    Symbol leaving;
    double best = 0;
    for (Symbol basic : column(entering)) {
      if (!basic.isPivotable()) continue;  // externals are free; dummy rows hold dummies
      const Row& row = *rowFor(basic);
      const double coefficient = row.coefficientFor(entering);
      if (!(coefficient < 0)) continue;
      const double ratio = -row.constant() / coefficient;
      if (!leaving.isValid() || ratio < best || (ratio == best && basic < leaving)) {
        leaving = basic;
        best = ratio;
      }
    }
    // The objective is a sum of non-negative errors, so it is bounded below and some row
    // must block; only rounding could get here.
    if (!leaving.isValid()) return;
    degenerateRun = best > 0 ? 0 : degenerateRun + 1;
    pivot(leaving, entering);
  }
}

void Tableau::dualOptimize() {
  for (std::size_t budget = pivotBudget(); budget > 0 && !infeasible_.empty(); --budget) {
    const Symbol leaving = *infeasible_.begin();
    infeasible_.erase(infeasible_.begin());
    const Row* row = rowFor(leaving);
    if (!row || !(row->constant() < 0)) continue;

    // Entering: the parameter that can raise `leaving` at the least objective cost per
    // unit, which keeps every objective coefficient non-negative.
    Symbol entering;
    double best = 0;
    for (const Cell& cell : row->cells()) {
      if (!cell.symbol.isPivotable() || !(cell.coefficient > 0)) continue;
      const double ratio = objective_.coefficientFor(cell.symbol) / cell.coefficient;
      if (!entering.isValid() || ratio < best) {  // cells run in id order: ties keep the lower
        entering = cell.symbol;
        best = ratio;
      }
    }
    // Edits are never required, so their error symbols can always absorb a change.
    if (!entering.isValid()) continue;
    pivot(leaving, entering);
  }
  infeasible_.clear();
}

void Tableau::pivot(Symbol leaving, Symbol entering) {
  Row row = takeRow(leaving);
  row.solveFor(leaving, entering);
  substitute(entering, row);
  insertRow(entering, std::move(row));
}

std::optional<Symbol> Tableau::markerLeavingRow(Symbol marker) const {
  // Preference: a dummy row (its marker swap touches only dummies); then the restricted
  // row with the least ratio among negative coefficients, then among positive ones (both
  // keep every restricted constant non-negative); then any external row.
  Symbol dummy, negative, positive, external;
  double negativeRatio = 0, positiveRatio = 0;
  for (const Symbol basic : column(marker)) {
    const Row& row = *rowFor(basic);
    const double coefficient = row.coefficientFor(marker);
    if (basic.isExternal()) {
      if (!external.isValid() || basic < external) external = basic;
    } else if (basic.isDummy()) {
      if (!dummy.isValid() || basic < dummy) dummy = basic;
    } else if (coefficient < 0) {
      const double ratio = -row.constant() / coefficient;
      if (!negative.isValid() || ratio < negativeRatio ||
          (ratio == negativeRatio && basic < negative)) {
        negative = basic;
        negativeRatio = ratio;
      }
    } else {
      const double ratio = row.constant() / coefficient;
      if (!positive.isValid() || ratio < positiveRatio ||
          (ratio == positiveRatio && basic < positive)) {
        positive = basic;
        positiveRatio = ratio;
      }
    }
  }
  for (Symbol choice : {dummy, negative, positive, external}) {
    if (choice.isValid()) return choice;
  }
  return std::nullopt;
}

void Tableau::substitute(Symbol symbol, const Row& row) {
  // Rows that lose a free external symbol may have none left behind them.
  const bool open = reachesParametric(row);
  for (Symbol basic : takeColumn(symbol)) {
    willChange(basic);
    BasicRow& entry = rows_[*rowIndex_.find(basic)];
    changes_.clear();
    entry.row.substitute(symbol, row, &changes_);
    recordChanges(basic, changes_);
    if (basic.isRestricted() && entry.row.constant() < 0) infeasible_.insert(basic);
    if (basic.isExternal()) {
      collectExternals(entry);
      if (!open && symbol.isExternal()) entry.open = reachesParametric(entry.row);
    }
    markChanged(entry, open);
  }
  if (objective_.contains(symbol)) {
    if (journal_.active) {
      // What the objective held before, so that a refused constraint can restore it.
      journal_.objectiveCells.emplace_back(symbol, objective_.coefficientFor(symbol));
      for (const Cell& cell : row.cells()) {
        journal_.objectiveCells.emplace_back(cell.symbol, objective_.coefficientFor(cell.symbol));
      }
    }
    objective_.substitute(symbol, row, &candidates_);
  }
  if (artificial_) artificial_->substitute(symbol, row);
}

}  // namespace tilo::platform::solver
