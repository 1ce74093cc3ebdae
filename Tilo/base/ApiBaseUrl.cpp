#include "Tilo/base/ApiBaseUrl.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "Tilo/base/TiloLogger.h"
#include "platform/HttpClient.h"
#include "platform/Url.h"

namespace tilo {
namespace {

std::mutex overrideMutex;
// Made on first use and kept for the process: loading the library runs nothing.
std::optional<std::string>& codeOverride() {
  static auto* const value = new std::optional<std::string>();
  return *value;
}
// What resolveApiBaseUrl last returned, and whence.
std::string& resolvedUrl() {
  static auto* const value = new std::string();
  return *value;
}
ApiBaseUrlSource resolvedSource = ApiBaseUrlSource::builtIn;
std::atomic<bool> overrideWarningDone{false};

// In double quotes, with bytes outside printable ASCII (and the quote and backslash) as
// \xHH, so that any text stays on one line and its end shows.
std::string inQuotes(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\' && byte != '"') {
      out += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out + '"';
}

bool isBuiltIn(std::string_view url) {
  return url == kProductionApiBaseUrl || url == kDevelopmentApiBaseUrl;
}

}  // namespace

void setApiBaseUrlOverride(std::optional<std::string> url) {
  std::lock_guard lock(overrideMutex);
  codeOverride() = std::move(url);
}

bool isAcceptableApiBaseUrl(std::string_view url) {
  return platform::isAcceptableServiceUrl(url);
}

std::string resolveApiBaseUrl(TiloConfiguration::Environment environment) {
  std::optional<std::string> requested;
  auto source = ApiBaseUrlSource::code;
  {
    std::lock_guard lock(overrideMutex);
    requested = codeOverride();
  }
  if (!requested) {
    if (const char* env = std::getenv("TILO_API_BASE_URL"); env && *env) {
      requested = env;
      source = ApiBaseUrlSource::environment;
    }
  }
  std::string url = environment == TiloConfiguration::Environment::development
                        ? kDevelopmentApiBaseUrl
                        : kProductionApiBaseUrl;
  if (requested && isAcceptableApiBaseUrl(*requested)) {
    url = *requested;
  } else {
    if (requested) {
      log("API base URL refused (https://, or http:// to a loopback host, in printable ASCII): " +
              inQuotes(*requested),
          TiloLogLevel::error);
    }
    source = ApiBaseUrlSource::builtIn;
  }
  std::lock_guard lock(overrideMutex);
  resolvedUrl() = url;
  resolvedSource = source;
  return url;
}

ApiBaseUrlSource apiBaseUrlSource(std::string_view baseUrl) {
  if (isBuiltIn(baseUrl)) return ApiBaseUrlSource::builtIn;
  std::lock_guard lock(overrideMutex);
  // A URL handed to the client directly was chosen in code too.
  return baseUrl == resolvedUrl() ? resolvedSource : ApiBaseUrlSource::code;
}

std::vector<std::string> developmentOverrides(std::string_view baseUrl) {
  std::vector<std::string> names;
  if (apiBaseUrlSource(baseUrl) == ApiBaseUrlSource::environment) {
    names.emplace_back("TILO_API_BASE_URL");
  }
  if (platform::HttpClient::additionalTrustedCAFile()) names.emplace_back("TILO_DEV_CA_FILE");
  return names;
}

void warnAboutDevelopmentOverridesOnce(std::string_view baseUrl, bool releaseBuild) {
  if (overrideWarningDone.load(std::memory_order_relaxed)) return;
  const auto source = apiBaseUrlSource(baseUrl);
  const auto names = developmentOverrides(baseUrl);
  const bool environmentInRelease = releaseBuild && !names.empty();
  if (source == ApiBaseUrlSource::builtIn && !environmentInRelease) return;
  if (overrideWarningDone.exchange(true)) return;
  // Only what the environment slips into a shipped build is an error; a URL the host's own
  // code chose, or any override in a development build, is what the developer asked for.
  if (environmentInRelease) {
    std::string line = "Development override in a release build: " + names.front();
    for (std::size_t i = 1; i < names.size(); ++i) line += ", " + names[i];
    log(line, TiloLogLevel::error);
  }
  if (source == ApiBaseUrlSource::code) {
    log("Development base URL set in code: " + inQuotes(baseUrl), TiloLogLevel::debug);
  } else if (source == ApiBaseUrlSource::environment && !releaseBuild) {
    log("Development base URL from TILO_API_BASE_URL: " + inQuotes(baseUrl), TiloLogLevel::debug);
  }
}

void resetDevelopmentOverrideWarningForTesting() {
  overrideWarningDone.store(false);
}

}  // namespace tilo
