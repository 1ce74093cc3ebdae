// The kind of view a load-state manager serves. The raw value is the name the retry
// manager writes in its give-up line.
#pragma once

#include <string_view>

namespace tilo {

enum class AdType {
  banner,  // "배너"
  native,  // "네이티브"
};

constexpr std::string_view rawValue(AdType type) {
  return type == AdType::banner ? "배너" : "네이티브";
}

}  // namespace tilo
