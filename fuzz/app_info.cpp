// The backend's "/sdk/init" answer and the ad-unit cache blob. Whatever the bytes, decoding
// ends in an info or an error; an info the SDK accepted survives the cache unchanged.
#include "Tilo/backend/AdUnitCache.h"
#include "Tilo/base/TiloAppInfo.h"
#include "fuzz/support/FuzzSupport.h"

namespace {

constexpr std::string_view kCacheKey = "com.tilo.AdUnit";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo;
  const std::string_view text = fuzz::textOf(data, size);

  // The cache blob as read from user defaults.
  (void)AdUnitCache::decode(kCacheKey, platform::Bytes(data, data + size));

  // The answer, decoded as TiloApi does; what is accepted is cached and read back.
  std::optional<TiloAppInfo> info;
  try {
    info = TiloAppInfo::decode(platform::parseJson(text));
  } catch (const std::exception&) {
    return 0;
  }
  info->sdkConfig.reset();  // the cache never holds the SDK switches
  const auto blob = AdUnitCache::transform(platform::dumpCompact(info->encode()),
                                           AdUnitCache::keyByte(kCacheKey));
  const auto cached = AdUnitCache::decode(kCacheKey, blob);
  fuzz::check(cached && *cached == *info);
  return 0;
}
