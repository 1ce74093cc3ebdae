// A variable of the linear-constraint solver: a cheap handle to a shared data block.
//
//   Variable left("button.left");
//   Variable copy = left;  // copy == left: both name the same variable
//   solver.updateVariables();
//   double x = left.value();
//
// Only Solver::updateVariables writes value(); the handle is not synchronized, so a
// variable is read and solved on one thread (the main thread).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tilo::platform::solver {

class Variable {
 public:
  // An unnamed variable.
  Variable();
  explicit Variable(std::string name);

  const std::string& name() const;
  // The last value written by Solver::updateVariables, 0 before.
  double value() const;

  // Identity: copies of one handle compare equal, two separately made variables never do.
  bool operator==(const Variable& other) const { return data_ == other.data_; }
  bool operator!=(const Variable& other) const { return data_ != other.data_; }
  // Creation order.
  bool operator<(const Variable& other) const { return id() < other.id(); }

  // Unique per variable in the process, increasing in creation order.
  std::uint64_t id() const;

 private:
  friend class Tableau;  // the only writer of value()
  struct Data;
  void setValue(double value) const;

  std::shared_ptr<Data> data_;
};

}  // namespace tilo::platform::solver

template <>
struct std::hash<tilo::platform::solver::Variable> {
  std::size_t operator()(const tilo::platform::solver::Variable& variable) const noexcept {
    return std::hash<std::uint64_t>()(variable.id());
  }
};
