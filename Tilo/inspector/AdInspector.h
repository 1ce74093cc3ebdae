// The in-app ad inspector: the SDK's state, every ad unit with its last loads, the
// networks' start and the analytics queue, drawn over a window by the SDK's own views.
//
//   auto inspector = AdInspector::open(window, [] { /* closed */ });   // null: refused
//   window->tap(...);           // tabs, a unit's "Test ad" row, the close button
//   inspector->close();         // or its close button; the window draws as before
//
// It covers the window's root view (the game and the views placed in it) and lies under
// whatever is presented later: a test ad it shows, or an ad the host shows meanwhile,
// comes up above it. It never opens over an ad being shown: while the root view
// controller presents something, open() refuses (isAdShowing).
//
// While open it refreshes once a second (kRefreshInterval), redrawing only when what it
// shows changed; closed, it has no timer and holds no view. Capturing reads the SDK as it
// is and never builds it, so it opens before initialization too.
//
// A tap on a unit's "Test ad" row loads an ad for that unit through the SDK's own
// objects: full-screen formats and the light popup show over the inspector, banners,
// MRECs and native units (as a line banner) in a strip under the page. It is a built-in
// test ad even with an exchange configured: the unit asks no exchange until the next test
// ad or the close (a test ad is never a paid impression).
//
// Main thread only. `onClosed` is posted to the main loop once, whatever closed it: the
// close button, close(), or the window closing.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Tilo/inspector/InspectorView.h"
#include "platform/Reactive.h"
#include "platform/Timer.h"
#include "platform/ui/UIWindow.h"

namespace tilo::inspector {

class AdInspector : public std::enable_shared_from_this<AdInspector> {
 public:
  static constexpr double kRefreshInterval = 1.0;

  // Null when something is presented in `window` (isAdShowing) or it is closed.
  static std::shared_ptr<AdInspector> open(const std::shared_ptr<platform::UIWindow>& window,
                                           std::function<void()> onClosed);
  static bool isAdShowing(const platform::UIWindow& window);

  // Idempotent. The test ad shown from it, if any, closes with it.
  void close();
  bool isOpen() const { return view_ != nullptr; }

  // A page without a tab now (shownPages) is not selected.
  void selectPage(std::size_t index);
  std::size_t selectedPage() const { return page_; }
  bool isPageShown(std::size_t index) const {
    return index < pagesShown_.size() && pagesShown_[index];
  }
  // Captures and redraws now when anything changed.
  void refresh();
  // What the "Test ad" row of the unit does when tapped.
  void showTestAd(const std::string& adUnitId);

  const std::shared_ptr<InspectorView>& view() const { return view_; }

  AdInspector(std::shared_ptr<platform::UIWindow> window, std::function<void()> onClosed);

 private:
  void setTestAdStatus(std::uint64_t attempt, const std::string& adUnitId, std::string status);
  template <class Loader, class Listener>
  void loadFullScreen(std::uint64_t attempt, const std::string& adUnitId,
                      const std::shared_ptr<Loader>& loader, Listener listenerOf);

  std::weak_ptr<platform::UIWindow> window_;
  std::function<void()> onClosed_;
  std::shared_ptr<InspectorView> view_;
  std::shared_ptr<platform::Timer> timer_;
  platform::Subscription windowClosed_;
  std::size_t page_ = 0;
  std::optional<InspectorPageContent> shown_;
  std::vector<bool> pagesShown_;
  std::map<std::string, std::string> testAds_;  // unit id -> status
  std::uint64_t attempt_ = 0;                   // the test ad whose callbacks count
  std::shared_ptr<void> testLoader_;
  std::shared_ptr<void> testAd_;
  platform::Subscription testAdsOnly_;  // the test ad's unit asks no exchange meanwhile
};

}  // namespace tilo::inspector
