#include <gtest/gtest.h>

#include <cstdlib>

#include "Tilo/core/ApiBaseUrl.h"
#include "Tilo/core/TiloLogger.h"
#include "platform/HttpClient.h"

namespace tilo {
namespace {

TEST(ApiBaseUrlTest, PlainHttpOnlyForLoopbackHosts) {
  for (const char* url :
       {"https://api.example.com", "https://10.0.0.1:8443/v1", "http://127.0.0.1:8080",
        "http://127.45.0.9", "HTTP://LOCALHOST:3000/", "http://[::1]:9000"}) {
    EXPECT_TRUE(isAcceptableApiBaseUrl(url)) << url;
  }
  for (const char* url : {"http://api.example.com", "http://10.0.0.1:8080", "http://128.0.0.1",
                          "http://127.0.0.1.example.com", "http://127.0.0.1@example.com",
                          "http://localhost.example.com", "http://[::2]:80", "ftp://127.0.0.1",
                          "https://", "127.0.0.1:8080", ""}) {
    EXPECT_FALSE(isAcceptableApiBaseUrl(url)) << url;
  }
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
            "API base URL refused (plain http is allowed only for loopback hosts): "
            "http://staging.example.com\n");

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
