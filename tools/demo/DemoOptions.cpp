#include "tools/demo/DemoOptions.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace tilo::demo {

const char* const kUsage =
    "usage: tilo-demo [--bundle DIR] [--container DIR] [--api-base-url URL] [--scenario FILE]\n"
    "                 [--campaigns FILE|sample] [--demand URL]\n"
    "                 [--formats LIST] [--unit FORMAT=TILO_UNIT_ID]... [--snapshots DIR]\n"
    "                 [--dwell-ms N] [--repeat N] [--appearance light|dark]\n"
    "                 [--crash-at CALLBACK] [--log-level off|error|debug] [--inspector DIR]\n"
    "Without --api-base-url an embedded backend is started on a free loopback port; without\n"
    "--bundle a bundle (Info.plist and key file) is generated, inside --container when given.\n"
    "LIST is comma-separated: banner,mrec,interstitial,rewarded,native,lightPopup,\n"
    "lineBanner,appOpen, or all (the default). The view formats stay on screen for\n"
    "--dwell-ms (default 3000), so refreshes and retries happen; the light popup is shown\n"
    "over the window and closes by its own 6 s timer, whatever --dwell-ms says.\n"
    "The full-screen formats are shown over the window and closed as the scenario says.\n"
    "--snapshots DIR writes DIR/<format>.png and DIR/<format>.json for each of them (the\n"
    "popup and the full-screen ads while they are on screen; a rewarded ad that counts\n"
    "down once more as rewarded-granted). --appearance picks the window's system colours\n"
    "(default light). Clicks print the URL they lead to.\n"
    "--repeat runs the formats N times in a row (a soak run; with a scenario of short\n"
    "delays, a steady stream of analytics events).\n"
    "--inspector DIR opens the ad inspector over the window once the formats ran and the\n"
    "analytics went out, and writes each of its pages as DIR/inspector-<page>.png (with\n"
    "-dark before .png in dark appearance; the demand page with --campaigns or --demand).\n"
    "Real ads instead of the scripted source: --campaigns makes the embedded backend an\n"
    "OpenRTB exchange of the house campaigns in FILE (\"sample\": the three that\n"
    "tilo-keytool init writes) and asks it; --demand asks the exchange at URL (its full\n"
    "auction URL). The player closes each full-screen ad once it has been seen.\n";

const std::vector<std::string>& crashableCallbacks() {
  static const std::vector<std::string> names = {
      "onAdLoadSuccess", "onAdLoadFail",   "onAdImpression", "onAdClicked",
      "onShown",         "onFailedToShow", "onDismiss",      "onEarnedReward"};
  return names;
}

const std::map<DemoFormat, std::string>& defaultUnits() {
  static const std::map<DemoFormat, std::string> units = {
      {DemoFormat::banner, "demo-banner"},
      {DemoFormat::mrec, "demo-mrec"},
      {DemoFormat::interstitial, "demo-interstitial"},
      {DemoFormat::rewarded, "demo-rewarded"},
      {DemoFormat::native, "demo-native"},
      {DemoFormat::lightPopup, "demo-light-popup"},
      {DemoFormat::lineBanner, "demo-line-banner"},
      {DemoFormat::appOpen, "demo-app-open"},
  };
  return units;
}

