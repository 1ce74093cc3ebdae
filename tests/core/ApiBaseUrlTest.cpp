#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/HttpClient.h"
#include "platform/Url.h"

namespace tilo {
namespace {

TEST(ApiBaseUrlTest, PlainHttpOnlyForLoopbackHosts) {
  for (const char* url :
       {"https://api.example.com", "https://10.0.0.1:8443/v1", "http://127.0.0.1:8080",
        "http://127.45.0.9", "HTTP://LOCALHOST:3000/", "http://[::1]:9000"}) {
    EXPECT_TRUE(isAcceptableApiBaseUrl(url)) << url;
  }
  for (const char* url :
       {"http://api.example.com", "http://10.0.0.1:8080", "http://128.0.0.1",
        "http://127.0.0.1.example.com", "http://127.0.0.1@example.com",
        "http://localhost.example.com", "https://trusted@evil.example", "http://[::2]:80",
        "ftp://127.0.0.1", "https://", "127.0.0.1:8080", "", "https://api.example.com\r\nX-A: b",
        "http://127.0.0.1:80/\n", "https://api.example.com\t", "https://api.example.com/a b",
        "https://api.example.com/\x7f", "https://api.example.com/\xc2\x85",
        "\x01https://api.example.com"}) {
    EXPECT_FALSE(isAcceptableApiBaseUrl(url)) << url;
  }
  using namespace std::string_view_literals;
  EXPECT_FALSE(isAcceptableApiBaseUrl("https://api.example.com\0.evil"sv));
}

TEST(UrlTest, AnOmittedPortIsTheSchemesDefaultInTheOrigin) {
  auto sameOrigin = [](const char* a, const char* b) {
    return platform::Url::parse(a)->sameOrigin(*platform::Url::parse(b));
  };
  EXPECT_TRUE(sameOrigin("https://h/a.png", "https://h:443/b.png"));
  EXPECT_TRUE(sameOrigin("http://h", "http://h:80"));
  EXPECT_FALSE(sameOrigin("https://h", "https://h:80"));
}

TEST(ApiBaseUrlTest, OverridesAreCheckedAndRefusalsAreVisible) {
  using Env = TiloConfiguration::Environment;
  unsetenv("TILO_API_BASE_URL");
  EXPECT_EQ(resolveApiBaseUrl(Env::production), kProductionApiBaseUrl);
  EXPECT_EQ(resolveApiBaseUrl(Env::development), kDevelopmentApiBaseUrl);

  // 1. The in-code override wins over the environment variable.
  setenv("TILO_API_BASE_URL", "http://127.0.0.1:9001", 1);
  setApiBaseUrlOverride("https://staging.example.com");
  EXPECT_EQ(resolveApiBaseUrl(Env::production), "https://staging.example.com");

  // 2. A refused override keeps the built-in URL and says so in an error line that quotes
  //    it, through the logger: its level and the host's log callback apply.
  std::vector<std::string> heard;
  setLogSink([&](TiloLogLevel, const std::string& line) { heard.push_back(line); });
  struct Restore {
    ~Restore() {
      setLogSink(nullptr);
      setCurrentLogLevel(TiloLogLevel::off);
      setApiBaseUrlOverride(std::nullopt);
      unsetenv("TILO_API_BASE_URL");
    }
  } restore;
  setApiBaseUrlOverride("http://staging.example.com");
  EXPECT_EQ(resolveApiBaseUrl(Env::production), kProductionApiBaseUrl);
  EXPECT_TRUE(heard.empty());  // the level is off
  setCurrentLogLevel(TiloLogLevel::error);
  EXPECT_EQ(resolveApiBaseUrl(Env::production), kProductionApiBaseUrl);
  ASSERT_EQ(heard.size(), 1u);
  const std::string refused =
      " ERROR API base URL refused (https://, or http:// to a loopback host, in printable "
      "ASCII): ";
  EXPECT_NE(heard[0].find(refused + "\"http://staging.example.com\""), std::string::npos)
      << heard[0];
  // 3. A line break is refused, and the refusal stays on one line.
  setenv("TILO_API_BASE_URL", "https://staging.example.com\r\nX-\"Injected\": 1", 1);
  setApiBaseUrlOverride(std::nullopt);
  EXPECT_EQ(resolveApiBaseUrl(Env::development), kDevelopmentApiBaseUrl);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_NE(
      heard[1].find(refused + "\"https://staging.example.com\\x0D\\x0AX-\\x22Injected\\x22: 1\""),
      std::string::npos)
      << heard[1];
  EXPECT_EQ(apiBaseUrlSource(kDevelopmentApiBaseUrl), ApiBaseUrlSource::builtIn);
}

// A development URL is said once: what the host's code chose at debug level, in any build;
// only what the environment slips into a release build is an error.
TEST(ApiBaseUrlTest, DevelopmentUrlsAreReportedOnceAndOnlyTheEnvironmentsInReleaseAsErrors) {
  setCurrentLogLevel(TiloLogLevel::debug);
  ScopedLogCapture logs;
  unsetenv("TILO_DEV_CA_FILE");
  unsetenv("TILO_API_BASE_URL");
  platform::HttpClient::setAdditionalTrustedCAFile(std::nullopt);
  auto reported = [&](const std::string& url, bool release) {
    resetDevelopmentOverrideWarningForTesting();
    const std::size_t before = logs.lines().size();
    warnAboutDevelopmentOverridesOnce(url, release);
    warnAboutDevelopmentOverridesOnce(url, release);
    const auto lines = logs.lines();
    std::string said;
    for (std::size_t i = before; i < lines.size(); ++i) said += lines[i].substr(20) + "\n";
    return said;
  };
  using Env = TiloConfiguration::Environment;

  // 1. Built-in URLs without an extra CA are quiet.
  EXPECT_EQ(reported(kDevelopmentApiBaseUrl, true), "");
  // 2. Chosen in code: a debug line in a release build too.
  setApiBaseUrlOverride("http://127.0.0.1:9001");
  ASSERT_EQ(resolveApiBaseUrl(Env::production), "http://127.0.0.1:9001");
  EXPECT_EQ(reported("http://127.0.0.1:9001", true),
            "DEBUG Development base URL set in code: \"http://127.0.0.1:9001\"\n");
  // 3. From the environment: a debug line in a development build, an error line naming it
  //    (with an extra CA) in a release build.
  setApiBaseUrlOverride(std::nullopt);
  setenv("TILO_API_BASE_URL", "http://127.0.0.1:9002", 1);
  ASSERT_EQ(resolveApiBaseUrl(Env::production), "http://127.0.0.1:9002");
  EXPECT_EQ(reported("http://127.0.0.1:9002", false),
            "DEBUG Development base URL from TILO_API_BASE_URL: \"http://127.0.0.1:9002\"\n");
  setenv("TILO_DEV_CA_FILE", "/etc/tilo-dev-ca.pem", 1);
  EXPECT_EQ(reported("http://127.0.0.1:9002", true),
            "ERROR Development override in a release build: TILO_API_BASE_URL, "
            "TILO_DEV_CA_FILE\n");
  unsetenv("TILO_DEV_CA_FILE");
  unsetenv("TILO_API_BASE_URL");
  platform::HttpClient::setAdditionalTrustedCAFile("/etc/other-ca.pem");
  EXPECT_EQ(reported(kProductionApiBaseUrl, true),
            "ERROR Development override in a release build: TILO_DEV_CA_FILE\n");

  platform::HttpClient::setAdditionalTrustedCAFile(std::nullopt);
  resetDevelopmentOverrideWarningForTesting();
  setCurrentLogLevel(TiloLogLevel::off);
}

}  // namespace
}  // namespace tilo
