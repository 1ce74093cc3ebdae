// The bridge's view wrappers (banner, native, line banner): each is a view of its own that
// lazily makes the SDK's view for its unit and, once it has a superview, shows that view
// pinned to its four edges. A window places wrappers at a frame or pinned to a safe-area
// edge; the window's view tree keeps a placed wrapper alive.
//
//   auto wrapper = TiloObjCBannerView::create("banner-main", TiloAdBannerSize::banner, false);
//   wrapper->placeAt(*window, {0, 100, 320, 50});   // the SDK view is made and added now
//   wrapper->internalView()->loadAd();
//
// Every closure the wrapper installs on its SDK view holds it weakly, and every delegate
// call is posted to the main loop: a destroyed wrapper hears nothing more.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloAdUnit.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/base/TiloRevenueInfo.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCHandleApi.h"
#include "platform/ui/UIColor.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"
#include "tilo/tilo.h"

namespace tilo::bridge {

// 0xRRGGBBAA as a colour.
platform::UIColor colorFrom(tilo_color color);
// Sets one colour of a template's configuration (`target` is the template's view or ad)
// and assigns the configuration again: it shows its changes only when it is assigned.
template <class Target, class Configuration>
void setConfigurationColor(Target& target, platform::UIColor Configuration::*field,
                           tilo_color color) {
  auto configuration = target.configuration();
  (*configuration).*field = colorFrom(color);
  target.setConfiguration(configuration);
}
// Finite origin, finite sizes >= 0.
bool isValidRect(const tilo_rect& rect);
// Turns off `inner`'s mask translation and pins its four edges to `outer`'s.
void pinToEdges(const std::shared_ptr<platform::UIView>& inner,
                const std::shared_ptr<platform::UIView>& outer);

// What the window functions see of any view handle.
class TiloObjCView : public platform::UIView, public HandleObject {
 public:
  // In `container` at `frame` (moving it out of any earlier place).
  void placeAt(const std::shared_ptr<platform::UIView>& container, const platform::CGRect& frame);
  // In `container`, the full width of `window`'s safe area, `height` high, on one edge.
  void placePinned(platform::UIWindow& window, const std::shared_ptr<platform::UIView>& container,
                   bool top, double height);
  // Out of its window, with the constraints that placed it.
  void unplace();

  void willDestroy() override;

 protected:
  // The host destroyed the handle.
  virtual void handleDestroyed() = 0;

