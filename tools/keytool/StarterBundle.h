// What `tilo-keytool init` writes: a bundle a host can point the SDK at (Info.plist with
// the app key and TiloDemandURL, the key file sealed with it) and, beside them, the app
// info tilo-devserver serves, with one unit per format whose id is the format's name, and
// sample house campaigns (campaigns.json and its pictures) for its exchange.
//
//   StarterBundle::write("my-game", "my-app-key", StarterBundle::bundleIdFor("my-game"));
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tilo::keytool {

// A refusal: the message says what was wrong and what to do instead.
class InitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class StarterBundle {
 public:
  static constexpr std::string_view kKeyFile = "ios-tilo-key.txt";
  static constexpr std::string_view kInfoPlist = "Info.plist";
  static constexpr std::string_view kAppInfo = "app-info.json";
  // Info.plist's TiloDemandURL: the exchange of the devserver the printed command starts.
  static constexpr const char* kDemandUrl = "http://127.0.0.1:8080/openrtb2/auction";

  // The host unit ids, one per format, in the order app-info.json lists them.
  static const std::vector<std::string>& unitIds();

  // Writes the files into `dir`, which must not exist yet or be an empty folder.
  // Info.plist names the app after the folder (CFBundleDisplayName). Nothing is left
  // behind when a write fails. Throws InitError.
  static void write(const std::filesystem::path& dir, const std::string& appKey,
                    const std::string& bundleId);

  // The app's name, the folder's ("my-game"; "." and a trailing "/" name the folder itself).
  static std::string appName(const std::filesystem::path& dir);
  // "com.example." + the app's name with every character outside letters, digits, '-'
  // and '.' made a '-': two folders never share one application container.
  static std::string bundleIdFor(const std::filesystem::path& dir);

  // The app info: every unit of unitIds(), fee rate 0.15.
  static std::string appInfoJson();
};

}  // namespace tilo::keytool
