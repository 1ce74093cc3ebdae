// Internal to the solver: the objective `constant + Σ strength·symbol`, one cell per
// error symbol of every non-required constraint. Pivots add short rows into it all the
// time, at symbols anywhere in id order; cells kept by hash make each such change as
// cheap as the short row, where a sorted vector would move half of a long row.
#pragma once

#include <vector>

#include "platform/ui/solver/Row.h"
#include "platform/ui/solver/SymbolMap.h"

namespace tilo::platform::solver {

class Objective {
 public:
  double constant() const { return constant_; }
  void setConstant(double value) { constant_ = value; }
  std::size_t size() const { return cells_.size(); }

  // 0 when `symbol` is absent.
  double coefficientFor(Symbol symbol) const {
    const double* found = cells_.find(symbol);
    return found ? *found : 0.0;
  }
  bool contains(Symbol symbol) const { return cells_.find(symbol) != nullptr; }

  // coefficient(symbol) += coefficient; cells that come within kEpsilon of 0 go.
  // `negative`, when given, learns `symbol` if its coefficient ends up below 0.
  void insert(Symbol symbol, double coefficient, std::vector<Symbol>* negative = nullptr) {
    double& value = cells_[symbol];
    value += coefficient;
    if (nearZero(value)) {
      cells_.erase(symbol);
    } else if (negative && value < 0) {
      negative->push_back(symbol);
    }
  }
  // this += coefficient · row, constant included.
  void insert(const Row& row, double coefficient, std::vector<Symbol>* negative = nullptr) {
    constant_ += row.constant() * coefficient;
    for (const Cell& cell : row.cells())
      insert(cell.symbol, cell.coefficient * coefficient, negative);
  }
  // Replaces `symbol` by the form `row`; returns whether `symbol` was present.
  bool substitute(Symbol symbol, const Row& row, std::vector<Symbol>* negative = nullptr) {
    const double* found = cells_.find(symbol);
    if (!found) return false;
    const double coefficient = *found;
    cells_.erase(symbol);
    insert(row, coefficient, negative);
    return true;
  }
  // coefficient(symbol) = value (0 removes it); for undoing changes.
  void set(Symbol symbol, double value) {
    if (value == 0.0) {
      cells_.erase(symbol);
    } else {
      cells_.insertOrAssign(symbol, value);
    }
  }
  void remove(Symbol symbol) { cells_.erase(symbol); }

 private:
  double constant_ = 0;
  SymbolMap<double> cells_;
};

}  // namespace tilo::platform::solver
