#include "platform/ui/solver/Expression.h"

#include <utility>

namespace tilo::platform::solver {

Expression::Expression(double constant) : constant_(constant) {}

Expression::Expression(const Variable& variable) : terms_{Term{variable, 1.0}} {}

Expression::Expression(const Term& term) : terms_{term} {}

Expression::Expression(std::vector<Term> terms, double constant)
    : terms_(std::move(terms)), constant_(constant) {}

double Expression::value() const {
  double sum = constant_;
  for (const Term& term : terms_) sum += term.value();
  return sum;
}

Term operator*(const Variable& variable, double coefficient) {
  return {variable, coefficient};
}
Term operator*(double coefficient, const Variable& variable) {
  return {variable, coefficient};
}
Term operator/(const Variable& variable, double denominator) {
  return {variable, 1.0 / denominator};
}
Term operator-(const Variable& variable) {
  return {variable, -1.0};
}

Term operator*(const Term& term, double coefficient) {
  return {term.variable, term.coefficient * coefficient};
}
Term operator*(double coefficient, const Term& term) {
  return term * coefficient;
}
Term operator/(const Term& term, double denominator) {
  return {term.variable, term.coefficient / denominator};
}
Term operator-(const Term& term) {
  return {term.variable, -term.coefficient};
}

Expression operator*(const Expression& expression, double coefficient) {
  std::vector<Term> terms;
  terms.reserve(expression.terms().size());
  for (const Term& term : expression.terms()) terms.push_back(term * coefficient);
  return Expression(std::move(terms), expression.constant() * coefficient);
}
Expression operator*(double coefficient, const Expression& expression) {
  return expression * coefficient;
}
Expression operator/(const Expression& expression, double denominator) {
  std::vector<Term> terms;
  terms.reserve(expression.terms().size());
  for (const Term& term : expression.terms()) terms.push_back(term / denominator);
  return Expression(std::move(terms), expression.constant() / denominator);
}
Expression operator-(const Expression& expression) {
  return expression * -1.0;
}

Expression operator+(const Expression& lhs, const Expression& rhs) {
  std::vector<Term> terms;
  terms.reserve(lhs.terms().size() + rhs.terms().size());
  terms.insert(terms.end(), lhs.terms().begin(), lhs.terms().end());
  terms.insert(terms.end(), rhs.terms().begin(), rhs.terms().end());
  return Expression(std::move(terms), lhs.constant() + rhs.constant());
}

Expression operator-(const Expression& lhs, const Expression& rhs) {
  return lhs + (-rhs);
}

}  // namespace tilo::platform::solver
