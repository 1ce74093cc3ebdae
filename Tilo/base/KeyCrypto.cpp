#include "Tilo/base/KeyCrypto.h"

#include "platform/Base64.h"
#include "platform/Crypto.h"

namespace tilo {

std::optional<platform::Bytes> decryptKeyPayload(std::string_view secret, std::string_view text) {
  const auto key = platform::sha256(secret);
  auto decoded = platform::base64Decode(platform::trimWhitespaceAndNewlines(text));
  if (!decoded || decoded->size() < 13) return std::nullopt;
  const std::span<const std::uint8_t> all(*decoded);
  const auto rest = all.subspan(12);
  if (rest.size() <= 16) return std::nullopt;
  const auto nonce = all.first<12>();
  const auto ciphertext = rest.first(rest.size() - 16);
  const auto tag = rest.last<16>();
  return platform::aesGcmOpen(key, nonce, ciphertext, tag);
}

std::optional<std::string> encryptPayload(std::string_view secret,
                                          std::span<const std::uint8_t> bytes) {
  const auto key = platform::sha256(secret);
  auto box = platform::aesGcmSeal(key, bytes);
  if (!box) return std::nullopt;
  return platform::base64Encode(box->combined());
}

}  // namespace tilo
