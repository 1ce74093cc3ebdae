#include "Tilo/telemetry/EventStore.h"

#include "Tilo/base/KeyCrypto.h"
#include "Tilo/base/TiloLogger.h"
#include "Tilo/base/UserDefaultsFailures.h"

namespace tilo {

EventStore::EventStore(std::shared_ptr<platform::UserDefaults> defaults, std::string secret)
    : defaults_(std::move(defaults)), secret_(std::move(secret)) {}

const PayloadKey& EventStore::key() {
  if (!key_) key_ = payloadKey(secret_);
  return *key_;
}

bool EventStore::saveEvents(std::span<const AdLogEvent> events) {
  // The list is written by our own encoder from valid UTF-8 text, so encoding cannot fail.
  const std::string plaintext = encodeEventList(events);
  auto sealed = encryptPayload(
      key(), {reinterpret_cast<const std::uint8_t*>(plaintext.data()), plaintext.size()});
  if (!sealed) {
    log("⚠️ 이벤트 암호화 실패", TiloLogLevel::error);
    return false;
  }
  defaults_->setString(kKey, *sealed);
  reportUserDefaultsFailures(*defaults_);
  return true;
}

std::vector<AdLogEvent> EventStore::loadSavedEvents() {
  auto stored = defaults_->string(kKey);
  if (!stored) return {};
  auto plaintext = decryptKeyPayload(key(), *stored);
  if (!plaintext) {
    log("⚠️ 이벤트 복호화 실패 - 저장된 데이터 삭제", TiloLogLevel::error);
    removeSavedEvents();
    return {};
  }
  try {
    return decodeEventList(
        std::string_view(reinterpret_cast<const char*>(plaintext->data()), plaintext->size()));
  } catch (const std::exception& error) {
    log("⚠️ 이벤트 디코딩 실패: " + std::string(error.what()), TiloLogLevel::error);
    removeSavedEvents();
    return {};
  }
}

void EventStore::removeSavedEvents() {
  defaults_->removeObject(kKey);
  reportUserDefaultsFailures(*defaults_);
}

void EventStore::removeSentEvents() {
  defaults_->removeObjectLazily(kKey);
  reportUserDefaultsFailures(*defaults_);
}

}  // namespace tilo
