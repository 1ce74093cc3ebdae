// tilo_line_banner_view: the one-line native template; the host's colours go to its
// configuration, which is applied again after each change.
#include "Tilo/views/TiloAdLineBannerView.h"
#include "TiloObjCBridge/TiloObjCView.h"

namespace tilo::bridge {
namespace {

struct LineBannerKind {
  using Internal = TiloAdLineBannerView;
  using Delegate = tilo_line_banner_view_delegate;
  using Handle = tilo_line_banner_view;
  static constexpr const char* kDomain = TILO_ERROR_DOMAIN_LINE_BANNER;
};

class TiloObjCLineBannerView final : public TiloObjCViewWrapper<LineBannerKind> {
 public:
  using TiloObjCViewWrapper::TiloObjCViewWrapper;
  const char* className() const override { return "TiloObjCLineBannerView"; }

  void didMoveToSuperview() override {
    UIView::didMoveToSuperview();
    if (superview()) addInternalViewIfNeeded();
  }

  void setColor(platform::UIColor TiloLineNativeAdConfiguration::*field, tilo_color color) {
    setConfigurationColor(*internalView(), field, color);
  }

 private:
  std::shared_ptr<TiloAdLineBannerView> makeInternalView() override {
    return TiloAdLineBannerView::create(TiloAdUnit{unitId(), std::nullopt}, autoLoad());
  }
};

using Api = HandleApi<TiloObjCLineBannerView, tilo_line_banner_view, HandleType::lineBannerView>;

tilo_status setColor(tilo_line_banner_view* view,
                     platform::UIColor TiloLineNativeAdConfiguration::*field, tilo_color color) {
  return Api::run(view, [&](auto& wrapper) { wrapper.setColor(field, color); });
}

}  // namespace
}  // namespace tilo::bridge

using tilo::TiloLineNativeAdConfiguration;
using tilo::bridge::Api;
using tilo::bridge::setColor;

extern "C" {

tilo_line_banner_view* tilo_line_banner_view_create(const char* unit_id, int auto_load) {
  using namespace tilo::bridge;
  return Api::create(checkIdentifier(unit_id), [&] {
    return tilo::platform::makeView<TiloObjCLineBannerView>(unit_id, auto_load != 0);
  });
}
tilo_status tilo_line_banner_view_destroy(tilo_line_banner_view* view) {
  return Api::destroy(view);
}
tilo_status tilo_line_banner_view_set_delegate(tilo_line_banner_view* view,
                                               const tilo_line_banner_view_delegate* delegate,
                                               void* context) {
  return Api::setDelegate(view, delegate, context,
                          tilo::bridge::hasRequiredViewEntries<tilo_line_banner_view_delegate>);
}
tilo_status tilo_line_banner_view_load_ad(tilo_line_banner_view* view) {
  return Api::run(view, [](auto& wrapper) { wrapper.internalView()->loadAd(); });
}
tilo_status tilo_line_banner_view_set_line_background_color(tilo_line_banner_view* view,
                                                            tilo_color color) {
  return setColor(view, &TiloLineNativeAdConfiguration::backgroundColor, color);
}
tilo_status tilo_line_banner_view_set_ad_mark_text_color(tilo_line_banner_view* view,
                                                         tilo_color color) {
  return setColor(view, &TiloLineNativeAdConfiguration::adMarkTextColor, color);
}
tilo_status tilo_line_banner_view_set_ad_mark_background_color(tilo_line_banner_view* view,
                                                               tilo_color color) {
  return setColor(view, &TiloLineNativeAdConfiguration::adMarkBackgroundColor, color);
}
tilo_status tilo_line_banner_view_set_title_text_color(tilo_line_banner_view* view,
                                                       tilo_color color) {
  return setColor(view, &TiloLineNativeAdConfiguration::titleTextColor, color);
}
tilo_status tilo_line_banner_view_set_cta_text_color(tilo_line_banner_view* view,
                                                     tilo_color color) {
  return setColor(view, &TiloLineNativeAdConfiguration::ctaTextColor, color);
}
tilo_status tilo_line_banner_view_set_cta_background_color(tilo_line_banner_view* view,
                                                           tilo_color color) {
  return setColor(view, &TiloLineNativeAdConfiguration::ctaBackgroundColor, color);
}

}  // extern "C"
