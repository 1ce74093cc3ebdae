#include "platform/ui/solver/Row.h"

#include <algorithm>
#include <utility>

#include "platform/MainLoop.h"

namespace tilo::platform::solver {

namespace {
bool bySymbol(const Cell& cell, Symbol symbol) {
  return cell.symbol < symbol;
}
}  // namespace

std::vector<Cell>::iterator Row::find(Symbol symbol) {
  auto it = std::lower_bound(cells_.begin(), cells_.end(), symbol, bySymbol);
  return it != cells_.end() && it->symbol == symbol ? it : cells_.end();
}

std::vector<Cell>::const_iterator Row::find(Symbol symbol) const {
  auto it = std::lower_bound(cells_.begin(), cells_.end(), symbol, bySymbol);
  return it != cells_.end() && it->symbol == symbol ? it : cells_.end();
}

double Row::coefficientFor(Symbol symbol) const {
  auto it = find(symbol);
  return it == cells_.end() ? 0.0 : it->coefficient;
}

bool Row::allDummies() const {
  return std::all_of(cells_.begin(), cells_.end(),
                     [](const Cell& cell) { return cell.symbol.isDummy(); });
}

void Row::insert(Symbol symbol, double coefficient, CellChanges* changes) {
  auto it = std::lower_bound(cells_.begin(), cells_.end(), symbol, bySymbol);
  if (it != cells_.end() && it->symbol == symbol) {
    it->coefficient += coefficient;
    if (nearZero(it->coefficient)) {
      cells_.erase(it);
      if (changes) changes->removed.push_back(symbol);
    }
  } else if (!nearZero(coefficient)) {
    cells_.insert(it, Cell{symbol, coefficient});
    if (changes) changes->added.push_back(symbol);
  }
}

namespace {
// The merge's scratch buffer, one per thread. The platform's own threads keep it in a
// thread_local vector, destroyed when the SDK joins them. Other threads (the host's main
// thread lays views out) hold a plain pointer instead: a thread_local with a destructor
// there would keep this library mapped after dlclose for as long as the thread lives.
std::vector<Cell>& mergeScratch() {
  if (MainLoop::isWorkerThread()) {
    thread_local std::vector<Cell> scratch;
    return scratch;
  }
  thread_local std::vector<Cell>* scratch = nullptr;
  if (!scratch) scratch = new std::vector<Cell>();
  return *scratch;
}
}  // namespace

void Row::insert(const Row& other, double coefficient, CellChanges* changes) {
  constant_ += other.constant_ * coefficient;
  if (other.cells_.empty()) return;
  // A few cells into a long row: a binary search and a short move each instead of a pass
  // over the whole row.
  if (other.cells_.size() == 1 || other.cells_.size() * 16 < cells_.size()) {
    for (const Cell& cell : other.cells_)
      insert(cell.symbol, cell.coefficient * coefficient, changes);
    return;
  }
  // Merge of two sorted runs into a scratch buffer, then back, so that steady-state
  // substitution allocates nothing.
  std::vector<Cell>& merged = mergeScratch();
  merged.clear();
  merged.reserve(cells_.size() + other.cells_.size());
  auto a = cells_.begin();
  auto b = other.cells_.begin();
  while (a != cells_.end() || b != other.cells_.end()) {
    if (b == other.cells_.end() || (a != cells_.end() && a->symbol < b->symbol)) {
      merged.push_back(*a++);
    } else if (a == cells_.end() || b->symbol < a->symbol) {
      const double value = b->coefficient * coefficient;
      if (!nearZero(value)) {
        merged.push_back(Cell{b->symbol, value});
        if (changes) changes->added.push_back(b->symbol);
      }
      ++b;
    } else {
      const double value = a->coefficient + b->coefficient * coefficient;
      if (!nearZero(value)) {
        merged.push_back(Cell{a->symbol, value});
      } else if (changes) {
        changes->removed.push_back(a->symbol);
      }
      ++a;
      ++b;
    }
  }
  // Trading places hands the scratch buffer's capacity to this row; once the buffer has
  // grown on a long row, that would give every short row the long row's capacity (a
  // tableau of a few thousand rows then holds hundreds of megabytes). Copy instead, into
  // room that grows by half so that a row growing a cell at a time is not reallocated
  // at every step.
  if (merged.capacity() <= 2 * merged.size() + 16) {
    cells_.swap(merged);
  } else {
    if (cells_.capacity() < merged.size()) {
      cells_.reserve(std::max(merged.size(), cells_.capacity() + cells_.capacity() / 2));
    }
    cells_.assign(merged.begin(), merged.end());
  }
}

void Row::remove(Symbol symbol) {
  auto it = find(symbol);
  if (it != cells_.end()) cells_.erase(it);
}

void Row::reverseSign() {
  constant_ = -constant_;
  for (Cell& cell : cells_) cell.coefficient = -cell.coefficient;
}

void Row::solveFor(Symbol symbol) {
  auto it = find(symbol);
  const double factor = -1.0 / it->coefficient;
  cells_.erase(it);
  constant_ *= factor;
  for (Cell& cell : cells_) cell.coefficient *= factor;
}

void Row::solveFor(Symbol lhs, Symbol rhs) {
  insert(lhs, -1.0);
  solveFor(rhs);
}

bool Row::substitute(Symbol symbol, const Row& row, CellChanges* changes) {
  auto it = find(symbol);
  if (it == cells_.end()) return false;
  const double coefficient = it->coefficient;
  cells_.erase(it);
  insert(row, coefficient, changes);
  return true;
}

}  // namespace tilo::platform::solver
