#include "Tilo/telemetry/SessionIdentifier.h"

#include <pthread.h>

#include <array>
#include <atomic>
#include <cmath>
#include <mutex>

#include "platform/Crypto.h"
#include "platform/Device.h"
#include "platform/Environment.h"

namespace tilo {
namespace {

constexpr char kAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";

struct SessionState {
  std::mutex mutex;
  std::atomic<bool> ready{false};
  std::string value;
};

SessionState& state() {
  // Never destroyed: events may be logged while the process exits.
  static SessionState* instance = [] {
    auto* created = new SessionState();
    // A forked child is another process and gets its own session. Holding the lock
    // across fork keeps the child from inheriting it mid-update.
    pthread_atfork([] { state().mutex.lock(); }, [] { state().mutex.unlock(); },
                   [] {
                     state().ready.store(false);
                     state().mutex.unlock();
                   });
    return created;
  }();
  return *instance;
}

std::string makeSessionIdentifier() {
  const double millis = std::floor(platform::now() * 1000.0);
  if (!(millis >= 0 && millis < 0x1p48)) return platform::makeUUIDString(false);
  std::array<std::uint8_t, 10> random{};
  if (!platform::secureRandomBytes(random)) return platform::makeUUIDString(false);
  return encodeSessionIdentifier(static_cast<std::uint64_t>(millis), random);
}

}  // namespace

std::string encodeSessionIdentifier(std::uint64_t millis,
                                    std::span<const std::uint8_t, 10> random) {
  std::array<std::uint8_t, 16> bytes{};
  for (int i = 0; i < 6; ++i) bytes[i] = static_cast<std::uint8_t>(millis >> (8 * (5 - i)));
  std::copy(random.begin(), random.end(), bytes.begin() + 6);

  std::string out;
  out.reserve(26);
  unsigned buffer = 0;
  int bits = 0;
  for (std::uint8_t byte : bytes) {
    buffer = (buffer << 8) | byte;
    bits += 8;
    while (bits >= 5) {
      bits -= 5;
      out += kAlphabet[(buffer >> bits) & 0x1F];
    }
  }
  out += kAlphabet[(buffer & ((1u << bits) - 1)) << (5 - bits)];  // 3 bits left over
  return out;
}

const std::string& sessionIdentifier() {
  SessionState& s = state();
  if (!s.ready.load(std::memory_order_acquire)) {
    std::lock_guard lock(s.mutex);
    if (!s.ready.load(std::memory_order_relaxed)) {
      s.value = makeSessionIdentifier();
      s.ready.store(true, std::memory_order_release);
    }
  }
  return s.value;
}

}  // namespace tilo
