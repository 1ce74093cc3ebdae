#include "platform/ui/solver/Tableau.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tilo::platform::solver {

namespace {

bool isFinite(const Constraint& constraint) {
  const Expression& expression = constraint.expression();
  if (!std::isfinite(expression.constant()) || std::isnan(constraint.strength())) return false;
  return std::all_of(expression.terms().begin(), expression.terms().end(),
                     [](const Term& term) { return std::isfinite(term.coefficient); });
}

}  // namespace

// ---- Public operations ---------------------------------------------------------------

SolverStatus Tableau::addConstraint(const Constraint& constraint) {
  conflicts_.clear();
  if (constraint.isNull()) return SolverStatus::unknownConstraint;
  if (constraints_.contains(constraint)) return SolverStatus::duplicateConstraint;
  if (!isFinite(constraint)) return SolverStatus::nonFiniteValue;
  return insertConstraint(constraint);
}

SolverStatus Tableau::removeConstraint(const Constraint& constraint) {
  auto it = constraints_.find(constraint);
  if (it == constraints_.end()) return SolverStatus::unknownConstraint;
  const Tag tag = it->second;
  constraints_.erase(it);

  // The constraint's errors leave the objective first, so that the re-optimization below
  // no longer pays for them.
  const double strength = constraint.strength();
  for (Symbol error : {tag.marker, tag.other}) {
    if (error.kind() != SymbolKind::error) continue;
    if (const Row* row = rowFor(error)) {
      objective_.insert(*row, -strength, &candidates_);
    } else {
      objective_.insert(error, -strength, &candidates_);
    }
  }

  // With the marker basic its row is the constraint's equation: drop it. Otherwise pivot
  // the marker in through a row that keeps the tableau feasible, then drop that row. The
  // marker occurs in this constraint's equation only, so what remains is exactly the
  // other constraints' equations.
  if (rowFor(tag.marker)) {
    takeRow(tag.marker);
  } else if (std::optional<Symbol> leaving = markerLeavingRow(tag.marker)) {
    Row row = takeRow(*leaving);
    row.solveFor(*leaving, tag.marker);
    substitute(tag.marker, row);
  }
  optimize();
  infeasible_.clear();
  release(constraint);
  return SolverStatus::ok;
}

bool Tableau::hasConstraint(const Constraint& constraint) const {
  return constraints_.contains(constraint);
}

SolverStatus Tableau::addEditVariable(const Variable& variable, double strength) {
  if (edits_.contains(variable)) return SolverStatus::duplicateEditVariable;
  if (std::isnan(strength)) return SolverStatus::nonFiniteValue;
  strength = strength::clip(strength);
  if (strength >= strength::required) return SolverStatus::badRequiredStrength;
  Constraint constraint(Expression(variable), Relation::equal, strength);
  // A non-required equation always finds a subject (one of its error symbols), so this
  // cannot be refused.
  SolverStatus status = insertConstraint(constraint);
  if (status != SolverStatus::ok) return status;
  EditInfo info;
  info.tag = constraints_.at(constraint);
  info.constraint = constraint;
  edits_.emplace(variable, std::move(info));
  return SolverStatus::ok;
}

SolverStatus Tableau::removeEditVariable(const Variable& variable) {
  auto it = edits_.find(variable);
  if (it == edits_.end()) return SolverStatus::unknownEditVariable;
  const Constraint constraint = it->second.constraint;
  edits_.erase(it);
  return removeConstraint(constraint);
}

bool Tableau::hasEditVariable(const Variable& variable) const {
  return edits_.contains(variable);
}

SolverStatus Tableau::suggestValue(const Variable& variable, double value) {
  auto it = edits_.find(variable);
  if (it == edits_.end()) return SolverStatus::unknownEditVariable;
  EditInfo& info = it->second;
  const double delta = value - info.constant;  // infinite when the step overflows
  if (!std::isfinite(delta)) return SolverStatus::nonFiniteValue;
  info.constant = value;

  // The edit equation is `v − c − e⁺ + e⁻ = 0`: moving c by δ is the same as shifting e⁺
  // by δ (or e⁻ by −δ) everywhere, which only moves row constants.
  if (Row* row = rowFor(info.tag.marker)) {
    if (row->add(-delta) < 0) infeasible_.insert(info.tag.marker);
  } else if (Row* other = rowFor(info.tag.other)) {
    if (other->add(delta) < 0) infeasible_.insert(info.tag.other);
  } else {
    if (info.columnAt != structure_) {
      info.column.clear();
      for (Symbol basic : column(info.tag.marker)) {
        BasicRow& entry = rows_[*rowIndex_.find(basic)];
        info.column.emplace_back(&entry, entry.row.coefficientFor(info.tag.marker));
      }
      // In slot order, as a scan of the rows would visit them.
      std::sort(info.column.begin(), info.column.end());
      info.columnAt = structure_;
    }
    if (rowsWithExternals_ == 0) {
      for (const auto& [entry, coefficient] : info.column) {
        if (entry->row.add(delta * coefficient) < 0 && entry->basic.isRestricted()) {
          infeasible_.insert(entry->basic);
        }
      }
    } else {
      for (const auto& [entry, coefficient] : info.column) {
        if (entry->row.add(delta * coefficient) < 0 && entry->basic.isRestricted()) {
          infeasible_.insert(entry->basic);
        }
        if (!entry->dirty) {
          entry->dirty = true;
          if (entry->referrers != 0) markChanged(*entry, false);
        }
      }
    }
  }
  dualOptimize();
  return SolverStatus::ok;
}

