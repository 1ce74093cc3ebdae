#include "platform/ui/solver/Variable.h"

#include <atomic>
#include <utility>

namespace tilo::platform::solver {

struct Variable::Data {
  explicit Data(std::string name) : name(std::move(name)) {}

  // Process-wide creation order: a stable identity for ordering and hashing that does
  // not depend on where the block was allocated.
  static std::uint64_t nextId() {
    static std::atomic<std::uint64_t> counter{0};
    return counter.fetch_add(1, std::memory_order_relaxed) + 1;
  }

  const std::uint64_t id = nextId();
  const std::string name;
  double value = 0;
};

Variable::Variable() : Variable(std::string()) {}

Variable::Variable(std::string name) : data_(std::make_shared<Data>(std::move(name))) {}

const std::string& Variable::name() const {
  return data_->name;
}

double Variable::value() const {
  return data_->value;
}

std::uint64_t Variable::id() const {
  return data_->id;
}

void Variable::setValue(double value) const {
  data_->value = value;
}

}  // namespace tilo::platform::solver
