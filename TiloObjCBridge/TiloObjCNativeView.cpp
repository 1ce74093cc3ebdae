// tilo_native_view: a native view whose asset views the bridge makes at the host's frames.
// Its SDK view goes into the wrapper once; with auto-load every move into a superview
// starts a load.
#include "Tilo/views/TiloAdNativeView.h"
#include "TiloObjCBridge/TiloObjCView.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"

namespace tilo::bridge {
namespace {

struct NativeKind {
  using Internal = TiloAdNativeView;
  using Delegate = tilo_native_view_delegate;
  using Handle = tilo_native_view;
  static constexpr const char* kDomain = TILO_ERROR_DOMAIN_NATIVE;
};

class TiloObjCNativeView final : public TiloObjCViewWrapper<NativeKind> {
 public:
  using TiloObjCViewWrapper::TiloObjCViewWrapper;
  const char* className() const override { return "TiloObjCNativeView"; }

  void didMoveToSuperview() override {
    UIView::didMoveToSuperview();
    if (!superview()) return;
    addInternalNativeView();
    if (autoLoad()) internalView()->loadAd();
  }

  void addInternalNativeView() {
    if (hasAddedInternalView_) return;
    hasAddedInternalView_ = true;
    addInternalViewIfNeeded();
  }

  // Makes the asset views at their frames inside the SDK view (which puts them into the
  // platform's ad view) and binds them; earlier ones go.
  void bind(const tilo_native_asset_layout& layout) {
    const auto& internal = internalView();
    for (const auto& view : assets_) view->removeFromSuperview();
    platform::NSLayoutConstraint::deactivateConstraints(assetConstraints_);
    assets_.clear();
    assetConstraints_.clear();
    auto icon = place(layout.icon, [] { return platform::UIImageView::create(); });
    auto title = place(layout.title, [] { return platform::UILabel::create(); });
    auto advertiser = place(layout.advertiser, [] { return platform::UILabel::create(); });
    auto body = place(layout.body, [] { return platform::UILabel::create(); });
    auto media = place(layout.media, [] { return platform::UIView::create(); });
    auto cta = place(layout.call_to_action, [] { return platform::UIButton::create(); });
    internal->bindViews(title, advertiser, body, icon, media, cta);
    // Binding turns the media container's mask translation off; constraints keep every
    // asset view at its frame.
    platform::NSLayoutConstraint::activateConstraints(assetConstraints_);
  }

 private:
  std::shared_ptr<TiloAdNativeView> makeInternalView() override {
    return TiloAdNativeView::create(TiloAdUnit{unitId(), std::nullopt}, autoLoad());
  }

  template <class Make>
  auto place(const tilo_rect* frame, Make&& make) -> decltype(make()) {
    if (!frame) return nullptr;
    auto view = make();
    const auto& internal = internalView();
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    internal->addSubview(view);
    assetConstraints_.insert(
        assetConstraints_.end(),
        {view->leftAnchor().constraintEqualToAnchor(internal->leftAnchor(), frame->x),
         view->topAnchor().constraintEqualToAnchor(internal->topAnchor(), frame->y),
         view->widthAnchor().constraintEqualToConstant(frame->width),
         view->heightAnchor().constraintEqualToConstant(frame->height)});
    assets_.push_back(view);
    return view;
  }

  bool hasAddedInternalView_ = false;
  std::vector<std::shared_ptr<platform::UIView>> assets_;
  std::vector<std::shared_ptr<platform::NSLayoutConstraint>> assetConstraints_;
};

using Api = HandleApi<TiloObjCNativeView, tilo_native_view, HandleType::nativeView>;

}  // namespace
}  // namespace tilo::bridge

using tilo::bridge::Api;

extern "C" {

tilo_native_view* tilo_native_view_create(const char* unit_id, int auto_load) {
  using namespace tilo::bridge;
  return Api::create(checkIdentifier(unit_id), [&] {
    return tilo::platform::makeView<TiloObjCNativeView>(unit_id, auto_load != 0);
  });
}
tilo_status tilo_native_view_destroy(tilo_native_view* view) {
  return Api::destroy(view);
}
tilo_status tilo_native_view_set_delegate(tilo_native_view* view,
                                          const tilo_native_view_delegate* delegate,
                                          void* context) {
  return Api::setDelegate(view, delegate, context,
                          tilo::bridge::hasRequiredViewEntries<tilo_native_view_delegate>);
}
tilo_status tilo_native_view_load_native_ad(tilo_native_view* view) {
  return Api::run(view, [](auto& wrapper) { wrapper.internalView()->loadAd(); });
}
tilo_status tilo_native_view_bind_native_views(tilo_native_view* view,
                                               const tilo_native_asset_layout* layout) {
  using namespace tilo::bridge;
  if (auto [status, wrapper] = Api::check(view); status != TILO_STATUS_OK) return status;
  if (!layout) return TILO_STATUS_NULL_ARGUMENT;
  tilo_native_asset_layout copy;
  if (!readHostStruct(layout, copy)) return TILO_STATUS_INVALID_ARGUMENT;
  for (const tilo_rect* frame :
       {copy.icon, copy.title, copy.advertiser, copy.body, copy.media, copy.call_to_action}) {
    if (frame && !isValidRect(*frame)) return TILO_STATUS_INVALID_ARGUMENT;
  }
  return Api::run(view, [&](auto& wrapper) { wrapper.bind(copy); });
}
tilo_status tilo_native_view_setup_custom_layout(tilo_native_view* view) {
  return Api::run(view, [](auto& wrapper) { wrapper.addInternalNativeView(); });
}
tilo_status tilo_native_view_add_internal_native_view(tilo_native_view* view) {
  return Api::run(view, [](auto& wrapper) { wrapper.addInternalNativeView(); });
}

}  // extern "C"
