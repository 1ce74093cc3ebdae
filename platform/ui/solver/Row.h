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
  // coefficient(symbol) += coefficient.
  void insert(Symbol symbol, double coefficient);
  // this += coefficient · other, constant included.
  void insert(const Row& other, double coefficient = 1.0);
  void remove(Symbol symbol);
  void reverseSign();

  // Reads this row as `0 = constant + Σ ...` and rewrites it as
  // `symbol = −(constant + Σ others)/coefficient(symbol)`; `symbol` must be present.
  void solveFor(Symbol symbol);
  // Reads this row as `lhs = ...` and rewrites it as `rhs = ...`; `rhs` must be present.
  void solveFor(Symbol lhs, Symbol rhs);
  // Replaces `symbol` by the form `row`; returns whether `symbol` was present.
  bool substitute(Symbol symbol, const Row& row);

 private:
  std::vector<Cell>::iterator find(Symbol symbol);
  std::vector<Cell>::const_iterator find(Symbol symbol) const;

  double constant_;
  std::vector<Cell> cells_;
};

}  // namespace tilo::platform::solver
