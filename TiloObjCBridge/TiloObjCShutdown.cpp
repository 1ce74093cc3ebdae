// tilo_shutdown: the end of the SDK's one life in a process.
#include <memory>
#include <vector>

#include "Tilo/base/TiloLogger.h"
#include "Tilo/entry/TiloAds.h"
#include "TiloObjCBridge/BridgeValues.h"
#include "TiloObjCBridge/HandleTable.h"
#include "platform/Application.h"
#include "platform/MainLoop.h"
#include "platform/ui/FontSystem.h"

extern "C" {

tilo_status tilo_shutdown(void) {
  using namespace tilo::bridge;
  if (auto life = lifeStatus(); life != TILO_STATUS_OK) return life;
  if (!onMainThread()) return TILO_STATUS_WRONG_THREAD;
  // The caller runs inside a pump or a log line: what it runs in would be freed under it.
  if (insideHostCallback()) return TILO_STATUS_IN_CALLBACK;
  markShutDown();  // from here on, a call from a log line below is refused
  return guarded([] {
    // Handles first: each ends what it started, as when the host destroys it.
    auto objects = HandleTable::shared().close();
    for (auto& object : objects) {
      guarded([&] {
        object->willDestroy();
        return 0;
      });
    }
    objects.clear();
    forgetOpenUrlCallback();
    forgetAdInspectorCloseCallback();
    stopTestScenarioCheck();
    tilo::TiloAds::shutdownShared();
    // What the process keeps between uses goes too, so that a host that unloads the
    // library gets its memory back: decoded pictures and fonts (as on a memory warning),
    // then the font system itself, pango's and fontconfig's state included.
    tilo::platform::Application::shared().didReceiveMemoryWarning();
    tilo::platform::FontSystem::destroyShared();
    // Callbacks the handles posted while they closed never run.
    tilo::platform::MainLoop::shared()->discardPending();
    tilo::setLogSink(nullptr);
    setLastErrorMessage({});
    return TILO_STATUS_OK;
  });
}

}  // extern "C"
