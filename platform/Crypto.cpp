#include "platform/Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>

#include "platform/MainLoop.h"

namespace tilo::platform {
namespace {

// Fetched once: letting OpenSSL resolve the algorithm by name on every call costs a
// provider lookup per operation. Kept for the whole process on purpose.
const EVP_CIPHER* aes256Gcm() {
  initializeOpenSsl();
  static EVP_CIPHER* const cipher = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
  return cipher;
}

// One cipher context per thread and direction (see contextFor). The key schedule is kept while the
// same key comes back (one app key per process is the normal case); only the nonce changes.
class GcmContext {
 public:
  explicit GcmContext(bool encrypt) : encrypt_(encrypt) {}
  GcmContext(const GcmContext&) = delete;
  GcmContext& operator=(const GcmContext&) = delete;
  ~GcmContext() {
    EVP_CIPHER_CTX_free(ctx_);
    OPENSSL_cleanse(key_.data(), key_.size());
  }

  EVP_CIPHER_CTX* begin(std::span<const std::uint8_t, 32> key,
                        std::span<const std::uint8_t, 12> nonce) {
    const EVP_CIPHER* cipher = aes256Gcm();
    if (ctx_ == nullptr || cipher == nullptr) return nullptr;
    const bool rekey = !keyed_ || CRYPTO_memcmp(key_.data(), key.data(), key_.size()) != 0;
    keyed_ = false;
    if (EVP_CipherInit_ex2(ctx_, rekey ? cipher : nullptr, rekey ? key.data() : nullptr,
                           nonce.data(), encrypt_ ? 1 : 0, nullptr) != 1) {
      return nullptr;
    }
    std::copy(key.begin(), key.end(), key_.begin());
    keyed_ = true;
    return ctx_;
  }

