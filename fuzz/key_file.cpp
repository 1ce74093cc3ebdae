// The key file: its text (mode byte even) or a plaintext sealed with the app key (odd), so
// that the configuration decoder is reached too. Decoding never ends the fuzzer's process;
// a configuration that decodes survives being sealed and decoded again.
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/base/TiloConfiguration.h"
#include "fuzz/support/FuzzSupport.h"

namespace {

const std::string kAppKey = "fuzz-app-key";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo;
  const auto decoded = decodeKeyFile(kAppKey, fuzz::plainOrSealed(data, size, kAppKey));
  const auto* config = std::get_if<TiloConfiguration>(&decoded);
  if (!config) {
    fuzz::check(!std::get<std::string>(decoded).empty());
    return 0;
  }
  const auto resealed = encryptPayload(kAppKey, fuzz::bytesOf(config->encode().dump()));
  fuzz::check(resealed.has_value());
  const auto again = decodeKeyFile(kAppKey, *resealed);
  const auto* same = std::get_if<TiloConfiguration>(&again);
  fuzz::check(same && *same == *config);
  return 0;
}
