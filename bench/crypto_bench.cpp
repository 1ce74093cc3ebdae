// AES-256-GCM sealing of 4 KiB: the platform call against OpenSSL used directly, once
// with a fresh context per message (what a hand-written caller typically does) and once
// with one context keyed up front (the best a direct caller can do). Every variant draws
// a random nonce and returns ciphertext and tag, so they do the same work.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <map>
#include <string>

#include "platform/Crypto.h"

namespace {

using tilo::platform::Bytes;
using tilo::platform::SealedBox;

constexpr std::size_t kMessageSize = 4096;

const auto kKey = tilo::platform::sha256("bench-app-key");
const Bytes kPlaintext(kMessageSize, 0xA5);

bool finishSeal(EVP_CIPHER_CTX* ctx, SealedBox& box) {
  box.ciphertext.resize(kPlaintext.size());
  int length = 0;
  std::uint8_t scratch[16];
  return EVP_EncryptUpdate(ctx, box.ciphertext.data(), &length, kPlaintext.data(),
                           static_cast<int>(kPlaintext.size())) == 1 &&
         EVP_EncryptFinal_ex(ctx, scratch, &length) == 1 &&
         EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, box.tag.data()) == 1;
}

void BM_PlatformSeal(benchmark::State& state) {
  for (auto _ : state) {
    auto box = tilo::platform::aesGcmSeal(kKey, kPlaintext);
    if (!box) state.SkipWithError("seal failed");
    benchmark::DoNotOptimize(box);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessageSize));
}

void BM_BareSealFreshContext(benchmark::State& state) {
  for (auto _ : state) {
    SealedBox box;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    const bool ok =
        RAND_bytes(box.nonce.data(), 12) == 1 &&
        EVP_EncryptInit_ex2(ctx, EVP_aes_256_gcm(), kKey.data(), box.nonce.data(), nullptr) == 1 &&
        finishSeal(ctx, box);
    EVP_CIPHER_CTX_free(ctx);
    if (!ok) state.SkipWithError("seal failed");
    benchmark::DoNotOptimize(box);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessageSize));
}

void BM_BareSealReusedContext(benchmark::State& state) {
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-256-GCM", nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (EVP_EncryptInit_ex2(ctx, cipher, kKey.data(), nullptr, nullptr) != 1) {
    state.SkipWithError("init failed");
  }
  for (auto _ : state) {
    SealedBox box;
    const bool ok = RAND_bytes(box.nonce.data(), 12) == 1 &&
                    EVP_EncryptInit_ex2(ctx, nullptr, nullptr, box.nonce.data(), nullptr) == 1 &&
                    finishSeal(ctx, box);
    if (!ok) state.SkipWithError("seal failed");
    benchmark::DoNotOptimize(box);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kMessageSize));
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
}

BENCHMARK(BM_PlatformSeal);
BENCHMARK(BM_BareSealFreshContext);
BENCHMARK(BM_BareSealReusedContext);

// Remembers the fastest CPU time per benchmark (over repetitions) for the ratio lines.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const std::string name = run.benchmark_name();
      const double time = run.GetAdjustedCPUTime();
      if (!best_.contains(name) || time < best_[name]) best_[name] = time;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void printRatios() const {
    const auto platform = best_.find("BM_PlatformSeal");
    if (platform == best_.end()) return;
    for (const char* bare : {"BM_BareSealFreshContext", "BM_BareSealReusedContext"}) {
      const auto it = best_.find(bare);
      if (it == best_.end()) continue;
      std::printf("ratio platform/%s: %.3f (target <= 1.1)\n", bare, platform->second / it->second);
    }
  }

 private:
  std::map<std::string, double> best_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  reporter.printRatios();
  return 0;
}
