// The tableau's row storage (rows, their index and the column index) and the journal
// that lets a refused constraint leave the rows as they were.
#include "platform/ui/solver/Tableau.h"

#include <algorithm>
#include <utility>

namespace tilo::platform::solver {

Row* Tableau::rowFor(Symbol basic) {
  std::size_t* slot = rowIndex_.find(basic);
  return slot ? &rows_[*slot].row : nullptr;
}

const Row* Tableau::rowFor(Symbol basic) const {
  const std::size_t* slot = rowIndex_.find(basic);
  return slot ? &rows_[*slot].row : nullptr;
}

const Tableau::BasicRow* Tableau::entryFor(Symbol basic) const {
  const std::size_t* slot = rowIndex_.find(basic);
  return slot ? &rows_[*slot] : nullptr;
}

void Tableau::insertRow(Symbol basic, Row row) {
  willChange(basic);
  row.compact();
  for (const Cell& cell : row.cells()) {
    columns_[cell.symbol].push_back(basic);
    countReferrer(cell.symbol, 1);
  }
  rowIndex_.insertOrAssign(basic, rows_.size());
  const bool open = basic.isExternal() && reachesParametric(row);
  rows_.emplace_back();
  BasicRow& entry = rows_.back();
  entry.basic = basic;
  entry.row = std::move(row);
  entry.open = open;
  if (basic.isExternal()) entry.referrers = static_cast<std::uint32_t>(column(basic).size());
  collectExternals(entry);
  // Rows that held `basic` as a parameter read its row from now on.
  markChanged(basic, open);
}

Row Tableau::takeRow(Symbol basic) {
  willChange(basic);
  const std::size_t slot = rowIndex_.take(basic);
  if (!rows_[slot].externals.empty()) --rowsWithExternals_;
  Row row = std::move(rows_[slot].row);
  for (const Cell& cell : row.cells()) eraseFromColumn(cell.symbol, basic);
  if (slot + 1 != rows_.size()) {
    rows_[slot] = std::move(rows_.back());
    rowIndex_.insertOrAssign(rows_[slot].basic, slot);
  }
  rows_.pop_back();
  // Rows that refer to `basic` now read it as a parameter (or are about to have its row
  // substituted): their values changed, and a parameter may be free.
  if (basic.isExternal()) {
    for (Symbol referrer : column(basic)) markChanged(referrer, true);
  }
  return row;
}

const std::vector<Symbol>& Tableau::column(Symbol parameter) const {
  static const std::vector<Symbol> none;
  const std::vector<Symbol>* found = columns_.find(parameter);
  return found ? *found : none;
}

std::vector<Symbol> Tableau::takeColumn(Symbol parameter) {
  return columns_.take(parameter);
}

void Tableau::eraseFromColumn(Symbol parameter, Symbol basic) {
  std::vector<Symbol>* basics = columns_.find(parameter);
  if (!basics) return;
  auto found = std::find(basics->begin(), basics->end(), basic);
  if (found == basics->end()) return;
  *found = basics->back();
  basics->pop_back();
  if (basics->empty()) columns_.erase(parameter);
  countReferrer(parameter, -1);
}

void Tableau::recordChanges(Symbol basic, const CellChanges& changes) {
  for (Symbol added : changes.added) {
    columns_[added].push_back(basic);
    countReferrer(added, 1);
  }
  for (Symbol removed : changes.removed) eraseFromColumn(removed, basic);
}

void Tableau::countReferrer(Symbol parameter, int change) {
  if (!parameter.isExternal()) return;
  if (std::size_t* slot = rowIndex_.find(parameter)) {
    rows_[*slot].referrers =
        static_cast<std::uint32_t>(static_cast<std::int64_t>(rows_[*slot].referrers) + change);
  }
}

void Tableau::collectExternals(BasicRow& entry) {
  const bool had = !entry.externals.empty();
  entry.externals.clear();
  for (const Cell& cell : entry.row.cells()) {
    if (cell.symbol.isExternal()) entry.externals.push_back(cell);
  }
  const bool has = !entry.externals.empty();
  if (has == had) return;
  if (!has) {
    --rowsWithExternals_;
  } else if (rowsWithExternals_++ == 0) {
    // Values and flags were not kept while nothing referred to anything.
    for (BasicRow& other : rows_) other.dirty = true;
  }
}

void Tableau::markChanged(Symbol basic, bool open) {
  if (rowsWithExternals_ == 0) return;  // no references: nothing to reach, constants are values
  if (std::size_t* slot = rowIndex_.find(basic)) markChanged(rows_[*slot], open);
}

void Tableau::markChanged(BasicRow& changed, bool open) {
  if (rowsWithExternals_ == 0) return;
  changed.dirty = true;
  if (open && changed.basic.isExternal()) changed.open = true;
  if (changed.referrers == 0) return;
  std::vector<Symbol>& pending = marking_;
  pending.assign(column(changed.basic).begin(), column(changed.basic).end());
  // Iterative: a chain of references is as deep as the chain of views.
  while (!pending.empty()) {
    const Symbol symbol = pending.back();
    pending.pop_back();
    std::size_t* slot = rowIndex_.find(symbol);
    if (!slot) continue;
    BasicRow& entry = rows_[*slot];
    // A dirty (open) row's referrers are dirty (open) already.
    const bool more = !entry.dirty || (open && !entry.open);
    entry.dirty = true;
    if (open) entry.open = true;
    if (!more || entry.referrers == 0) continue;
    const std::vector<Symbol>& referrers = column(symbol);
    pending.insert(pending.end(), referrers.begin(), referrers.end());
  }
}

void Tableau::willChange(Symbol basic) {
  ++structure_;
  if (!journal_.active || journal_.touched.find(basic)) return;
  journal_.touched.insertOrAssign(basic, 1);
  const Row* row = rowFor(basic);
  journal_.saved.emplace_back(basic, row ? std::optional<Row>(*row) : std::nullopt);
}

void Tableau::beginJournal() {
  journal_.active = true;
  journal_.objectiveConstant = objective_.constant();
}

void Tableau::commitJournal() {
  journal_.active = false;
  journal_.touched.clear();
  journal_.saved.clear();
  journal_.objectiveCells.clear();
}

void Tableau::rollBackJournal() {
  journal_.active = false;
  for (auto& [basic, row] : journal_.saved) {
    if (rowFor(basic)) takeRow(basic);
    if (row) insertRow(basic, std::move(*row));
  }
  // Latest first: each entry holds a cell's coefficient from before a change.
  for (auto it = journal_.objectiveCells.rbegin(); it != journal_.objectiveCells.rend(); ++it) {
    objective_.set(it->first, it->second);
  }
  objective_.setConstant(journal_.objectiveConstant);
  infeasible_.clear();
  commitJournal();
}

}  // namespace tilo::platform::solver
