// tilo_banner_view: a banner or MREC view for one unit; its SDK view is made on first use
// and shown once the wrapper is placed.
#include "Tilo/views/TiloAdBannerView.h"
#include "TiloObjCBridge/TiloObjCView.h"
#include "TiloObjCBridge/TiloObjCWindow.h"

namespace tilo::bridge {
namespace {

struct BannerKind {
  using Internal = TiloAdBannerView;
  using Delegate = tilo_banner_view_delegate;
  using Handle = tilo_banner_view;
  static constexpr const char* kDomain = TILO_ERROR_DOMAIN_BANNER;
};

class TiloObjCBannerView final : public TiloObjCViewWrapper<BannerKind> {
 public:
  TiloObjCBannerView(std::string unitId, TiloAdBannerSize size, bool autoLoad)
      : TiloObjCViewWrapper(std::move(unitId), autoLoad), bannerSize_(size) {}
  const char* className() const override { return "TiloObjCBannerView"; }

  void didMoveToSuperview() override {
    UIView::didMoveToSuperview();
    if (superview()) addInternalViewIfNeeded();
  }

 private:
  std::shared_ptr<TiloAdBannerView> makeInternalView() override {
    return TiloAdBannerView::create(TiloAdUnit{unitId(), std::nullopt}, bannerSize_, autoLoad());
  }

  const TiloAdBannerSize bannerSize_;
};

using Api = HandleApi<TiloObjCBannerView, tilo_banner_view, HandleType::bannerView>;

}  // namespace
}  // namespace tilo::bridge

using tilo::bridge::Api;

extern "C" {

tilo_banner_view* tilo_banner_view_create(const char* unit_id, int banner_size, int auto_load) {
  using namespace tilo::bridge;
  tilo_status status = checkIdentifier(unit_id);
  if (status == TILO_STATUS_OK && banner_size != TILO_BANNER_SIZE_BANNER &&
      banner_size != TILO_BANNER_SIZE_MREC) {
    status = TILO_STATUS_INVALID_ARGUMENT;
  }
  return Api::create(status, [&] {
    return tilo::platform::makeView<TiloObjCBannerView>(
        unit_id, static_cast<tilo::TiloAdBannerSize>(banner_size), auto_load != 0);
  });
}
tilo_status tilo_banner_view_destroy(tilo_banner_view* view) {
  return Api::destroy(view);
}
tilo_status tilo_banner_view_set_delegate(tilo_banner_view* view,
                                          const tilo_banner_view_delegate* delegate,
                                          void* context) {
  return Api::setDelegate(view, delegate, context,
                          tilo::bridge::hasRequiredViewEntries<tilo_banner_view_delegate>);
}
tilo_status tilo_banner_view_load_ad(tilo_banner_view* view) {
  return Api::run(view, [](auto& wrapper) { wrapper.internalView()->loadAd(); });
}
tilo_status tilo_banner_view_set_root_view_controller(tilo_banner_view* view,
                                                      tilo_view_controller* view_controller) {
  std::shared_ptr<tilo::platform::UIViewController> controller;
  if (auto [status, wrapper] = Api::check(view); status != TILO_STATUS_OK) return status;
  if (auto status = tilo::bridge::findViewController(view_controller, controller);
      status != TILO_STATUS_OK) {
    return status;
  }
  return Api::run(
      view, [&](auto& wrapper) { wrapper.internalView()->setRootViewController(controller); });
}

}  // extern "C"
