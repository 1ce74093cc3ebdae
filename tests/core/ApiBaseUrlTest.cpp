#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/TiloLogger.h"
#include "platform/HttpClient.h"

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
        "http://localhost.example.com", "http://[::2]:80", "ftp://127.0.0.1", "https://",
        "127.0.0.1:8080", "", "https://api.example.com\r\nX-A: b", "http://127.0.0.1:80/\n",
        "https://api.example.com\t", "https://api.example.com/a b", "https://api.example.com/\x7f",
        "https://api.example.com/\xc2\x85", "\x01https://api.example.com"}) {
    EXPECT_FALSE(isAcceptableApiBaseUrl(url)) << url;
  }
  using namespace std::string_view_literals;
  EXPECT_FALSE(isAcceptableApiBaseUrl("https://api.example.com\0.evil"sv));
}

TEST(ApiBaseUrlTest, OverridesAreCheckedAndRefusalsAreVisible) {
  using Env = TiloConfiguration::Environment;
  unsetenv("TILO_API_BASE_URL");
  EXPECT_EQ(resolveApiBaseUrl(Env::production), kProductionApiBaseUrl);
  EXPECT_EQ(resolveApiBaseUrl(Env::development), kDevelopmentApiBaseUrl);

  // 1. The environment variable applies; the in-code override wins over it.
  setenv("TILO_API_BASE_URL", "http://127.0.0.1:9001", 1);
  EXPECT_EQ(resolveApiBaseUrl(Env::production), "http://127.0.0.1:9001");
  setApiBaseUrlOverride("https://staging.example.com");
  EXPECT_EQ(resolveApiBaseUrl(Env::production), "https://staging.example.com");

  // 2. A refused override keeps the built-in URL and says so on standard error, even
  //    though the logger is off.
  setApiBaseUrlOverride("http://staging.example.com");
  testing::internal::CaptureStderr();
  EXPECT_EQ(resolveApiBaseUrl(Env::production), kProductionApiBaseUrl);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "API base URL refused (https://, or http:// to a loopback host, in printable ASCII): "
            "http://staging.example.com\n");
  // 3. A line break is refused, and the refusal stays on one line.
  setenv("TILO_API_BASE_URL", "https://staging.example.com\r\nX-Injected: 1", 1);
  setApiBaseUrlOverride(std::nullopt);
  testing::internal::CaptureStderr();
  EXPECT_EQ(resolveApiBaseUrl(Env::development), kDevelopmentApiBaseUrl);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "API base URL refused (https://, or http:// to a loopback host, in printable ASCII): "
            "https://staging.example.com\\x0D\\x0AX-Injected: 1\n");

  setApiBaseUrlOverride(std::nullopt);
  unsetenv("TILO_API_BASE_URL");
}

TEST(ApiBaseUrlTest, ReleaseBuildsReportDevelopmentOverridesOnce) {
  setCurrentLogLevel(TiloLogLevel::error);
  ScopedLogCapture logs;
  unsetenv("TILO_DEV_CA_FILE");
  platform::HttpClient::setAdditionalTrustedCAFile(std::nullopt);
  resetDevelopmentOverrideWarningForTesting();

  // 1. Built-in URLs without an extra CA are quiet, and a debug build is quiet anyway.
  warnAboutDevelopmentOverridesOnce(kDevelopmentApiBaseUrl, /*releaseBuild=*/true);
  warnAboutDevelopmentOverridesOnce("http://127.0.0.1:9001", /*releaseBuild=*/false);
  EXPECT_TRUE(logs.lines().empty());

  // 2. A release build names what is in force, once per process.
  setenv("TILO_DEV_CA_FILE", "/etc/tilo-dev-ca.pem", 1);
  warnAboutDevelopmentOverridesOnce("http://127.0.0.1:9001", /*releaseBuild=*/true);
  unsetenv("TILO_DEV_CA_FILE");
  platform::HttpClient::setAdditionalTrustedCAFile("/etc/other-ca.pem");
  warnAboutDevelopmentOverridesOnce(kProductionApiBaseUrl, /*releaseBuild=*/true);
  EXPECT_EQ(logs.lines().size(), 1u);
  EXPECT_EQ(
      logs.count(
          "ERROR Development override in a release build: TILO_API_BASE_URL, TILO_DEV_CA_FILE"),
      1u);

  platform::HttpClient::setAdditionalTrustedCAFile(std::nullopt);
  resetDevelopmentOverrideWarningForTesting();
  setCurrentLogLevel(TiloLogLevel::off);
}

}  // namespace
}  // namespace tilo
