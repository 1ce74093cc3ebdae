// Session identifiers: 48 bits of time first, then 80 random bits, in Crockford Base32.
#include "Tilo/telemetry/SessionIdentifier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tilo {
namespace {

TEST(SessionIdentifierTest, EncodesTimeFirstWithPaddingAtTheEnd) {
  const std::array<std::uint8_t, 10> zeros{};
  std::array<std::uint8_t, 10> ones;
  ones.fill(0xFF);
  EXPECT_EQ(encodeSessionIdentifier(0, zeros), std::string(26, '0'));
  // The lowest time bit is bit 47: the 10th character's weight 4, not the canonical 1.
  EXPECT_EQ(encodeSessionIdentifier(1, zeros), "0000000004" + std::string(16, '0'));
  EXPECT_EQ(encodeSessionIdentifier((1ull << 48) - 1, ones), std::string(25, 'Z') + "W");
  // Only the low 48 bits of the time count.
  EXPECT_EQ(encodeSessionIdentifier((1ull << 48) | 1, zeros), encodeSessionIdentifier(1, zeros));

  // Decoding the 26 characters back gives the 128 input bits.
  const std::string alphabet = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
  const std::array<std::uint8_t, 10> random{0x01, 0x23, 0x45, 0x67, 0x89,
                                            0xAB, 0xCD, 0xEF, 0x5A, 0xC3};
  const std::uint64_t millis = 0x0123456789ABull;
  const std::string text = encodeSessionIdentifier(millis, random);
  std::vector<int> bits;
  for (char c : text) {
    const auto value = alphabet.find(c);
    ASSERT_NE(value, std::string::npos);
    for (int b = 4; b >= 0; --b) bits.push_back(static_cast<int>((value >> b) & 1));
  }
  ASSERT_EQ(bits.size(), 130u);
  EXPECT_EQ(bits[128] + bits[129], 0);
  std::vector<std::uint8_t> bytes(16);
  for (int i = 0; i < 128; ++i) bytes[i / 8] |= static_cast<std::uint8_t>(bits[i] << (7 - i % 8));
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(bytes[i], static_cast<std::uint8_t>(millis >> (40 - 8 * i)));
  EXPECT_TRUE(std::equal(random.begin(), random.end(), bytes.begin() + 6));
}

}  // namespace
}  // namespace tilo