namespace {

DemoFormat formatNamed(const std::string& name) {
  auto format = demoFormatNamed(name);
  if (!format) throw UsageError("unknown format \"" + name + "\"");
  return *format;
}

std::vector<DemoFormat> formatList(const std::string& list) {
  if (list == "all") return everyDemoFormat();
  std::vector<DemoFormat> formats;
  std::stringstream stream(list);
  for (std::string name; std::getline(stream, name, ',');) {
    const DemoFormat format = formatNamed(name);
    if (std::find(formats.begin(), formats.end(), format) == formats.end()) {
      formats.push_back(format);
    }
  }
  if (formats.empty()) throw UsageError("--formats needs at least one format");
  return formats;
}

TiloLogLevel logLevelNamed(const std::string& name) {
  if (name == "off") return TiloLogLevel::off;
  if (name == "error") return TiloLogLevel::error;
  if (name == "debug") return TiloLogLevel::debug;
  throw UsageError("--log-level is off, error or debug, not \"" + name + "\"");
}

platform::UIUserInterfaceStyle appearanceNamed(const std::string& name) {
  if (name == "light") return platform::UIUserInterfaceStyle::light;
  if (name == "dark") return platform::UIUserInterfaceStyle::dark;
  throw UsageError("--appearance is light or dark, not \"" + name + "\"");
}

int dwellMilliseconds(const std::string& text) {
  int ms = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), ms);
  if (error != std::errc{} || end != text.data() + text.size() || ms < 0 || ms > 3'600'000) {
    throw UsageError("--dwell-ms takes milliseconds from 0 to 3600000, not \"" + text + "\"");
  }
  return ms;
}

int repeatCount(const std::string& text) {
  int count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc{} || end != text.data() + text.size() || count < 1 || count > 100'000) {
    throw UsageError("--repeat takes a count from 1 to 100000, not \"" + text + "\"");
  }
  return count;
}

}  // namespace

DemoOptions DemoOptions::parse(const std::vector<std::string>& args) {
  DemoOptions options;
  options.formats = everyDemoFormat();
  options.units = defaultUnits();
  const std::map<std::string, std::optional<std::string> DemoOptions::*> paths = {
      {"--bundle", &DemoOptions::bundle},           {"--container", &DemoOptions::container},
      {"--api-base-url", &DemoOptions::apiBaseUrl}, {"--scenario", &DemoOptions::scenario},
      {"--snapshots", &DemoOptions::snapshots},     {"--crash-at", &DemoOptions::crashAt},
      {"--inspector", &DemoOptions::inspector},     {"--demand", &DemoOptions::demandUrl},
      {"--campaigns", &DemoOptions::campaigns},
  };
  for (std::size_t i = 0; i < args.size(); i += 2) {
    const std::string& flag = args[i];
    if (i + 1 >= args.size() || args[i + 1].empty()) throw UsageError(flag + " needs a value");
    const std::string& value = args[i + 1];
    if (auto it = paths.find(flag); it != paths.end()) {
      options.*(it->second) = value;
    } else if (flag == "--formats") {
      options.formats = formatList(value);
    } else if (flag == "--unit") {
      const auto equals = value.find('=');
      if (equals == std::string::npos || equals + 1 == value.size()) {
        throw UsageError("--unit takes FORMAT=TILO_UNIT_ID, not \"" + value + "\"");
      }
      options.units[formatNamed(value.substr(0, equals))] = value.substr(equals + 1);
    } else if (flag == "--log-level") {
      options.logLevel = logLevelNamed(value);
    } else if (flag == "--appearance") {
      options.appearance = appearanceNamed(value);
    } else if (flag == "--dwell-ms") {
      options.dwellMs = dwellMilliseconds(value);
    } else if (flag == "--repeat") {
      options.repeat = repeatCount(value);
    } else {
      throw UsageError("unknown option " + flag);
    }
  }
  if (options.scenario && options.realAds()) {
    throw UsageError(
        "--scenario scripts the test ads; it does not go with --campaigns or --demand");
  }
  if (options.campaigns && options.apiBaseUrl) {
    throw UsageError(
        "--campaigns is served by the embedded backend; it does not go with --api-base-url");
  }
  if (options.demandUrl && options.campaigns) {
    throw UsageError("--campaigns asks the embedded exchange; --demand another: give one of them");
  }
  const auto& names = crashableCallbacks();
  if (options.crashAt && std::find(names.begin(), names.end(), *options.crashAt) == names.end()) {
    throw UsageError(
        "--crash-at takes a host callback name (onAdLoadSuccess, onAdImpression, "
        "onAdClicked, onShown, onDismiss, onEarnedReward, ...), not \"" +
        *options.crashAt + "\"");
  }
  return options;
}

}  // namespace tilo::demo