 private:
  std::vector<std::shared_ptr<platform::NSLayoutConstraint>> placement_;
};

// Any of the three view kinds behind `handle`.
struct FoundView {
  tilo_status status;
  std::shared_ptr<TiloObjCView> view;
};
FoundView findView(const void* handle);

// One view kind over its SDK view `Internal` (a CommonAdBannerView or CommonAdNativeView:
// a TiloAdListener<TiloAdUnit> and a loader whose listener carries revenue).
// `Kind::kDomain` is its error domain.
template <class Kind>
class TiloObjCViewWrapper : public TiloObjCView,
                            public DelegateTarget<typename Kind::Delegate, typename Kind::Handle> {
 public:
  using Internal = typename Kind::Internal;
  using Delegate = typename Kind::Delegate;
  using Handle = typename Kind::Handle;
  using Target = DelegateTarget<Delegate, Handle>;

  TiloObjCViewWrapper(std::string unitId, bool autoLoad)
      : unitId_(std::move(unitId)), autoLoad_(autoLoad) {}

  const std::string& unitId() const { return unitId_; }
  bool autoLoad() const { return autoLoad_; }

  // Made and wired on first use.
  const std::shared_ptr<Internal>& internalView() {
    if (!internal_) {
      internal_ = makeInternalView();
      wire();
    }
    return internal_;
  }
  bool hasInternalView() const { return internal_ != nullptr; }

 protected:
  virtual std::shared_ptr<Internal> makeInternalView() = 0;

  std::shared_ptr<TiloObjCViewWrapper> self() {
    return std::static_pointer_cast<TiloObjCViewWrapper>(shared_from_this());
  }
  // Shows the SDK view pinned to this view's edges unless it is shown somewhere already.
  void addInternalViewIfNeeded() {
    const auto& internal = internalView();
    if (internal->superview()) return;
    UIView::addSubview(internal);
    pinToEdges(internal, shared_from_this());
  }
  void handleDestroyed() override { Target::endDelegate(); }
  // An ad was loaded and shown in the SDK view, before the host hears of it.
  virtual void didLoadAd() {}

 private:
  using InfoEntry = void (*Delegate::*)(void*, Handle*, const tilo_ad_info*);

  void wire() {
    std::weak_ptr<TiloObjCViewWrapper> weak = self();
    auto& listener = *internal_->listener();
    listener.onAdLoadSuccess = [weak](std::shared_ptr<TiloAdUnit>, std::optional<TiloAdInfo> info) {
      auto strong = weak.lock();
      if (!strong) return;
      strong->didLoadAd();
      strong->watchRevenue();
      Target::post(strong, [info](const Delegate& d, void* context, Handle* handle) {
        if (d.did_load) d.did_load(context, handle, CAdInfo(info).get());
      });
    };
    listener.onAdLoadFail = [weak](const TiloError& error) {
      auto strong = weak.lock();
      if (!strong) return;
      // The unit id tells a host with several views of one kind which one failed.
      Target::post(strong, [message = hostMessage(error), unit = strong->unitId_](
                               const Delegate& d, void* context, Handle* handle) {
        if (!d.did_fail_with_error) return;
        const CError converted(Kind::kDomain, TILO_ERROR_VIEW_FAILED, message, unit);
        d.did_fail_with_error(context, handle, converted.get());
      });
    };
    listener.onAdClicked = [weak](std::optional<TiloAdInfo> info) {
      if (auto strong = weak.lock()) strong->postInfo(&Delegate::did_click, std::move(info));
    };
    listener.onAdImpression = [weak](std::optional<TiloAdInfo> info) {
      if (auto strong = weak.lock())
        strong->postInfo(&Delegate::did_record_impression, std::move(info));
    };
  }

  void postInfo(InfoEntry entry, std::optional<TiloAdInfo> info) {
    Target::post(self(),
                 [entry, info = std::move(info)](const Delegate& d, void* context, Handle* handle) {
                   if (auto fn = d.*entry) fn(context, handle, CAdInfo(info).get());
                 });
  }

  // The SDK view sends paid events only to a plugin; the wrapper listens on its loader as
  // well, after what the view installed there.
  void watchRevenue() {
    const auto& loader = internal_->loader();
    if (!loader) return;
    auto events = loader->listener();
    if (revenueWatched_.lock() == events) return;
    revenueWatched_ = events;
    auto previous = events->onAdInternalEvent;
    std::weak_ptr<TiloObjCViewWrapper> weak = self();
    events->onAdInternalEvent = [previous, weak](std::optional<TiloAdInfo> info,
                                                 const TiloRevenueInfo& revenue) {
      if (previous) previous(info, revenue);
      auto strong = weak.lock();
      if (!strong) return;
      Target::post(strong, [info, revenue](const Delegate& d, void* context, Handle* handle) {
        if (!d.did_pay) return;
        const CRevenue converted(revenue);
        d.did_pay(context, handle, CAdInfo(info).get(), converted.get());
      });
    };
  }

  const std::string unitId_;
  const bool autoLoad_;
  std::shared_ptr<Internal> internal_;
  std::weak_ptr<TiloAdListener<void>> revenueWatched_;
};

// Whether a view delegate sets its two required entries.
template <class Delegate>
bool hasRequiredViewEntries(const Delegate& delegate) {
  return delegate.did_load && delegate.did_fail_with_error;
}

}  // namespace tilo::bridge
