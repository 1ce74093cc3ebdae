#include "platform/Base64.h"

#include <gtest/gtest.h>

namespace tilo::platform {
namespace {

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

TEST(Base64Test, Rfc4648VectorsBothWays) {
  const std::vector<std::string_view> plain{"", "f", "fo", "foo", "foob", "fooba", "foobar"},
      encoded{"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(base64Encode(bytesOf(plain[i])), encoded[i]);
    EXPECT_EQ(base64Decode(encoded[i]), bytesOf(plain[i])) << encoded[i];
  }
  EXPECT_EQ(base64Encode(Bytes{0xFB, 0xFF, 0xBF}), "+/+/");
  EXPECT_EQ(base64Decode("+/+/"), (Bytes{0xFB, 0xFF, 0xBF}));
}

TEST(Base64Test, DecodingIgnoresNoCharacter) {
  for (std::string_view text : {
           "Zm9v\nYmFy", "Zm9v\r\nYmFy", "Zm9vYmFy\n", " Zm9vYmFy",
           "Zm9v YmFy",  "Zm9vYmFy\t",   "Zm9-",       "Zm9_",  // URL-safe alphabet
           "Zm9",        "Zm9vY",        "Zg=",        "Zg",    // length
           "Z===",       "====",         "=Zg=",       "Zm=v",
           "Zg==Zg==",   "Zm8=Zm9v",  // padding position
           "Zh==",       "Zm9=",      // bits after the last byte
           "Zm\xC3\xA4"}) {
    EXPECT_FALSE(base64Decode(text)) << text;
  }
  EXPECT_FALSE(base64Decode(std::string_view("Zm9\0", 4)));
}

// A key file trimmed then decoded, and a break inside it refused: KeyCryptoTest's
// SealsAndOpensWithStrictFraming. Here the Unicode spaces a trim also takes.
TEST(Base64Test, TrimTakesUnicodeSpacesAndNewlines) {
  EXPECT_EQ(trimWhitespaceAndNewlines("\u00A0\u2028a b\u3000\u0085"), "a b");
  EXPECT_EQ(trimWhitespaceAndNewlines(" \t\r\n\v\f "), "");
  // "\u00E0" ends in the same byte as the no-break space and stays.
  EXPECT_EQ(trimWhitespaceAndNewlines("\u00E0"), "\u00E0");
}

}  // namespace
}  // namespace tilo::platform