 private:
  EVP_CIPHER_CTX* ctx_ = EVP_CIPHER_CTX_new();
  std::array<std::uint8_t, 32> key_{};
  bool keyed_ = false;
  bool encrypt_;
};

// The platform's own threads keep their contexts, which go when the SDK joins them at
// shutdown. Any other thread (the host's) gets one for the call: a thread_local with a
// destructor there would keep this library mapped after dlclose until that thread ends.
GcmContext& contextFor(bool encrypt, std::optional<GcmContext>& local) {
  if (MainLoop::isWorkerThread()) {
    thread_local GcmContext sealing(true);
    thread_local GcmContext opening(false);
    return encrypt ? sealing : opening;
  }
  return local.emplace(encrypt);
}

}  // namespace

namespace {

constexpr std::array<std::uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t rotr(std::uint32_t x, int n) {
  return (x >> n) | (x << (32 - n));
}

void compress(std::array<std::uint32_t, 8>& state, const std::uint8_t* block) {
  std::array<std::uint32_t, 64> w;
  for (int i = 0; i < 16; ++i) {
    w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state;
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                             kRoundConstants[i] + w[i];
    const std::uint32_t t2 =
        (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const std::array<std::uint32_t, 8> add = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) state[i] += add[i];
}

}  // namespace

// Our own: a key is hashed once per start, and fetching libcrypto's digest would build
// its whole method store for that one call.
Sha256Digest sha256(std::span<const std::uint8_t> data) {
  std::array<std::uint32_t, 8> state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::size_t whole = data.size() - data.size() % 64;
  for (std::size_t at = 0; at < whole; at += 64) compress(state, data.data() + at);
  // The tail, the 0x80 marker and the length in bits fill one or two last blocks.
  std::array<std::uint8_t, 128> last{};
  const std::size_t tail = data.size() - whole;
  std::copy(data.begin() + static_cast<std::ptrdiff_t>(whole), data.end(), last.begin());
  last[tail] = 0x80;
  const std::size_t blocks = tail < 56 ? 1 : 2;
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (int i = 0; i < 8; ++i)
    last[blocks * 64 - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (std::size_t block = 0; block < blocks; ++block) compress(state, last.data() + 64 * block);
  Sha256Digest digest;
  for (int i = 0; i < 32; ++i)
    digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
  return digest;
}

Sha256Digest sha256(std::string_view text) {
  return sha256(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Bytes SealedBox::combined() const {
  Bytes out;
  out.reserve(nonce.size() + ciphertext.size() + tag.size());
  out.insert(out.end(), nonce.begin(), nonce.end());
  out.insert(out.end(), ciphertext.begin(), ciphertext.end());
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

std::optional<SealedBox> aesGcmSeal(std::span<const std::uint8_t, 32> key,
                                    std::span<const std::uint8_t> plaintext) {
  initializeOpenSsl();
  AesGcmNonce nonce;
  if (!secureRandomBytes(nonce)) return std::nullopt;
  return aesGcmSeal(key, nonce, plaintext);
}

std::optional<SealedBox> aesGcmSeal(std::span<const std::uint8_t, 32> key,
                                    std::span<const std::uint8_t, 12> nonce,
                                    std::span<const std::uint8_t> plaintext) {
  initializeOpenSsl();
  if (plaintext.size() > INT_MAX) return std::nullopt;
  std::optional<GcmContext> local;
  EVP_CIPHER_CTX* ctx = contextFor(true, local).begin(key, nonce);
  if (ctx == nullptr) return std::nullopt;
  SealedBox box;
  std::copy(nonce.begin(), nonce.end(), box.nonce.begin());
  box.ciphertext.resize(plaintext.size());
  int length = 0;
  std::uint8_t scratch[16];
  if ((!plaintext.empty() &&
       EVP_EncryptUpdate(ctx, box.ciphertext.data(), &length, plaintext.data(),
                         static_cast<int>(plaintext.size())) != 1) ||
      EVP_EncryptFinal_ex(ctx, scratch, &length) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, static_cast<int>(box.tag.size()),
                          box.tag.data()) != 1) {
    return std::nullopt;
  }
  return box;
}

std::optional<Bytes> aesGcmOpen(std::span<const std::uint8_t, 32> key,
                                std::span<const std::uint8_t, 12> nonce,
                                std::span<const std::uint8_t> ciphertext,
                                std::span<const std::uint8_t, 16> tag) {
  initializeOpenSsl();
  if (ciphertext.size() > INT_MAX) return std::nullopt;
  std::optional<GcmContext> local;
  EVP_CIPHER_CTX* ctx = contextFor(false, local).begin(key, nonce);
  if (ctx == nullptr) return std::nullopt;
  Bytes plaintext(ciphertext.size());
  int length = 0;
  std::uint8_t scratch[16];
  AesGcmTag expected;
  std::copy(tag.begin(), tag.end(), expected.begin());
  if ((!ciphertext.empty() && EVP_DecryptUpdate(ctx, plaintext.data(), &length, ciphertext.data(),
                                                static_cast<int>(ciphertext.size())) != 1) ||
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, static_cast<int>(expected.size()),
                          expected.data()) != 1 ||
      EVP_DecryptFinal_ex(ctx, scratch, &length) <= 0) {
    // Never hand out plaintext that failed authentication.
    OPENSSL_cleanse(plaintext.data(), plaintext.size());
    return std::nullopt;
  }
  return plaintext;
}

void initializeOpenSsl() {
  // The process's end reclaims the memory.
  static const bool done = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
  (void)done;
}

bool secureRandomBytes(std::span<std::uint8_t> out) {
  // The kernel's generator, which also seeds OpenSSL's: a nonce or an identifier costs one
  // system call instead of a DRBG step several times as long, and needs no crypto set-up.
  while (!out.empty()) {
    const ssize_t got = ::getrandom(out.data(), out.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    out = out.subspan(static_cast<std::size_t>(got));
  }
  if (out.empty()) return true;
  initializeOpenSsl();  // a kernel without getrandom
  while (!out.empty()) {
    const std::size_t chunk = std::min<std::size_t>(out.size(), INT_MAX);
    if (RAND_bytes(out.data(), static_cast<int>(chunk)) != 1) return false;
    out = out.subspan(chunk);
  }
  return true;
}

}  // namespace tilo::platform
