// The sample host application: initializes the SDK against a backend, resolves its ad
// units, loads and shows each full-screen format as a host would (printing every
// callback and every plugin revenue event), places each view format in a phone window,
// shows the light popup over that window until its own timer closes it, then sends the
// app to the background so the SDK uploads its analytics, and prints what the backend
// stored. --repeat runs the formats round after round before that (a soak run).
//
//   DemoApp app(DemoOptions::parse(args), args, std::cout);
//   return app.run();   // 0 when every requested format behaved as the scenario says
//
// Runs on the real main loop, on the calling thread. With TILO_DEMO_SKIP_IDLE=1 in the
// environment (the tests) the wait for the popup's timer skips idle time instead of
// sleeping through it (see DemoEnvironment).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloAppInfo.h"
#include "mediation/AdSource.h"
#include "platform/Json.h"
#include "platform/MainLoop.h"
#include "platform/ui/UIView.h"
#include "tools/demo/DemoEnvironment.h"
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
  bool runFormat(DemoFormat format);
  template <class Loader, class Show>
  bool runFullScreen(DemoFormat format, const TiloAdUnitItem& item, Show show);
  // Places a banner, MREC, native or line banner view in the demo window, waits for its
  // ad, keeps it on screen for --dwell-ms, writes its snapshots, then removes it.
  bool runView(DemoFormat format, const TiloAdUnitItem& item);
  // Loads the light popup, shows it over the demo window, snapshots it while presented
  // and waits until its timer has closed it.
  bool runLightPopup(const TiloAdUnitItem& item);
  // The phone window at the chosen appearance.
  std::shared_ptr<platform::UIWindow> makeWindow() const;
  // <name>.png and <name>.json of the window (name: the format's, or another), and with
  // `ad` (a view format) <name>-ad.png: the window's pixels under the ad alone.
  bool writeSnapshots(const std::string& name, platform::UIWindow& window,
                      const platform::UIView* ad = nullptr);
  // Snapshots a full-screen ad once it is on screen, and a rewarded one that counts down
  // again when its reward is granted ("rewarded-granted").
  bool snapshotFullScreen(DemoFormat format, const mediation::AdScript& script);
  // What an ad of `item` should do: its script, or with real ads what any fill does (it pays
  // its bid's price and waits for the player to close it).
  mediation::AdScript expectation(const TiloAdUnitItem& item, DemoFormat format) const;
  // Real ads: the player taps the full-screen ad's close button once it was seen.
  void closeAsPlayer(DemoFormat format);
  bool checkEngagement(const mediation::AdScript& script);
  bool checkRevenue(const TiloAdUnitItem& item, const mediation::AdScript& script);
  void flushAnalytics();
  // Opens the ad inspector over a phone window and writes each page into --inspector.
  bool writeInspectorPages();
  void printStoredEvents();
  std::optional<platform::Json> storedEvents();

  // Generous real-time limits: the loopback backend and the scripted ads answer in
  // milliseconds, but a loaded machine must not turn a slow run into a failure.
  static constexpr double kStepLimit = 15;

  // Seconds since the demo started, on the clock the SDK's timers use.
  double elapsed() const;
  // Runs the main loop until `done` or `limit` seconds; skips idle time when allowed.
  bool waitFor(const std::function<bool()>& done, double limit);

  // Prints one host callback; --crash-at ends the process right here.
  void hostCallback(const std::string& name, const std::string& detail = {});
  static std::string describe(const std::optional<TiloAdInfo>& info);

  const DemoOptions options_;
  const std::vector<std::string> args_;
  std::ostream& out_;
  std::shared_ptr<platform::MainLoop> loop_;
  DemoEnvironment* skippingIdle_ = nullptr;  // set with TILO_DEMO_SKIP_IDLE=1
  double startUptime_ = 0;
  std::shared_ptr<devserver::DevServer> server_;
  std::optional<std::string> demandUrl_;  // with real ads
  std::string baseUrl_;
  std::shared_ptr<DemoPlugin> plugin_;
  std::map<DemoFormat, TiloAdUnitItem> items_;
  // The window the current full-screen format shows over.
  std::shared_ptr<platform::UIWindow> fullScreenWindow_;
  Observed observed_;
};

}  // namespace tilo::demo
