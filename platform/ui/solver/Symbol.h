// Internal to the solver: a column of the simplex tableau.
//
// External symbols stand for the user's variables and are unrestricted. The others are
// restricted to be non-negative: slacks turn inequalities into equations, error symbols
// measure how far a non-required constraint is violated (they carry its strength in the
// objective), and dummies mark required equations so that they can be found again for
// removal. Dummies must stay 0 and therefore never enter the basis by pivoting.
#pragma once

#include <cstdint>

namespace tilo::platform::solver {

enum class SymbolKind : std::uint8_t { invalid = 0, external, slack, error, dummy };

class Symbol {
 public:
  Symbol() = default;
  Symbol(std::uint64_t id, SymbolKind kind) : bits_((id << 3) | static_cast<std::uint64_t>(kind)) {}

  // Ids grow in creation order within one solver; ordering symbols by them is what
  // makes pivot choice (and so every result) independent of memory layout.
  std::uint64_t id() const { return bits_ >> 3; }
  SymbolKind kind() const { return static_cast<SymbolKind>(bits_ & 7); }
  std::uint64_t bits() const { return bits_; }
  static Symbol fromBits(std::uint64_t bits) {
    Symbol symbol;
    symbol.bits_ = bits;
    return symbol;
  }

  bool isValid() const { return bits_ != 0; }
  bool isExternal() const { return kind() == SymbolKind::external; }
  bool isDummy() const { return kind() == SymbolKind::dummy; }
  // May enter the basis while optimizing.
  bool isPivotable() const { return kind() == SymbolKind::slack || kind() == SymbolKind::error; }
  // Bound to be >= 0 (dummies: == 0).
  bool isRestricted() const { return isValid() && !isExternal(); }

  friend bool operator==(Symbol a, Symbol b) { return a.bits_ == b.bits_; }
  friend bool operator!=(Symbol a, Symbol b) { return a.bits_ != b.bits_; }
  // By id (the kind sits in the low bits).
  friend bool operator<(Symbol a, Symbol b) { return a.bits_ < b.bits_; }

 private:
  std::uint64_t bits_ = 0;
};

}  // namespace tilo::platform::solver
