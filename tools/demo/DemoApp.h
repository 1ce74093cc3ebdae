// The sample host application: initializes the SDK against a backend, resolves its ad
// units, loads and shows each full-screen format as a host would (printing every
// callback and every plugin revenue event), then sends the app to the background so the
// SDK uploads its analytics, and prints what the backend stored. --repeat runs the
// formats round after round before that (a soak run).
//
//   DemoApp app(DemoOptions::parse(args), args, std::cout);
//   return app.run();   // 0 when every requested format behaved as the scenario says
//
// Runs on the real main loop, on the calling thread.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "Tilo/ads/TiloAdInfo.h"
#include "Tilo/backend/TiloAppInfo.h"
#include "mediation/AdSource.h"
#include "platform/Json.h"
#include "platform/MainLoop.h"
#include "tools/demo/DemoOptions.h"
#include "tools/demo/DemoPlugin.h"
#include "tools/demo/DemoWorkspace.h"

namespace tilo::devserver {
class DevServer;
}

namespace tilo::platform {
class UIWindow;
}

namespace tilo::demo {

class DemoApp {
 public:
  // `args` are the command-line arguments without the program name (for a relaunch).
  DemoApp(DemoOptions options, std::vector<std::string> args, std::ostream& out);
  ~DemoApp();

  // The process exit code: 0, 1 when something did not go as the scenario says, 2 for a
  // bad scenario or backend URL.
  int run();

 private:
  // Callbacks and plugin events of the format being shown.
  struct Observed {
    std::set<std::string> callbacks;
    std::vector<platform::Json> revenueEvents;
  };

  int start(DemoWorkspace& workspace);
  bool initialize();
  // Marker checkpoints follow the sdkConfig cached by an earlier launch; a first launch
  // with --crash-at relaunches once so its crash can be reported by the next run.
  void relaunchIfMarkersAreOff(DemoWorkspace& workspace);
  bool resolveUnits();
  bool runFormat(TiloAdFormat format);
  template <class Loader, class Show>
  bool runFullScreen(TiloAdFormat format, const TiloAdUnitItem& item, Show show);
  // Places a banner, MREC or native view in the demo window, waits for its ad, keeps it on
  // screen for --dwell-ms, writes its snapshots, then removes it.
  bool runView(TiloAdFormat format, const TiloAdUnitItem& item);
  bool writeSnapshots(TiloAdFormat format, platform::UIWindow& window);
  bool checkRevenue(const TiloAdUnitItem& item, const mediation::AdScript& script);
  void flushAnalytics();
  void printStoredEvents();
  std::optional<platform::Json> storedEvents();

  // Prints one host callback; --crash-at ends the process right here.
  void hostCallback(const std::string& name, const std::string& detail = {});
  static std::string describe(const std::optional<TiloAdInfo>& info);

  const DemoOptions options_;
  const std::vector<std::string> args_;
  std::ostream& out_;
  std::shared_ptr<platform::MainLoop> loop_;
  std::shared_ptr<devserver::DevServer> server_;
  std::string baseUrl_;
  std::shared_ptr<DemoPlugin> plugin_;
  std::map<TiloAdFormat, TiloAdUnitItem> items_;
  Observed observed_;
};

}  // namespace tilo::demo
