#include "Tilo/base/KeyCrypto.h"

#include "platform/Base64.h"
#include "platform/Crypto.h"

namespace tilo {

PayloadKey payloadKey(std::string_view secret) {
  return platform::sha256(secret);
}

std::optional<platform::Bytes> decryptKeyPayload(std::string_view secret, std::string_view text) {
  return decryptKeyPayload(payloadKey(secret), text);
}

std::optional<platform::Bytes> decryptKeyPayload(const PayloadKey& key, std::string_view text) {
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
  return encryptPayload(payloadKey(secret), bytes);
}

std::optional<std::string> encryptPayload(const PayloadKey& key,
                                          std::span<const std::uint8_t> bytes) {
  auto box = platform::aesGcmSeal(key, bytes);
  if (!box) return std::nullopt;
  return platform::base64Encode(box->combined());
}

}  // namespace tilo
