// The tableau's row storage (rows, their index and the column index) and the journal
// that lets a refused constraint leave the rows as they were.
#include "platform/ui/solver/Tableau.h"

#include <algorithm>
#include <utility>

namespace tilo::platform::solver {

Row* Tableau::rowFor(Symbol basic) {
  auto it = rowIndex_.find(basic.bits());
  return it == rowIndex_.end() ? nullptr : &rows_[it->second].row;
}

const Row* Tableau::rowFor(Symbol basic) const {
  auto it = rowIndex_.find(basic.bits());
  return it == rowIndex_.end() ? nullptr : &rows_[it->second].row;
}

void Tableau::insertRow(Symbol basic, Row row) {
  willChange(basic);
  row.compact();
  for (const Cell& cell : row.cells()) columns_[cell.symbol.bits()].push_back(basic);
  rowIndex_.emplace(basic.bits(), rows_.size());
  rows_.push_back(BasicRow{basic, std::move(row)});
}

Row Tableau::takeRow(Symbol basic) {
  willChange(basic);
  auto it = rowIndex_.find(basic.bits());
  const std::size_t slot = it->second;
  rowIndex_.erase(it);
  Row row = std::move(rows_[slot].row);
  for (const Cell& cell : row.cells()) eraseFromColumn(cell.symbol, basic);
  if (slot + 1 != rows_.size()) {
    rows_[slot] = std::move(rows_.back());
    rowIndex_[rows_[slot].basic.bits()] = slot;
  }
  rows_.pop_back();
  return row;
}

void Tableau::touchObjective(const Row& row) {
  for (const Cell& cell : row.cells()) {
    if (cell.symbol.isPivotable()) objectiveTouched_.insert(cell.symbol.bits());
  }
}

const std::vector<Symbol>& Tableau::column(Symbol parameter) const {
  static const std::vector<Symbol> none;
  auto it = columns_.find(parameter.bits());
  return it == columns_.end() ? none : it->second;
}

std::vector<Symbol> Tableau::takeColumn(Symbol parameter) {
  auto node = columns_.extract(parameter.bits());
  return node.empty() ? std::vector<Symbol>() : std::move(node.mapped());
}

void Tableau::eraseFromColumn(Symbol parameter, Symbol basic) {
  auto it = columns_.find(parameter.bits());
  if (it == columns_.end()) return;
  auto& basics = it->second;
  auto found = std::find(basics.begin(), basics.end(), basic);
  if (found == basics.end()) return;
  *found = basics.back();
  basics.pop_back();
  if (basics.empty()) columns_.erase(it);
}

void Tableau::recordChanges(Symbol basic, const CellChanges& changes) {
  for (Symbol added : changes.added) columns_[added.bits()].push_back(basic);
  for (Symbol removed : changes.removed) eraseFromColumn(removed, basic);
}

void Tableau::willChange(Symbol basic) {
  ++structure_;
  if (!journal_.active || !journal_.touched.insert(basic.bits()).second) return;
  const Row* row = rowFor(basic);
  journal_.saved.emplace_back(basic, row ? std::optional<Row>(*row) : std::nullopt);
}

void Tableau::beginJournal() {
  journal_.active = true;
  journal_.objective = objective_;
}

void Tableau::commitJournal() {
  journal_.active = false;
  journal_.touched.clear();
  journal_.saved.clear();
  journal_.objective = Row();
}

void Tableau::rollBackJournal() {
  journal_.active = false;
  for (auto& [basic, row] : journal_.saved) {
    if (rowFor(basic)) takeRow(basic);
    if (row) insertRow(basic, std::move(*row));
  }
  objective_ = std::move(journal_.objective);
  infeasible_.clear();
  commitJournal();
}

}  // namespace tilo::platform::solver
