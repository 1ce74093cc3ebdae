#include "platform/Crypto.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <optional>
#include <string>
#include <thread>
#include <unordered_set>

#include "platform/MainLoop.h"

namespace tilo::platform {
namespace {

Bytes hex(std::string_view text) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    out.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

template <std::size_t N>
std::array<std::uint8_t, N> fixed(const Bytes& bytes) {
  std::array<std::uint8_t, N> out{};
  std::copy_n(bytes.begin(), N, out.begin());
  return out;
}

TEST(CryptoTest, Sha256MatchesLibcrypto) {
  const std::string text = "\xED\x95\x9C app key";
  EXPECT_EQ(sha256(text), sha256(Bytes(text.begin(), text.end())));
  // Every tail length, over the one- and two-block paddings, as libcrypto has them.
  std::string bytes;
  for (int length = 0; length < 200; ++length) {
    Sha256Digest expected{};
    ASSERT_EQ(
        EVP_Digest(bytes.data(), bytes.size(), expected.data(), nullptr, EVP_sha256(), nullptr), 1);
    EXPECT_EQ(sha256(bytes), expected) << length << " bytes";
    bytes.push_back(static_cast<char>(length * 37 + 11));
  }
}

// McGrew-Viega GCM test cases 13 to 15 (AES-256, 96-bit IV, no AAD).
TEST(CryptoTest, AesGcmMatchesPublishedVectors) {
  struct Vector {
    std::string_view key, iv, plaintext, ciphertext, tag;
  };
  const std::string zeroKey(64, '0');
  const Vector vectors[] = {
      {zeroKey, "000000000000000000000000", "", "", "530f8afbc74536b9a963b4f1c4cb738b"},
      {zeroKey, "000000000000000000000000", "00000000000000000000000000000000",
       "cea7403d4d606b6e074ec5d3baf39d18", "d0d1c8a799996bf0265b98b5d48ab919"},
      {"feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308",
       "cafebabefacedbaddecaf888",
       "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
       "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b391aafd255",
       "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa"
       "8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662898015ad",
       "b094dac5d93471bdec1a502270e3cc6c"},
  };
  for (const auto& v : vectors) {
    const auto key = fixed<32>(hex(v.key));
    const auto nonce = fixed<12>(hex(v.iv));
    const auto box = aesGcmSeal(key, nonce, hex(v.plaintext));
    ASSERT_TRUE(box);
    EXPECT_EQ(box->ciphertext, hex(v.ciphertext));
    EXPECT_EQ(Bytes(box->tag.begin(), box->tag.end()), hex(v.tag));
    EXPECT_EQ(aesGcmOpen(key, nonce, hex(v.ciphertext), fixed<16>(hex(v.tag))), hex(v.plaintext));
  }
}

TEST(CryptoTest, OnlyTheSealingKeyOpensAnUnalteredBoxOnAnyThread) {
  const auto key = sha256("app-key"), otherKey = sha256("app-key2");
  const Bytes plaintext(100, 0x5A);
  std::optional<SealedBox> sealedOnAWorker;
  // Sealed with key, other key, key: each call must rekey the context the thread keeps.
  auto check = [&] {
    const auto box = aesGcmSeal(key, plaintext), otherBox = aesGcmSeal(otherKey, plaintext),
               again = aesGcmSeal(key, plaintext);
    ASSERT_TRUE(box && otherBox && again);
    auto ciphertext = box->ciphertext;
    ciphertext[37] ^= 0x04;
    EXPECT_FALSE(aesGcmOpen(key, box->nonce, ciphertext, box->tag));
    for (const auto* sealed : {&*box, &*again}) {
      EXPECT_FALSE(aesGcmOpen(otherKey, sealed->nonce, sealed->ciphertext, sealed->tag));
      // Failures leave the per-thread context usable.
      EXPECT_EQ(aesGcmOpen(key, sealed->nonce, sealed->ciphertext, sealed->tag), plaintext);
    }
    EXPECT_FALSE(aesGcmOpen(key, otherBox->nonce, otherBox->ciphertext, otherBox->tag));
    EXPECT_EQ(aesGcmOpen(otherKey, otherBox->nonce, otherBox->ciphertext, otherBox->tag),
              plaintext);
    sealedOnAWorker = otherBox;
  };
  check();
  std::thread([&] {
    MainLoop::markWorkerThread();  // a worker keeps its contexts from call to call
    check();
  }).join();
  // Here, with fresh contexts, the worker's box opens with the key it was sealed with only.
  ASSERT_TRUE(sealedOnAWorker);
  const auto& box = *sealedOnAWorker;
  EXPECT_EQ(aesGcmOpen(otherKey, box.nonce, box.ciphertext, box.tag), plaintext);
  EXPECT_FALSE(aesGcmOpen(key, box.nonce, box.ciphertext, box.tag));
}

TEST(CryptoTest, HundredThousandSealsNeverRepeatANonce) {
  const auto key = sha256("nonce-check");
  std::unordered_set<std::string> seen;
  seen.reserve(100'000);
  for (int i = 0; i < 100'000; ++i) {
    const auto box = aesGcmSeal(key, std::span<const std::uint8_t>());
    ASSERT_TRUE(box);
    ASSERT_TRUE(seen.emplace(box->nonce.begin(), box->nonce.end()).second) << "repeat at " << i;
  }
}

}  // namespace
}  // namespace tilo::platform
