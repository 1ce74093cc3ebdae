// Where the demo application lives: its bundle (Info.plist with the app key, and the key
// file sealed with it) and its container. Whatever the command line does not name is
// generated; a generated bundle inside --container is kept and reused, so later runs with
// the same container have the same app key and see what earlier runs left behind.
//
//   DemoWorkspace workspace = DemoWorkspace::prepare(options, out);   // std::runtime_error
//   workspace.appKey();   // what the backend and the plugin token need
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "tools/demo/DemoOptions.h"

namespace tilo::demo {

class DemoWorkspace {
 public:
  // Also points the SDK's main bundle and application container at the folders.
  static DemoWorkspace prepare(const DemoOptions& options, std::ostream& out);
  ~DemoWorkspace();
  DemoWorkspace(DemoWorkspace&& other) noexcept;
  DemoWorkspace(const DemoWorkspace&) = delete;
  DemoWorkspace& operator=(const DemoWorkspace&) = delete;
  DemoWorkspace& operator=(DemoWorkspace&&) = delete;

  const std::filesystem::path& bundle() const { return bundle_; }
  const std::filesystem::path& container() const { return container_; }
  const std::string& appKey() const { return appKey_; }
  // Leaves the temporary folder in place (a relaunch or a crash needs it afterwards).
  void keep() { temporary_.reset(); }

 private:
  DemoWorkspace() = default;

  std::filesystem::path bundle_;
  std::filesystem::path container_;
  std::string appKey_;
  std::optional<std::filesystem::path> temporary_;  // removed with the workspace
};

// The key-file configuration sealed into a generated bundle.
std::string embeddedConfigurationJson(const std::string& appKey);
// What the embedded backend answers on "/sdk/init": one unit per format (the ids of
// defaultUnits()), fee rate 0.15, marker checkpoints on.
std::string embeddedAppInfoJson();
// The ad-source script without --scenario: every unit fills after a short delay.
std::string embeddedScenarioJson();

}  // namespace tilo::demo
