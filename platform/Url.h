// The parts of an http(s) URL that decide where a request goes, and the rule for URLs a
// host or a peer hands the SDK.
//
//   auto url = Url::parse("https://cdn.example.com:8443/i.png?x=1");  // nullopt if refused
//   if (url && url->sameOrigin(*Url::parse(redirect))) ...
//   isAcceptableServiceUrl("http://127.0.0.1:8080/openrtb2/auction");  // true: loopback
//
// Only printable ASCII without spaces is taken (no CR, LF, NUL or other control
// character: such a URL would split a request line or a header), with the scheme http or
// https and a host without user info.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tilo::platform {

struct Url {
  std::string scheme;  // "http" or "https", lower case
  std::string host;    // lower case; an IPv6 address keeps its brackets
  std::string port;    // as written; empty when the scheme's default
  std::string rest;    // path, query and fragment as written (may be empty)

  // Nullopt for anything but a printable http(s) URL with a host.
  static std::optional<Url> parse(std::string_view text);

  bool isLoopback() const;
  // Scheme, host and port alike: a request there reaches the same server.
  bool sameOrigin(const Url& other) const;
};

// 127.0.0.0/8, localhost and [::1].
bool isLoopbackHost(std::string_view host);
// https:// with a host, or http:// to a loopback host: where the SDK sends what it may not
// show to the network in clear.
bool isAcceptableServiceUrl(std::string_view url);

}  // namespace tilo::platform