void Tableau::updateVariables() {
  // Forgotten first: a variable that came back since is written again below.
  for (const Variable& variable : forgotten_) variable.setValue(0);
  forgotten_.clear();
  if (slotsAt_ != structure_) {
    for (VariableEntry& entry : variables_) {
      const std::size_t* slot = rowIndex_.find(entry.symbol);
      entry.row = slot ? &rows_[*slot] : nullptr;
    }
    slotsAt_ = structure_;
  }
  // No −0 in layouts.
  auto write = [](const Variable& variable, double value) {
    variable.setValue(value == 0.0 ? 0.0 : value);
  };
  if (rowsWithExternals_ == 0) {
    for (const VariableEntry& entry : variables_) {
      write(entry.variable, entry.row ? entry.row->row.constant() : 0.0);
    }
    return;
  }
  for (const VariableEntry& entry : variables_) {
    BasicRow* row = entry.row;
    if (!row) {
      write(entry.variable, 0.0);
    } else if (!row->dirty) {
      write(entry.variable, row->value);
    } else if (row->externals.empty()) {
      row->value = row->row.constant();
      row->dirty = false;
      write(entry.variable, row->value);
    } else {
      write(entry.variable, valueOf(static_cast<std::size_t>(row - rows_.data())));
    }
  }
}

// ---- Adding ----------------------------------------------------------------------------

SolverStatus Tableau::insertConstraint(const Constraint& constraint) {
  Tag tag;
  std::vector<Variable> created;
  Row row = createRow(constraint, tag, created);
  auto refuse = [&](std::vector<Constraint> conflicts) {
    for (const Variable& variable : created) eraseVariable(variable);
    conflicts_ = std::move(conflicts);
    return SolverStatus::unsatisfiableConstraint;
  };

  // An unrestricted variable can take any value: the best subject, lowest id first. The
  // free ones behind open references count too; behind the others there are none.
  if (hasOpenReference(row)) expandReferences(row, true);
  Symbol subject = parametricExternal(row);
  if (!subject.isValid()) {
    // A restricted subject: the row must be in parameters, its constant non-negative so
    // that a subject with a negative coefficient starts out feasible.
    expandReferences(row, false);
    if (row.constant() < 0) row.reverseSign();
    subject = chooseSubject(row, tag);
  }
  if (!subject.isValid() && row.allDummies()) {
    // Only required equations' markers left: the constraint is a combination of those.
    // Redundant when the constant vanishes, contradictory otherwise.
    if (!nearZero(row.constant())) return refuse(requiredConstraintsMarkedIn(row, tag));
    subject = tag.marker;
  }
  if (subject.isValid()) {
    row.solveFor(subject);
    substitute(subject, row);
    insertRow(subject, std::move(row));
  } else if (!addWithArtificialVariable(row, tag)) {
    return refuse(std::move(conflicts_));
  }

  constraints_.emplace(constraint, tag);
  for (const Term& term : constraint.expression().terms()) {
    ++variables_[variableIndex_.at(term.variable)].uses;
  }
  optimize();
  infeasible_.clear();
  return SolverStatus::ok;
}

Symbol Tableau::symbolFor(const Variable& variable, std::vector<Variable>& created) {
  auto [it, inserted] = variableIndex_.try_emplace(variable, variables_.size());
  if (inserted) {
    // Parametric until a row is made for it, which invalidates the slot caches.
    variables_.push_back(VariableEntry{variable, newSymbol(SymbolKind::external)});
    created.push_back(variable);
  }
  return variables_[it->second].symbol;
}

void Tableau::eraseVariable(const Variable& variable) {
  auto it = variableIndex_.find(variable);
  const std::size_t index = it->second;
  variableIndex_.erase(it);
  if (index + 1 != variables_.size()) {
    variables_[index] = std::move(variables_.back());
    variableIndex_[variables_[index].variable] = index;
  }
  variables_.pop_back();
}

