// Where the SDK's backend and dashboard live, and the development override.
//
//   TiloAds::setApiBaseUrl("http://127.0.0.1:8080");   // or TILO_API_BASE_URL, before shared()
//
// Warning: plain http:// is honoured only for loopback hosts (127.0.0.0/8, localhost,
// [::1]), and only printable ASCII without spaces is honoured (no CR, LF or other control
// character); any other override is refused with a line on standard error and the
// built-in URL stays in force. A release build that runs with an override
// (or with TILO_DEV_CA_FILE) logs that once, at error level, when it first sends a request.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Tilo/base/TiloConfiguration.h"

namespace tilo {

inline constexpr const char* kProductionApiBaseUrl = "https://api.tiloads.com";
inline constexpr const char* kDevelopmentApiBaseUrl = "https://dev-api.tiloads.com";
inline constexpr const char* kPublisherDashboardUrl = "https://dashboard.tiloads.com";

// The in-code override (wins over TILO_API_BASE_URL); nullopt removes it.
void setApiBaseUrlOverride(std::optional<std::string> url);
// The override if acceptable, else the constant for `environment`.
std::string resolveApiBaseUrl(TiloConfiguration::Environment environment);
// https:// with a host, or http:// to a loopback host; printable ASCII, no spaces.
bool isAcceptableApiBaseUrl(std::string_view url);

#ifdef NDEBUG
inline constexpr bool kReleaseBuild = true;
#else
inline constexpr bool kReleaseBuild = false;
#endif

// The development settings a client of `baseUrl` runs with: "TILO_API_BASE_URL" when the
// URL is not a built-in one, "TILO_DEV_CA_FILE" when an extra CA file is trusted.
std::vector<std::string> developmentOverrides(std::string_view baseUrl);
// In a release build, the first call that finds an override logs
// "Development override in a release build: <names>" at error level; later calls do nothing.
void warnAboutDevelopmentOverridesOnce(std::string_view baseUrl, bool releaseBuild = kReleaseBuild);
void resetDevelopmentOverrideWarningForTesting();

}  // namespace tilo
