// External rows that refer to other external rows: finding free external symbols behind
// them, expanding them into parameters, and summing their values.
#include <algorithm>

#include "platform/ui/solver/Tableau.h"

namespace tilo::platform::solver {

Symbol Tableau::parametricExternal(const Row& row) const {
  for (const Cell& cell : row.cells()) {  // in id order: the first is the lowest
    if (cell.symbol.isExternal() && !rowIndex_.find(cell.symbol)) return cell.symbol;
  }
  return Symbol();
}

bool Tableau::reachesParametric(const Row& row) const {
  for (const Cell& cell : row.cells()) {
    if (!cell.symbol.isExternal()) continue;
    const BasicRow* entry = entryFor(cell.symbol);
    if (!entry || entry->open) return true;
  }
  return false;
}

bool Tableau::hasOpenReference(const Row& row) const {
  for (const Cell& cell : row.cells()) {
    if (!cell.symbol.isExternal()) continue;
    const BasicRow* entry = entryFor(cell.symbol);
    if (entry && entry->open) return true;
  }
  return false;
}

void Tableau::expandReferences(Row& row, bool onlyOpen) {
  auto expandable = [&](Symbol symbol) -> std::size_t {
    if (!symbol.isExternal()) return kNoRow;
    const std::size_t* slot = rowIndex_.find(symbol);
    if (!slot || (onlyOpen && !rows_[*slot].open)) return kNoRow;
    return *slot;
  };
  // The rows behind the references, each once, in depth-first post-order: a row comes
  // after every row it refers to.
  const std::uint64_t walk = ++walk_;
  order_.clear();
  for (const Cell& cell : row.cells()) {
    const std::size_t start = expandable(cell.symbol);
    if (start == kNoRow || rows_[start].mark == walk) continue;
    rows_[start].mark = walk;
    rows_[start].pending = 0;
    stack_.assign(1, {start, 0});
    while (!stack_.empty()) {
      auto& [slot, next] = stack_.back();
      const std::vector<Cell>& cells = rows_[slot].row.cells();
      std::size_t child = kNoRow;
      while (next < cells.size() && child == kNoRow) {
        const std::size_t found = expandable(cells[next++].symbol);
        if (found != kNoRow && rows_[found].mark != walk) child = found;
      }
      if (child != kNoRow) {
        rows_[child].mark = walk;
        rows_[child].pending = 0;
        stack_.emplace_back(child, 0);  // may move the top: `slot` and `next` are not used after
        continue;
      }
      order_.push_back(slot);
      stack_.pop_back();
    }
  }
  if (order_.empty()) return;

  // Each row's coefficient is complete once every row referring to it has passed it on,
  // which reverse post-order guarantees.
  double constant = row.constant();
  gathered_.clear();
  for (const Cell& cell : row.cells()) {
    const std::size_t slot = expandable(cell.symbol);
    if (slot == kNoRow) {
      gathered_.push_back(cell);
    } else {
      rows_[slot].pending += cell.coefficient;
    }
  }
  for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
    const BasicRow& entry = rows_[*it];
    const double coefficient = entry.pending;
    if (coefficient == 0) continue;
    constant += entry.row.constant() * coefficient;
    for (const Cell& cell : entry.row.cells()) {
      const std::size_t slot = expandable(cell.symbol);
      if (slot == kNoRow) {
        gathered_.push_back(Cell{cell.symbol, cell.coefficient * coefficient});
      } else {
        rows_[slot].pending += cell.coefficient * coefficient;
      }
    }
  }
  row.assign(constant, canonicalCells());
}

const std::vector<Cell>& Tableau::canonicalCells() {
  canonical_.clear();
  if (gathered_.empty()) return canonical_;
  std::uint64_t low = gathered_.front().symbol.id(), high = low;
  for (const Cell& cell : gathered_) {
    low = std::min(low, cell.symbol.id());
    high = std::max(high, cell.symbol.id());
  }
  const std::uint64_t range = high - low + 1;
  if (range <= 4 * gathered_.size() + 64) {
    // Ids close together (the usual case): summed in place, read back in id order.
    if (dense_.size() < range) {
      dense_.resize(range, 0.0);
      denseBits_.resize(range, 0);
    }
    for (const Cell& cell : gathered_) {
      const std::size_t at = cell.symbol.id() - low;
      dense_[at] += cell.coefficient;
      denseBits_[at] = cell.symbol.bits();
    }
    for (std::size_t at = 0; at < range; ++at) {
      if (denseBits_[at] == 0) continue;
      if (!nearZero(dense_[at]))
        canonical_.push_back(Cell{Symbol::fromBits(denseBits_[at]), dense_[at]});
      dense_[at] = 0;
      denseBits_[at] = 0;
    }
  } else {
    std::sort(gathered_.begin(), gathered_.end(),
              [](const Cell& a, const Cell& b) { return a.symbol < b.symbol; });
    for (std::size_t i = 0; i < gathered_.size();) {
      const Symbol symbol = gathered_[i].symbol;
      double sum = 0;
      for (; i < gathered_.size() && gathered_[i].symbol == symbol; ++i)
        sum += gathered_[i].coefficient;
      if (!nearZero(sum)) canonical_.push_back(Cell{symbol, sum});
    }
  }
  return canonical_;
}

double Tableau::valueOf(std::size_t start) {
  // Depth first: a row's value is its constant plus its references' values, each looked
  // up once.
  evaluating_.assign(1, Evaluation{start, 0, rows_[start].row.constant()});
  while (!evaluating_.empty()) {
    // Bounded by the number of rows, as references form no cycle; the bound only keeps
    // a broken invariant from hanging the host.
    if (evaluating_.size() > rows_.size()) {
      evaluating_.clear();
      break;
    }
    Evaluation& top = evaluating_.back();
    const std::vector<Cell>& externals = rows_[top.slot].externals;
    std::size_t child = kNoRow;
    for (; top.next < externals.size(); ++top.next) {
      const std::size_t* found = rowIndex_.find(externals[top.next].symbol);
      if (!found) continue;  // a free symbol: 0
      BasicRow& referred = rows_[*found];
      if (referred.dirty && referred.externals.empty()) {
        referred.value = referred.row.constant();
        referred.dirty = false;
      }
      if (referred.dirty) {
        child = *found;
        break;
      }
      top.sum += externals[top.next].coefficient * referred.value;
    }
    if (child != kNoRow) {
      evaluating_.push_back(Evaluation{child, 0, rows_[child].row.constant()});
      continue;
    }
    rows_[top.slot].value = top.sum;
    rows_[top.slot].dirty = false;
    evaluating_.pop_back();
  }
  return rows_[start].value;
}

}  // namespace tilo::platform::solver