Row Tableau::createRow(const Constraint& constraint, Tag& tag, std::vector<Variable>& created) {
  const Expression& expression = constraint.expression();
  Row row(expression.constant());
  // A basic variable with a long row stays a reference to it (see the header); a short
  // row costs less spelled out than looked up.
  for (const Term& term : expression.terms()) {
    const Symbol symbol = symbolFor(term.variable, created);
    const Row* basic = rowFor(symbol);
    if (basic && basic->cells().size() <= kInlineCells) {
      row.insert(*basic, term.coefficient);
    } else {
      row.insert(symbol, term.coefficient);
    }
  }

  const double strength = constraint.strength();
  const bool required = constraint.isRequired();
  if (constraint.relation() == Relation::equal) {
    if (required) {
      // `expression + d = 0` with d == 0: d only marks the equation.
      tag.marker = newSymbol(SymbolKind::dummy);
      row.insert(tag.marker, 1.0);
    } else {
      // `expression = e⁺ − e⁻`, paying strength for each unit of either.
      tag.marker = newSymbol(SymbolKind::error);
      tag.other = newSymbol(SymbolKind::error);
      row.insert(tag.marker, -1.0);
      row.insert(tag.other, 1.0);
      objective_.insert(tag.marker, strength);
      objective_.insert(tag.other, strength);
    }
  } else {
    // `expression <= 0` is `expression + s = 0`, `expression >= 0` is `expression − s = 0`;
    // a non-required one adds an error e on the other side: `expression + s − e = 0`.
    const double sign = constraint.relation() == Relation::lessOrEqual ? 1.0 : -1.0;
    tag.marker = newSymbol(SymbolKind::slack);
    row.insert(tag.marker, sign);
    if (!required) {
      tag.other = newSymbol(SymbolKind::error);
      row.insert(tag.other, -sign);
      objective_.insert(tag.other, strength);
    }
  }
  return row;
}

Symbol Tableau::chooseSubject(const Row& row, const Tag& tag) const {
  // A fresh slack or error with a negative coefficient: solving for it gives it the
  // row's non-negative constant.
  for (Symbol symbol : {tag.marker, tag.other}) {
    if (symbol.isPivotable() && row.coefficientFor(symbol) < 0) return symbol;
  }
  return Symbol();
}

bool Tableau::addWithArtificialVariable(const Row& row, const Tag& tag) {
  // Phase one: a new restricted symbol a = row, then minimize a. The constraint can hold
  // together with the others exactly when a reaches 0.
  beginJournal();
  const Symbol artificial = newSymbol(SymbolKind::slack);
  insertRow(artificial, row);
  artificial_ = row;
  optimize(true);
  if (!nearZero(artificial_->constant())) {
    // At the phase-one optimum the objective row is a certificate of infeasibility: the
    // markers it still holds belong to the equations combined into the contradiction.
    conflicts_ = requiredConstraintsMarkedIn(*artificial_, tag);
    artificial_.reset();
    rollBackJournal();
    return false;
  }
  artificial_.reset();

  if (rowFor(artificial)) {
    Row artificialRow = takeRow(artificial);
    if (!artificialRow.empty()) {
      // a is basic at 0: swap it with a parameter (a pivotable one when there is one) so
      // that it can be dropped as a parameter at 0.
      Symbol entering = artificialRow.cells().front().symbol;
      for (const Cell& cell : artificialRow.cells()) {
        if (cell.symbol.isPivotable()) {
          entering = cell.symbol;
          break;
        }
      }
      artificialRow.solveFor(artificial, entering);
      substitute(entering, artificialRow);
      insertRow(entering, std::move(artificialRow));
    }
  }
  for (Symbol basic : takeColumn(artificial)) {
    willChange(basic);
    rowFor(basic)->remove(artificial);  // restricted: the external cells stay
    markChanged(basic, false);
  }
  objective_.remove(artificial);
  commitJournal();
  return true;
}

// ---- Variables and conflicts ---------------------------------------------------------------

void Tableau::release(const Constraint& constraint) {
  for (const Term& term : constraint.expression().terms()) {
    auto it = variableIndex_.find(term.variable);
    if (it == variableIndex_.end() || --variables_[it->second].uses > 0) continue;
    const Symbol symbol = variables_[it->second].symbol;
    forgotten_.push_back(term.variable);
    eraseVariable(term.variable);
    forget(symbol);
  }
}

void Tableau::forget(Symbol symbol) {
  // Rows that refer to its row keep what it stood for.
  if (rowFor(symbol)) {
    Row row = takeRow(symbol);
    substitute(symbol, row);
  }
  // No remaining equation names the variable, so its column is empty up to rounding;
  // clear what rounding left so that a later constraint cannot pick it as a subject.
  for (Symbol basic : takeColumn(symbol)) {
    willChange(basic);
    BasicRow& entry = rows_[*rowIndex_.find(basic)];
    entry.row.remove(symbol);
    collectExternals(entry);
    markChanged(entry, false);
  }
  objective_.remove(symbol);
}

std::vector<Constraint> Tableau::requiredConstraintsMarkedIn(const Row& row,
                                                             const Tag& except) const {
  std::vector<std::pair<Symbol, Constraint>> found;
  for (const auto& [constraint, tag] : constraints_) {
    if (tag.marker == except.marker || !constraint.isRequired()) continue;
    if (row.contains(tag.marker)) found.emplace_back(tag.marker, constraint);
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Constraint> conflicts;
  conflicts.reserve(found.size());
  for (auto& [marker, constraint] : found) conflicts.push_back(std::move(constraint));
  return conflicts;
}

}  // namespace tilo::platform::solver
