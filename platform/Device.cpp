#include "platform/Device.h"
#include "platform/AppContainer.h"

#include <sys/utsname.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <random>

#include "platform/Crypto.h"
#include "platform/FileSystem.h"

namespace tilo::platform {
namespace {

std::mutex deviceMutex;
// Made on first use and kept for the process: loading the library runs nothing.
std::optional<std::string>& localeOverride() {
  static auto* const value = new std::optional<std::string>();
  return *value;
}
std::string& advertisingId() {
  static auto* const value = new std::string(kZeroUUIDString);
  return *value;
}
TrackingAuthorizationStatus trackingStatus = TrackingAuthorizationStatus::notDetermined;

bool isCanonicalUUID(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

std::string_view trim(std::string_view text) {
  const char* space = " \t\r\n";
  auto first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

}  // namespace

std::string makeUUIDString(bool lowercase) {
  std::array<std::uint8_t, 16> bytes{};
  if (!secureRandomBytes(bytes)) {
    std::random_device device;
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(device());
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  const char* digits = lowercase ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string out;
  out.reserve(36);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0x0F];
  }
  return out;
}

std::optional<std::string> regionCodeFromLocaleIdentifier(std::string_view identifier) {
  identifier = identifier.substr(0, identifier.find_first_of(".@"));
  std::optional<std::string> region;
  // Components after the language: an optional 4-letter script, then the region
  // (2 letters or 3 digits, as in "es_419").
  for (std::size_t start = identifier.find_first_of("_-"); start != std::string_view::npos;) {
    std::size_t end = identifier.find_first_of("_-", start + 1);
    std::string_view part = identifier.substr(
        start + 1, end == std::string_view::npos ? std::string_view::npos : end - start - 1);
    auto all = [&](int (*test)(int)) {
      return std::all_of(part.begin(), part.end(),
                         [&](char c) { return test(static_cast<unsigned char>(c)) != 0; });
    };
    if ((part.size() == 2 && all(std::isalpha)) || (part.size() == 3 && all(std::isdigit))) {
      region.emplace();
      for (char c : part) region->push_back(static_cast<char>(std::toupper(c)));
    }
    start = end;
  }
  return region;
}

namespace {

// The user's locale identifier: the test override, else LC_ALL, else LANG.
std::optional<std::string> localeIdentifier() {
  {
    std::lock_guard lock(deviceMutex);
    if (localeOverride()) return *localeOverride();
  }
  for (const char* name : {"LC_ALL", "LANG"}) {
    if (const char* value = std::getenv(name); value && *value) return std::string(value);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> localeRegionCode() {
  const auto identifier = localeIdentifier();
  return identifier ? regionCodeFromLocaleIdentifier(*identifier) : std::nullopt;
}

std::optional<std::string> localeLanguageCode() {
  const auto identifier = localeIdentifier();
  if (!identifier) return std::nullopt;
  const std::string_view language =
      std::string_view(*identifier).substr(0, identifier->find_first_of("_-.@"));
  if (language.size() != 2 || !std::all_of(language.begin(), language.end(), [](char c) {
        return std::isalpha(static_cast<unsigned char>(c)) != 0;
      })) {
    return std::nullopt;  // "C", "POSIX", or a three-letter code that has no two-letter one
  }
  std::string code;
  for (char c : language) code.push_back(static_cast<char>(std::tolower(c)));
  return code;
}

void setLocaleIdentifierForTesting(std::optional<std::string> identifier) {
  std::lock_guard lock(deviceMutex);
  localeOverride() = std::move(identifier);
}

std::optional<std::string> vendorIdentifier() {
  auto library = AppContainer::path() / "Library";
  auto path = library / ".tilo_vendor_identifier";
  std::lock_guard lock(deviceMutex);
  if (auto stored = FileSystem::readFile(path)) {
    std::string_view text = trim(*stored);
    if (isCanonicalUUID(text)) {
      std::string upper(text);
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return upper;
    }
  }
  std::string fresh = makeUUIDString(false);
  if (!FileSystem::createDirectories(library) || !FileSystem::atomicWrite(path, fresh)) {
    return std::nullopt;
  }
  return fresh;
}

std::string advertisingIdentifier() {
  std::lock_guard lock(deviceMutex);
  return advertisingId();
}

void setAdvertisingIdentifier(std::string identifier) {
  std::lock_guard lock(deviceMutex);
  advertisingId() = std::move(identifier);
}

TrackingAuthorizationStatus trackingAuthorizationStatus() {
  std::lock_guard lock(deviceMutex);
  return trackingStatus;
}

void setTrackingAuthorizationStatus(TrackingAuthorizationStatus status) {
  std::lock_guard lock(deviceMutex);
  trackingStatus = status;
}

std::optional<std::string> osReleaseValue(std::string_view content, std::string_view key) {
  while (!content.empty()) {
    std::size_t end = content.find('\n');
    std::string_view line = trim(content.substr(0, end));
    content = end == std::string_view::npos ? std::string_view() : content.substr(end + 1);
    if (!line.starts_with(key) || line.size() <= key.size() || line[key.size()] != '=') continue;
    std::string_view value = line.substr(key.size() + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (!value.empty()) return std::string(value);
  }
  return std::nullopt;
}

namespace {

// Read once: the system does not change under a running process, and every upload asks.
const std::optional<std::string>& osRelease() {
  static const std::optional<std::string> content = FileSystem::readFile("/etc/os-release");
  return content;
}

}  // namespace

std::string systemName() {
  static const std::string name = [] {
    return (osRelease() ? osReleaseValue(*osRelease(), "NAME") : std::nullopt).value_or("Linux");
  }();
  return name;
}

std::string systemVersion() {
  static const std::string version = [] {
    if (auto value = osRelease() ? osReleaseValue(*osRelease(), "VERSION_ID") : std::nullopt) {
      return *value;
    }
    // A rolling distribution has no VERSION_ID: the kernel's release is what there is.
    utsname system{};
    return ::uname(&system) == 0 ? std::string(system.release) : std::string("0");
  }();
  return version;
}

}  // namespace tilo::platform
