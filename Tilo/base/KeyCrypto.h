// The sealing used by key files, plugin tokens and the event store: AES-256-GCM keyed by
// SHA-256 of a secret text, carried as Base64 of nonce (12) + ciphertext + tag (16).
//
//   auto text = encryptPayload(appKey, bytes);          // fresh random nonce every call
//   auto plain = decryptKeyPayload(appKey, *text);      // nullopt on any problem
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/Bytes.h"

namespace tilo {

// Trims surrounding white space and line breaks, then decodes strictly. Nothing for
// bad Base64, fewer than 13 bytes, no ciphertext beyond the tag, or a tag that does
// not verify (wrong secret, altered bytes).
std::optional<platform::Bytes> decryptKeyPayload(std::string_view secret, std::string_view text);
// Nothing only when the cipher itself fails.
std::optional<std::string> encryptPayload(std::string_view secret,
                                          std::span<const std::uint8_t> bytes);

// The key a secret stands for, for a caller that seals often with one secret: the same
// two operations without hashing the secret each time.
using PayloadKey = std::array<std::uint8_t, 32>;
PayloadKey payloadKey(std::string_view secret);
std::optional<platform::Bytes> decryptKeyPayload(const PayloadKey& key, std::string_view text);
std::optional<std::string> encryptPayload(const PayloadKey& key,
                                          std::span<const std::uint8_t> bytes);

}  // namespace tilo
