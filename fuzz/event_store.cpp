// The encrypted event store in user defaults: the stored text itself (mode byte even) or an
// event list sealed with the app key (odd), so that the list decoder is reached too. A bad
// entry reads as empty and is removed; events that load are saved and load back the same.
#include <unistd.h>
#include <filesystem>

#include "Tilo/base/KeyCrypto.h"
#include "Tilo/telemetry/EventStore.h"
#include "fuzz/support/FuzzSupport.h"

namespace {

const std::string kAppKey = "fuzz-app-key";

// One preferences file for the whole run.
std::shared_ptr<tilo::platform::UserDefaults> defaults() {
  static const auto store =
      tilo::platform::UserDefaults::atPath(tilo::fuzz::scratchDirectory() / "events.plist");
  return store;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo;
  auto store = defaults();
  store->setString(EventStore::kKey, fuzz::plainOrSealed(data, size, kAppKey));
  EventStore events(store, kAppKey);
  const auto loaded = events.loadSavedEvents();
  if (loaded.empty()) return 0;
  fuzz::check(events.saveEvents(loaded));
  const auto again = events.loadSavedEvents();
  fuzz::check(encodeEventList(again) == encodeEventList(loaded));
  return 0;
}
