// Where the SDK's backend and dashboard live, and the development override.
//
//   TiloAds::setApiBaseUrl("http://127.0.0.1:8080");   // or TILO_API_BASE_URL, before shared()
//
// Warning: plain http:// is honoured only for loopback hosts (127.0.0.0/8, localhost,
// [::1]), and only printable ASCII without spaces is honoured (no CR, LF or other control
// character); any other override is refused with an error line that quotes it, and the
// built-in URL stays in force. When it first sends a request the SDK says once which
// development URL it uses: at debug level, except for a release build that runs with one
// from the environment (TILO_API_BASE_URL, or TILO_DEV_CA_FILE), which is an error line.
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

enum class ApiBaseUrlSource { builtIn, code, environment };

// The in-code override (wins over TILO_API_BASE_URL); nullopt removes it.
void setApiBaseUrlOverride(std::optional<std::string> url);
// The override if acceptable, else the constant for `environment`.
std::string resolveApiBaseUrl(TiloConfiguration::Environment environment);
// Where `baseUrl` came from: built in, the environment (when resolveApiBaseUrl last took it
// from TILO_API_BASE_URL) or code (any other URL).
ApiBaseUrlSource apiBaseUrlSource(std::string_view baseUrl);
// https:// with a host, or http:// to a loopback host; printable ASCII, no spaces.
bool isAcceptableApiBaseUrl(std::string_view url);

#ifdef NDEBUG
inline constexpr bool kReleaseBuild = true;
#else
inline constexpr bool kReleaseBuild = false;
#endif

// The development settings from the environment a client of `baseUrl` runs with:
// "TILO_API_BASE_URL" when the URL came from it, "TILO_DEV_CA_FILE" when an extra CA file
// is trusted.
std::vector<std::string> developmentOverrides(std::string_view baseUrl);
// The first call that finds a development URL or setting says so, once per process: in a
// release build with settings from the environment "Development override in a release
// build: <names>" at error level; a URL chosen in code, or any in a development build, at
// debug level.
void warnAboutDevelopmentOverridesOnce(std::string_view baseUrl, bool releaseBuild = kReleaseBuild);
void resetDevelopmentOverrideWarningForTesting();

}  // namespace tilo
