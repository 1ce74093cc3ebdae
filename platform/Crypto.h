// SHA-256 (our own) and AES-256-GCM and secure random bytes (OpenSSL 3).
//
//   auto key = sha256(secret);                       // 32-byte key from a text secret
//   auto box = aesGcmSeal(key, plaintext);           // fresh random nonce
//   auto plain = aesGcmOpen(key, box->nonce, box->ciphertext, box->tag);
//
// GCM runs without additional authenticated data. Each thread keeps its own cipher
// contexts, so sealing and opening are safe from any thread and cost no setup.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/Bytes.h"

namespace tilo::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;
using AesGcmNonce = std::array<std::uint8_t, 12>;
using AesGcmTag = std::array<std::uint8_t, 16>;

Sha256Digest sha256(std::span<const std::uint8_t> data);
Sha256Digest sha256(std::string_view text);

struct SealedBox {
  AesGcmNonce nonce{};
  Bytes ciphertext;
  AesGcmTag tag{};

  // nonce + ciphertext + tag, the layout of key files, tokens and stored events.
  Bytes combined() const;
};

// Seals under a fresh random nonce; nullopt only if OpenSSL fails.
std::optional<SealedBox> aesGcmSeal(std::span<const std::uint8_t, 32> key,
                                    std::span<const std::uint8_t> plaintext);
// Seals under the given nonce. A nonce must never be reused with the same key.
std::optional<SealedBox> aesGcmSeal(std::span<const std::uint8_t, 32> key,
                                    std::span<const std::uint8_t, 12> nonce,
                                    std::span<const std::uint8_t> plaintext);
// nullopt when the tag does not verify (wrong key, altered nonce, ciphertext or tag).
std::optional<Bytes> aesGcmOpen(std::span<const std::uint8_t, 32> key,
                                std::span<const std::uint8_t, 12> nonce,
                                std::span<const std::uint8_t> ciphertext,
                                std::span<const std::uint8_t, 16> tag);

bool secureRandomBytes(std::span<std::uint8_t> out);

// Sets OpenSSL up without its exit handler, once: OpenSSL would free its global state at
// exit while pool threads may still seal events for the store as a host returns from
// main. Every use of OpenSSL here calls it first, and the HTTP client before libcurl
// starts OpenSSL itself; nothing of it runs when the library loads.
void initializeOpenSsl();

}  // namespace tilo::platform
