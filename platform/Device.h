// Device facts the SDK reports: identifiers, locale region, tracking status, OS version.
//
//   std::string eventId = makeUUIDString(/*lowercase=*/true);
//   auto region = localeRegionCode();   // "KR" for LANG=ko_KR.UTF-8
//
// The advertising identifier and the tracking status belong to the host: it sets them
// (from its own consent flow); until then they read as all zeros and notDetermined.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tilo::platform {

// A random (version 4) UUID in its canonical 36-character form.
std::string makeUUIDString(bool lowercase);

// The region of the user's locale (LC_ALL, else LANG), upper-case; nullopt for locales
// without one ("C", "POSIX", "en").
std::optional<std::string> localeRegionCode();
// The region part of a POSIX or BCP 47 locale identifier: "en_US.UTF-8" -> "US".
std::optional<std::string> regionCodeFromLocaleIdentifier(std::string_view identifier);
// The ISO 639-1 language of the user's locale, lower-case ("ko" for LANG=ko_KR.UTF-8);
// nullopt for "C", "POSIX" and locales without a two-letter language.
std::optional<std::string> localeLanguageCode();
// Replaces the environment's locale for localeRegionCode and localeLanguageCode; nullopt
// restores it.
void setLocaleIdentifierForTesting(std::optional<std::string> identifier);

// An upper-case UUID made once per application container and kept in
// "Library/.tilo_vendor_identifier" there; nullopt if it can be neither read nor stored.
std::optional<std::string> vendorIdentifier();

inline constexpr const char* kZeroUUIDString = "00000000-0000-0000-0000-000000000000";
std::string advertisingIdentifier();
void setAdvertisingIdentifier(std::string identifier);

enum class TrackingAuthorizationStatus {
  notDetermined = 0,
  restricted = 1,
  denied = 2,
  authorized = 3
};
TrackingAuthorizationStatus trackingAuthorizationStatus();
void setTrackingAuthorizationStatus(TrackingAuthorizationStatus status);

// The operating system: NAME from /etc/os-release ("Debian GNU/Linux"), else "Linux".
std::string systemName();
// Its version: VERSION_ID from /etc/os-release ("12"), else the kernel's release.
std::string systemVersion();
// The value of `key` in the text of an os-release file, quotes removed; nothing when the
// key is missing or empty.
std::optional<std::string> osReleaseValue(std::string_view content, std::string_view key);

}  // namespace tilo::platform
