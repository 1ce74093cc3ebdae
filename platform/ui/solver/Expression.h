// Linear expressions over solver variables: constant + Σ coefficient·variable.
//
//   Variable left, width;
//   Expression right = left + width;           // 0 + 1·left + 1·width
//   Expression centre = left + width / 2 + 8;  // 8 + 1·left + 0.5·width
//
// An expression keeps its terms as written (a variable may appear twice); constraints
// merge them. value() reads the variables' last solved values.
#pragma once

#include <vector>

#include "platform/ui/solver/Variable.h"

namespace tilo::platform::solver {

struct Term {
  Variable variable;
  double coefficient = 1.0;

  double value() const { return coefficient * variable.value(); }
};

class Expression {
 public:
  Expression(double constant = 0);       // NOLINT(google-explicit-constructor): 5 + x
  Expression(const Variable& variable);  // NOLINT(google-explicit-constructor)
  Expression(const Term& term);          // NOLINT(google-explicit-constructor)
  Expression(std::vector<Term> terms, double constant = 0);

  const std::vector<Term>& terms() const { return terms_; }
  double constant() const { return constant_; }
  // constant + Σ coefficient·variable.value().
  double value() const;

 private:
  std::vector<Term> terms_;
  double constant_ = 0;
};

// Scaling and negation.
Term operator*(const Variable& variable, double coefficient);
Term operator*(double coefficient, const Variable& variable);
Term operator/(const Variable& variable, double denominator);
Term operator-(const Variable& variable);
Term operator*(const Term& term, double coefficient);
Term operator*(double coefficient, const Term& term);
Term operator/(const Term& term, double denominator);
Term operator-(const Term& term);
Expression operator*(const Expression& expression, double coefficient);
Expression operator*(double coefficient, const Expression& expression);
Expression operator/(const Expression& expression, double denominator);
Expression operator-(const Expression& expression);

// Sums and differences between any two of Expression, Term, Variable and double (the
// others convert implicitly to Expression).
Expression operator+(const Expression& lhs, const Expression& rhs);
Expression operator-(const Expression& lhs, const Expression& rhs);

}  // namespace tilo::platform::solver
