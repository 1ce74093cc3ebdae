// Internal to the solver: a hash map from symbols to values, open addressing with linear
// probing. The tableau looks a row or a column up for nearly every cell it touches; a
// node-based map would allocate per entry and chase a pointer per lookup.
//
//   SymbolMap<std::size_t> slots;
//   slots.insertOrAssign(symbol, 3);
//   if (std::size_t* slot = slots.find(symbol)) ...
//   slots.erase(symbol);
//
// Removal shifts the entries after it back (no tombstones), so lookups stay short however
// many symbols come and go. Values must be movable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/ui/solver/Symbol.h"

namespace tilo::platform::solver {

template <class V>
class SymbolMap {
 public:
  std::size_t size() const { return size_; }

  V* find(Symbol symbol) {
    if (size_ == 0) return nullptr;
    for (std::size_t i = home(symbol.bits());; i = (i + 1) & mask_) {
      if (keys_[i] == symbol.bits()) return &values_[i];
      if (keys_[i] == 0) return nullptr;
    }
  }
  const V* find(Symbol symbol) const { return const_cast<SymbolMap*>(this)->find(symbol); }

  // The value under `symbol`, default-made when absent.
  V& operator[](Symbol symbol) {
    if ((size_ + 1) * 2 > keys_.size()) grow();
    std::size_t i = home(symbol.bits());
    for (; keys_[i] != 0; i = (i + 1) & mask_) {
      if (keys_[i] == symbol.bits()) return values_[i];
    }
    keys_[i] = symbol.bits();
    values_[i] = V();
    ++size_;
    return values_[i];
  }
  void insertOrAssign(Symbol symbol, V value) { (*this)[symbol] = std::move(value); }

  // Moves the value out (a default one when absent) and removes the entry.
  V take(Symbol symbol) {
    if (size_ == 0) return V();
    std::size_t i = home(symbol.bits());
    for (; keys_[i] != symbol.bits(); i = (i + 1) & mask_) {
      if (keys_[i] == 0) return V();
    }
    V value = std::move(values_[i]);
    removeAt(i);
    return value;
  }
  void erase(Symbol symbol) { take(symbol); }

  void clear() {
    keys_.clear();
    values_.clear();
    size_ = 0;
    mask_ = 0;
  }

 private:
  std::size_t home(std::uint64_t key) const {
    // Fibonacci hashing: ids are consecutive, the product spreads them over the table.
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
  }

  void grow() {
    std::vector<std::uint64_t> keys(keys_.empty() ? 16 : keys_.size() * 2, 0);
    std::vector<V> values(keys.size());
    keys.swap(keys_);
    values.swap(values_);
    mask_ = keys_.size() - 1;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (keys[i] == 0) continue;
      std::size_t j = home(keys[i]);
      while (keys_[j] != 0) j = (j + 1) & mask_;
      keys_[j] = keys[i];
      values_[j] = std::move(values[i]);
    }
  }

  // Backward-shift deletion: each later entry of the run moves into the hole when its
  // home does not lie between the hole and itself.
  void removeAt(std::size_t hole) {
    --size_;
    for (std::size_t i = (hole + 1) & mask_; keys_[i] != 0; i = (i + 1) & mask_) {
      const std::size_t want = home(keys_[i]);
      const bool stays = hole < i ? (hole < want && want <= i) : (hole < want || want <= i);
      if (stays) continue;
      keys_[hole] = keys_[i];
      values_[hole] = std::move(values_[i]);
      hole = i;
    }
    keys_[hole] = 0;
    values_[hole] = V();
  }

  std::vector<std::uint64_t> keys_;
  std::vector<V> values_;
  std::size_t size_ = 0;
  std::size_t mask_ = 0;
};

}  // namespace tilo::platform::solver
