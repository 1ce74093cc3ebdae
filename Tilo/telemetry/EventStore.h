// The encrypted user-defaults entry "tilo_saved_ad_events" that carries unsent events
// across restarts.
//
//   EventStore store(platform::UserDefaults::standard(), appKey);
//   store.saveEvents(events);                 // replaces the entry, fresh nonce each time
//   auto restored = store.loadSavedEvents();  // empty when absent; a bad entry is removed
//
// The value is Base64 of nonce + AES-256-GCM ciphertext + tag of the stored event list,
// keyed by SHA-256 of the secret (the app key). Not thread-safe: the logger calls it from
// its queue only; the keytool reads a container with it.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Tilo/base/KeyCrypto.h"
#include "Tilo/telemetry/AdLogEvent.h"
#include "platform/UserDefaults.h"

namespace tilo {

class EventStore {
 public:
  static constexpr const char* kKey = "tilo_saved_ad_events";

  EventStore(std::shared_ptr<platform::UserDefaults> defaults, std::string secret);

  // False, after an error line, when sealing fails; the previous entry then stays.
  bool saveEvents(std::span<const AdLogEvent> events);
  // An entry that does not decrypt or decode is logged, removed and reads as empty.
  std::vector<AdLogEvent> loadSavedEvents();
  void removeSavedEvents();
  // The same after the events went out: should the removal not reach the file before a
  // kill, the next run sends them again, and the server keeps one of each event id. So it
  // waits for the next write rather than making one of its own (UserDefaults).
  void removeSentEvents();
  // Writes what the store gathers for its next write now (see UserDefaults).
  void flush() { defaults_->flush(); }

 private:
  // Derived on first use, on the logger's queue: hashing is the crypto library's first
  // work in a process and costs its set-up, which the thread building the SDK must not pay.
  const PayloadKey& key();

  std::shared_ptr<platform::UserDefaults> defaults_;
  std::string secret_;
  std::optional<PayloadKey> key_;
};

}  // namespace tilo
