// Session identifiers: 48 bits of time first, then 80 random bits, in Crockford Base32.
#include "Tilo/telemetry/SessionIdentifier.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace tilo {
namespace {

TEST(SessionIdentifierTest, EncodesTimeFirstWithPaddingAtTheEnd) {
  const std::array<std::uint8_t, 10> zeros{};
  std::array<std::uint8_t, 10> ones;
  ones.fill(0xFF);
  // The lowest time bit is bit 47: the 10th character's weight 4, not the canonical 1.
  EXPECT_EQ(encodeSessionIdentifier(1, zeros), "0000000004" + std::string(16, '0'));
  EXPECT_EQ(encodeSessionIdentifier((1ull << 48) - 1, ones), std::string(25, 'Z') + "W");
  // Only the low 48 bits of the time count.
  EXPECT_EQ(encodeSessionIdentifier((1ull << 48) | 1, zeros), encodeSessionIdentifier(1, zeros));

  // Every bit in place: 0x0123456789AB, then the ten bytes, then two zero bits, in groups
  // of five (worked out apart from the encoder, alphabet "0123456789ABCDEFGHJKMNPQRSTVWXYZ").
  const std::array<std::uint8_t, 10> random{0x01, 0x23, 0x45, 0x67, 0x89,
                                            0xAB, 0xCD, 0xEF, 0x5A, 0xC3};
  EXPECT_EQ(encodeSessionIdentifier(0x0123456789ABull, random), "04HMASW9NC0J6HB7H6NWVVTTRC");
}

}  // namespace
}  // namespace tilo
