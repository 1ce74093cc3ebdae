// Internal to the solver: one linear form `constant + Σ coefficient·symbol`.
//
// A row of the tableau reads `basic = constant + Σ coefficient·parameter`; while a
// constraint is being added the same type holds `0 = constant + Σ ...`. Cells are a flat
// vector sorted by symbol id: rows are short, merging two sorted vectors is a linear pass,
// and iteration order is the symbols' creation order. Coefficients that come within
// `kEpsilon` of zero are dropped so that cancellations do not leave phantom columns.
#pragma once

#include <vector>

#include "platform/ui/solver/Symbol.h"

namespace tilo::platform::solver {

inline constexpr double kEpsilon = 1.0e-8;

inline bool nearZero(double value) {
  return value < kEpsilon && value > -kEpsilon;
}

struct Cell {
  Symbol symbol;
  double coefficient;
};

// What an edit did to a row's set of symbols: those it brought in and those that
// cancelled out. The tableau keeps its column index (symbol -> rows) from these.
struct CellChanges {
  std::vector<Symbol> added;
  std::vector<Symbol> removed;
  void clear() {
    added.clear();
    removed.clear();
  }
};

class Row {
 public:
  explicit Row(double constant = 0) : constant_(constant) {}

  double constant() const { return constant_; }
  const std::vector<Cell>& cells() const { return cells_; }
  bool empty() const { return cells_.empty(); }

  // 0 when `symbol` is absent.
  double coefficientFor(Symbol symbol) const;
  bool contains(Symbol symbol) const { return coefficientFor(symbol) != 0.0; }
  // Only dummies (or nothing) left.
  bool allDummies() const;

  // constant += value; returns the new constant.
  double add(double value) { return constant_ += value; }
  void setConstant(double value) { constant_ = value; }
  // coefficient(symbol) += coefficient. `changes`, when given, learns what came or went.
  void insert(Symbol symbol, double coefficient, CellChanges* changes = nullptr);
  // this += coefficient · other, constant included. A short `other` on a long row updates
  // its cells in place; otherwise the two sorted runs merge.
  void insert(const Row& other, double coefficient = 1.0, CellChanges* changes = nullptr);
  void remove(Symbol symbol);
  void reverseSign();
  // Gives back spare capacity (a row kept in the tableau should not hold twice its cells
  // because its last single insert doubled the buffer).
  void compact() {
    if (cells_.capacity() > cells_.size() + cells_.size() / 4 + 4) cells_.shrink_to_fit();
  }

  // Reads this row as `0 = constant + Σ ...` and rewrites it as
  // `symbol = −(constant + Σ others)/coefficient(symbol)`; `symbol` must be present.
  void solveFor(Symbol symbol);
  // Reads this row as `lhs = ...` and rewrites it as `rhs = ...`; `rhs` must be present.
  void solveFor(Symbol lhs, Symbol rhs);
  // Replaces `symbol` by the form `row`; returns whether `symbol` was present. `changes`
  // learns what the merge brought in or cancelled (`symbol` itself always goes).
  bool substitute(Symbol symbol, const Row& row, CellChanges* changes = nullptr);
  // Replaces the cells (sorted by symbol, none near zero) and the constant.
  void assign(double constant, const std::vector<Cell>& cells) {
    constant_ = constant;
    cells_.assign(cells.begin(), cells.end());
  }

 private:
  std::vector<Cell>::iterator find(Symbol symbol);
  std::vector<Cell>::const_iterator find(Symbol symbol) const;

  double constant_;
  std::vector<Cell> cells_;
};

}  // namespace tilo::platform::solver
