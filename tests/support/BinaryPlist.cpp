#include "support/BinaryPlist.h"

#include <cstdint>

namespace tilo::test {

std::string plistAscii(std::string_view text) {
  return static_cast<char>(0x50 | text.size()) + std::string(text);
}

std::string plistUtf16(std::u16string_view text) {
  std::string object(1, static_cast<char>(0x60 | text.size()));
  for (char16_t unit : text) object += {static_cast<char>(unit >> 8), static_cast<char>(unit)};
  return object;
}

std::string binaryPlist(const std::vector<std::pair<std::string, std::string>>& entries) {
  const std::size_t n = entries.size();
  std::string out = "bplist00";
  std::vector<std::size_t> offsets{out.size()};
  out += static_cast<char>(0xD0 | n);
  for (std::size_t i = 0; i < 2 * n; ++i) out += static_cast<char>(1 + i);  // keys, values
  for (int part = 0; part < 2; ++part) {
    for (const auto& entry : entries) {
      offsets.push_back(out.size());
      out += part == 0 ? entry.first : entry.second;
    }
  }
  const std::size_t table = out.size();
  for (auto offset : offsets) out += static_cast<char>(offset);  // one-byte offsets
  out += std::string(6, '\0') + "\x01\x01";
  for (std::uint64_t value :
       {std::uint64_t{offsets.size()}, std::uint64_t{0}, std::uint64_t{table}}) {
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
  }
  return out;
}

}  // namespace tilo::test
