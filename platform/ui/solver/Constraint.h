// A linear constraint `expression relation 0` with a strength; a cheap handle, copies
// name the same constraint.
//
//   Constraint pinned = left == 20;                       // required
//   Constraint wish = (width >= 2 * height) | strength::weak;
//   Constraint stronger(wish, strength::strong);          // a new constraint
//
// Building merges repeated variables and drops zero terms: `x + 2 == x / 2` becomes
// `0.5·x + 2 == 0`. A constraint is immutable; to change it, remove it from the solver
// and add a new one (or use an edit variable for a moving constant).
//
// Warning: between two Variables `a == b` is identity (a bool), not a constraint; write
// `a == b + 0` or `Expression(a) == b`. `<=` and `>=` have no such trap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/ui/solver/Expression.h"
#include "platform/ui/solver/Strength.h"

namespace tilo::platform::solver {

enum class Relation { lessOrEqual, equal, greaterOrEqual };

class Constraint {
 public:
  // The null constraint: no expression; the solver refuses it as unknown.
  Constraint();
  Constraint(const Expression& expression, Relation relation, double strength = strength::required);
  // Same expression and relation, another strength: a new, distinct constraint (null
  // when `other` is null).
  Constraint(const Constraint& other, double strength);

  // The normalized left side; the right side is 0. Empty for the null constraint.
  const Expression& expression() const;
  Relation relation() const;
  // Clipped into [0, strength::required].
  double strength() const;
  bool isRequired() const { return strength() >= strength::required; }
  bool isNull() const { return data_ == nullptr; }

  // Identity: copies compare equal; two constraints built alike are still distinct.
  bool operator==(const Constraint& other) const { return data_ == other.data_; }
  bool operator!=(const Constraint& other) const { return data_ != other.data_; }
  // Creation order (the null constraint first).
  bool operator<(const Constraint& other) const { return id() < other.id(); }

  // Unique per constraint in the process, increasing in creation order; 0 when null.
  std::uint64_t id() const;

 private:
  struct Data;
  std::shared_ptr<const Data> data_;
};

// lhs − rhs relation 0, required.
Constraint operator==(const Expression& lhs, const Expression& rhs);
Constraint operator<=(const Expression& lhs, const Expression& rhs);
Constraint operator>=(const Expression& lhs, const Expression& rhs);
// A copy with another strength.
Constraint operator|(const Constraint& constraint, double strength);

}  // namespace tilo::platform::solver

template <>
struct std::hash<tilo::platform::solver::Constraint> {
  std::size_t operator()(const tilo::platform::solver::Constraint& constraint) const noexcept {
    return std::hash<std::uint64_t>()(constraint.id());
  }
};
