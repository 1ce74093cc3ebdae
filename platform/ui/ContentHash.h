// A 64-bit digest of what a view draws, so that a render can tell which views changed
// since the last frame without keeping their old values.
//
//   ContentHash hash;
//   hash.add(text);
//   hash.add(textColor.resolved(appearance));
//   if (hash.value() != previous) ...   // redraw
#pragma once

#include <bit>
#include <cstdint>
#include <string_view>

#include "platform/ui/CGGeometry.h"
#include "platform/ui/UIColor.h"

namespace tilo::platform {

class ContentHash {
 public:
  void add(std::uint64_t value) {
    // splitmix64's finalizer: every input bit reaches every output bit.
    std::uint64_t z = state_ ^ (value + 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    state_ = z ^ (z >> 31);
  }
  void add(double value) { add(std::bit_cast<std::uint64_t>(value == 0 ? 0.0 : value)); }
  void add(bool value) { add(std::uint64_t{value ? 1u : 2u}); }
  void add(int value) { add(static_cast<std::uint64_t>(static_cast<std::int64_t>(value))); }
  void add(const void* pointer) {
    add(static_cast<std::uint64_t>(std::bit_cast<std::uintptr_t>(pointer)));
  }
  void add(std::string_view text) {
    std::uint64_t fnv = 0xCBF29CE484222325ull;
    for (unsigned char c : text) fnv = (fnv ^ c) * 0x100000001B3ull;
    add(fnv);
    add(static_cast<std::uint64_t>(text.size()));
  }
  void add(const RGBA& color) {
    add(color.red);
    add(color.green);
    add(color.blue);
    add(color.alpha);
  }
  void add(const CGRect& rect) {
    add(rect.x());
    add(rect.y());
    add(rect.width());
    add(rect.height());
  }

  std::uint64_t value() const { return state_; }

 private:
  std::uint64_t state_ = 0x243F6A8885A308D3ull;
};

}  // namespace tilo::platform
