#include "platform/Crypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <optional>
#include <stdexcept>

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

const EVP_MD* sha256Md() {
  initializeOpenSsl();
  static EVP_MD* const md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return md;
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

Sha256Digest sha256(std::span<const std::uint8_t> data) {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (sha256Md() == nullptr ||
      EVP_Digest(data.data(), data.size(), digest.data(), &length, sha256Md(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 unavailable in libcrypto");
  }
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
