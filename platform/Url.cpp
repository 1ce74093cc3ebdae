#include "platform/Url.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace tilo::platform {
namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool printable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F;
  });
}

}  // namespace

std::optional<Url> Url::parse(std::string_view text) {
  if (!printable(text)) return std::nullopt;
  const auto colon = text.find("://");
  if (colon == std::string_view::npos) return std::nullopt;
  Url url;
  url.scheme = lower(text.substr(0, colon));
  if (url.scheme != "http" && url.scheme != "https") return std::nullopt;
  std::string_view rest = text.substr(colon + 3);
  const auto end = rest.find_first_of("/?#");
  const std::string_view authority = rest.substr(0, end);
  url.rest = end == std::string_view::npos ? std::string() : std::string(rest.substr(end));
  // User info would let "https://trusted@evil" look like a trusted host.
  if (authority.find('@') != std::string_view::npos) return std::nullopt;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const auto close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    url.host = lower(authority.substr(0, close + 1));
    const auto after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return std::nullopt;
    if (!after.empty()) port = after.substr(1);
  } else {
    const auto separator = authority.find(':');
    url.host = lower(authority.substr(0, separator));
    if (separator != std::string_view::npos) port = authority.substr(separator + 1);
  }
  if (url.host.empty() || url.host == "[]") return std::nullopt;
  if (!std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  url.port = std::string(port);
  return url;
}

bool Url::isLoopback() const {
  return isLoopbackHost(host);
}

bool Url::sameOrigin(const Url& other) const {
  auto effectivePort = [](const Url& url) {
    if (!url.port.empty()) return url.port;
    return std::string(url.scheme == "https" ? "443" : "80");
  };
  return scheme == other.scheme && host == other.host &&
         effectivePort(*this) == effectivePort(other);
}

bool isLoopbackHost(std::string_view host) {
  const std::string name = lower(host);
  if (name == "localhost" || name == "[::1]") return true;
  in_addr address{};
  if (inet_pton(AF_INET, name.c_str(), &address) != 1) return false;
  return (ntohl(address.s_addr) >> 24) == 127;
}

bool isAcceptableServiceUrl(std::string_view text) {
  const auto url = Url::parse(text);
  return url && (url->scheme == "https" || url->isLoopback());
}

}  // namespace tilo::platform
