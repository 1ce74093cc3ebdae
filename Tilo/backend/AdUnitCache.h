// The last application info the backend sent, kept in user defaults so that a start
// without network still knows the ad units.
//
//   AdUnitCache::write("com.tilo.AdUnit", info);
//   std::optional<TiloAppInfo> cached = AdUnitCache::read("com.tilo.AdUnit");
//
// The blob is the JSON of the info as decoded (units with their five fields and the fee
// rate; never the SDK switches, nor anything else the answer carried) with every byte
// XOR-ed by one key byte derived from the entry's key, so it is not plain JSON on disk. It
// shares the host's preferences file, so an info whose JSON exceeds kMaxBytes is not
// cached (an error line; the previous blob stays).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "Tilo/base/TiloAppInfo.h"
#include "Tilo/base/UserDefaultsFailures.h"
#include "platform/Bytes.h"
#include "platform/UserDefaults.h"

namespace tilo {

class AdUnitCache {
 public:
  // A thousand units with long names and identifiers take a fifth of this.
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 20;

  static void write(std::string_view key, const TiloAppInfo& info);
  // Nothing when no blob is stored or it does not decode (an error line is logged and
  // the blob is left alone).
  static std::optional<TiloAppInfo> read(std::string_view key);
  // The info in a blob stored under `key`; nothing, after the error line, when it does not
  // decode.
  static std::optional<TiloAppInfo> decode(std::string_view key, const platform::Bytes& blob);

  // XOR of the key's UTF-8 bytes, starting from 0.
  static std::uint8_t keyByte(std::string_view key);
  // Turns the plain form into the stored form and back.
  static platform::Bytes transform(std::string_view data, std::uint8_t keyByte);
};

}  // namespace tilo
