#include "Tilo/base/ApiBaseUrl.h"

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "Tilo/base/TiloLogger.h"
#include "platform/HttpClient.h"

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

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// The host of an authority without user info; empty when malformed.
std::string hostOf(std::string_view authority) {
  if (authority.find('@') != std::string_view::npos) return {};
  if (!authority.empty() && authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return {};
    const auto after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return {};
    return std::string(authority.substr(0, close + 1));
  }
  return std::string(authority.substr(0, authority.find(':')));
}

bool isLoopbackHost(const std::string& host) {
  if (host == "localhost" || host == "[::1]") return true;
  in_addr address{};
  if (inet_pton(AF_INET, host.c_str(), &address) != 1) return false;
  return (ntohl(address.s_addr) >> 24) == 127;
}

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
  // Printable ASCII only: a CR or LF would split the request line or a header, and a NUL,
  // space or other control character has no place in a URL.
  const bool printable = std::all_of(url.begin(), url.end(), [](char c) {
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
  });
  if (!printable) return false;
  const std::string text = lower(url);
  const bool https = text.starts_with("https://");
  if (!https && !text.starts_with("http://")) return false;
  std::string_view rest(text);
  rest.remove_prefix(https ? 8 : 7);
  const std::string host = hostOf(rest.substr(0, rest.find_first_of("/?#")));
  if (host.empty()) return false;
  return https || isLoopbackHost(host);
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
