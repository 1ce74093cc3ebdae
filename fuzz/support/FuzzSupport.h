// Helpers shared by the libFuzzer targets in fuzz/.
//
//   const std::string_view text = fuzz::textOf(data, size);
//   fuzz::check(decoded == again);   // a broken invariant aborts, so libFuzzer keeps the input
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "Tilo/base/KeyCrypto.h"
#include "Tilo/telemetry/MarkerFiles.h"
#include "platform/Json.h"

namespace tilo::fuzz {

// Names the broken invariant before aborting, so that a crash report says which one.
inline void check(bool condition, const char* file = __builtin_FILE(),
                  int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken at %s:%d\n", file, line);
  std::abort();
}

inline std::string_view textOf(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A private temporary folder for targets that must go through a file, removed at exit.
inline const std::filesystem::path& scratchDirectory() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "tilo-fuzz-XXXXXX").string();
    check(::mkdtemp(pattern.data()) != nullptr);
    std::atexit([] { std::filesystem::remove_all(folder); });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

// The input as it is (first byte even) or sealed with `appKey` (odd), so that the decoders
// behind the decryption are reached too; the first byte is dropped either way.
inline std::string plainOrSealed(const std::uint8_t* data, std::size_t size,
                                 const std::string& appKey) {
  const std::string_view rest = size == 0 ? std::string_view() : textOf(data + 1, size - 1);
  if (size == 0 || data[0] % 2 == 0) return std::string(rest);
  auto sealed = encryptPayload(appKey, bytesOf(rest));
  check(sealed.has_value());
  return std::move(*sealed);
}

// One file of the markers folder, read as the SDK reads it (decodeMarkerFile<T>): bad
// bytes read as nothing; a record that decodes is written and read back to the same text.
template <class T>
int fuzzMarkerFile(std::string_view text) {
  auto encoded = [](const T& value) {
    if constexpr (std::is_same_v<decltype(value.encode()), std::string>) {
      return value.encode();
    } else {
      return platform::dumpCompact(value.encode());
    }
  };
  const auto value = decodeMarkerFile<T>(text);
  if (!value) return 0;
  const std::string written = encoded(*value);
  const auto again = decodeMarkerFile<T>(written);
  check(again.has_value() && encoded(*again) == written);
  return 0;
}

}  // namespace tilo::fuzz
