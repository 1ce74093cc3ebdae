// A test on a fresh SDK that is initialized against the development backend before each
// case, with the scripted ad source reset, marker checkpoints on and debug logging
// captured; the ad format tests build their fixtures on it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Tilo/base/TiloLogger.h"
#include "platform/Json.h"
#include "support/SdkFixture.h"

namespace tilo::test {

class InitializedSdkTest : public ::testing::Test {
 protected:
  explicit InitializedSdkTest(SdkFixtureOptions options) : sdk(std::move(options)) {}
  void SetUp() override;
  void TearDown() override;

  // Scripts one mediation unit (the other keys of the script keep their defaults).
  static void script(const std::string& mediationUnit, const std::string& json);
  // The ad events waiting in the logger, as wire name and payload (no marker reports).
  static std::vector<std::pair<std::string, platform::Json>> queuedAdEvents();

  SdkFixture sdk;
  ScopedLogCapture logs;
};

}  // namespace tilo::test
