// Where the SDK's backend and dashboard live, and the development override.
//
//   TiloAds::setApiBaseUrl("http://127.0.0.1:8080");   // or TILO_API_BASE_URL, before shared()
//
// Warning: plain http:// is honoured only for loopback hosts (127.0.0.0/8, localhost,
// [::1]); any other override that is not https:// is refused with a line on standard
// error and the built-in URL stays in force.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Tilo/core/TiloConfiguration.h"

namespace tilo {

inline constexpr const char* kProductionApiBaseUrl = "https://api.tiloads.com";
inline constexpr const char* kDevelopmentApiBaseUrl = "https://dev-api.tiloads.com";
inline constexpr const char* kPublisherDashboardUrl = "https://dashboard.tiloads.com";

// The in-code override (wins over TILO_API_BASE_URL); nullopt removes it.
void setApiBaseUrlOverride(std::optional<std::string> url);
// The override if acceptable, else the constant for `environment`.
std::string resolveApiBaseUrl(TiloConfiguration::Environment environment);
// https:// with a host, or http:// to a loopback host.
bool isAcceptableApiBaseUrl(std::string_view url);

}  // namespace tilo
