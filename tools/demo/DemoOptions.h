// tilo-demo's command line.
//
//   DemoOptions options = DemoOptions::parse({"--formats", "rewarded", "--log-level", "error"});
//
// Throws UsageError for unknown flags, missing values, unknown formats or callbacks.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Tilo/base/TiloLogger.h"
#include "platform/ui/UIColor.h"
#include "tools/demo/DemoFormat.h"

namespace tilo::demo {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

extern const char* const kUsage;

// The host callbacks --crash-at accepts.
const std::vector<std::string>& crashableCallbacks();

struct DemoOptions {
  std::optional<std::string> bundle;
  std::optional<std::string> container;
  std::optional<std::string> apiBaseUrl;
  std::optional<std::string> scenario;
  // Real ads: an OpenRTB exchange to ask (--demand URL), or house campaigns the embedded
  // backend auctions (--campaigns FILE, or "sample" for the built-in ones).
  std::optional<std::string> demandUrl;
  std::optional<std::string> campaigns;
  std::vector<DemoFormat> formats;
  std::map<DemoFormat, std::string> units;  // the defaults with --unit laid over them
  std::optional<std::string> snapshots;
  std::optional<std::string> crashAt;
  std::optional<std::string> inspector;  // a folder for the ad inspector's pages
  TiloLogLevel logLevel = TiloLogLevel::debug;
  int dwellMs = 3000;  // how long each view format stays on screen
  int repeat = 1;      // rounds of the requested formats, one after the other
  // Resolves the system colours of the demo window.
  platform::UIUserInterfaceStyle appearance = platform::UIUserInterfaceStyle::light;

  static DemoOptions parse(const std::vector<std::string>& args);
  bool realAds() const { return demandUrl || campaigns; }
};

// The host ad-unit id the embedded app info has for each format.
const std::map<DemoFormat, std::string>& defaultUnits();

}  // namespace tilo::demo
