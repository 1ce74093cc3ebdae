#include "platform/ui/solver/Constraint.h"

#include <atomic>
#include <unordered_map>
#include <utility>

namespace tilo::platform::solver {

namespace {

std::uint64_t nextConstraintId() {
  static std::atomic<std::uint64_t> counter{0};
  return counter.fetch_add(1, std::memory_order_relaxed) + 1;
}

// One term per variable, in order of first appearance, without zero coefficients.
Expression reduce(const Expression& expression) {
  const std::vector<Term>& input = expression.terms();
  std::vector<Term> terms;
  terms.reserve(input.size());
  if (input.size() <= 8) {
    for (const Term& term : input) {
      auto it = terms.begin();
      while (it != terms.end() && it->variable != term.variable) ++it;
      if (it == terms.end()) {
        terms.push_back(term);
      } else {
        it->coefficient += term.coefficient;
      }
    }
  } else {
    std::unordered_map<Variable, std::size_t> index;
    for (const Term& term : input) {
      auto [it, inserted] = index.try_emplace(term.variable, terms.size());
      if (inserted) {
        terms.push_back(term);
      } else {
        terms[it->second].coefficient += term.coefficient;
      }
    }
  }
  std::erase_if(terms, [](const Term& term) { return term.coefficient == 0.0; });
  return Expression(std::move(terms), expression.constant());
}

}  // namespace

struct Constraint::Data {
  std::uint64_t id = nextConstraintId();
  Expression expression;
  Relation relation = Relation::equal;
  double strength = strength::required;
};

Constraint::Constraint() = default;

Constraint::Constraint(const Expression& expression, Relation relation, double strength) {
  auto data = std::make_shared<Data>();
  data->expression = reduce(expression);
  data->relation = relation;
  data->strength = strength::clip(strength);
  data_ = std::move(data);
}

Constraint::Constraint(const Constraint& other, double strength) {
  if (!other.data_) return;  // null stays null
  auto data = std::make_shared<Data>();
  data->expression = other.data_->expression;
  data->relation = other.data_->relation;
  data->strength = strength::clip(strength);
  data_ = std::move(data);
}

const Expression& Constraint::expression() const {
  static const Expression empty;
  return data_ ? data_->expression : empty;
}

Relation Constraint::relation() const {
  return data_ ? data_->relation : Relation::equal;
}

double Constraint::strength() const {
  return data_ ? data_->strength : strength::required;
}

std::uint64_t Constraint::id() const {
  return data_ ? data_->id : 0;
}

Constraint operator==(const Expression& lhs, const Expression& rhs) {
  return Constraint(lhs - rhs, Relation::equal);
}

Constraint operator<=(const Expression& lhs, const Expression& rhs) {
  return Constraint(lhs - rhs, Relation::lessOrEqual);
}

Constraint operator>=(const Expression& lhs, const Expression& rhs) {
  return Constraint(lhs - rhs, Relation::greaterOrEqual);
}

Constraint operator|(const Constraint& constraint, double strength) {
  return Constraint(constraint, strength);
}

}  // namespace tilo::platform::solver
