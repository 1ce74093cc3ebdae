// tilo_native_view: a native view whose asset views the bridge makes at the host's frames.
// Its SDK view goes into the wrapper once; with auto-load every move into a superview
// starts a load. The asset views it makes look like an ad until the host restyles them:
// a card, a filled call to action, wrapped texts, colours of the window's appearance and
// the "Ad" mark.
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>

#include "Tilo/views/PaddingLabel.h"
#include "Tilo/views/TiloAdNativeView.h"
#include "TiloObjCBridge/TiloObjCView.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIFont.h"
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

using platform::UIColor;
using platform::UIFont;
using platform::UIFontWeight;

// What one part of the look is: text colour and font (parts with text), background.
struct NativePartStyle {
  std::optional<UIColor> text;
  std::optional<UIFont> font;
  UIColor background = UIColor::clearColor();
};

constexpr std::size_t kNativeParts = TILO_NATIVE_PART_MEDIA + 1;

bool hasText(int part) {
  return part >= TILO_NATIVE_PART_TITLE && part <= TILO_NATIVE_PART_AD_MARK;
}

// Legible in light and dark appearance: system colours resolve in the window's.
std::array<NativePartStyle, kNativeParts> defaultNativeStyle() {
  std::array<NativePartStyle, kNativeParts> style;
  style[TILO_NATIVE_PART_CARD].background = UIColor::systemBackgroundColor();
  style[TILO_NATIVE_PART_TITLE] = {
      UIColor::labelColor(), UIFont::systemFont(16, UIFontWeight::bold), UIColor::clearColor()};
  style[TILO_NATIVE_PART_ADVERTISER] = {UIColor::systemGrayColor(), UIFont::systemFont(13),
                                        UIColor::clearColor()};
  style[TILO_NATIVE_PART_BODY] = {UIColor::labelColor(), UIFont::systemFont(14),
                                  UIColor::clearColor()};
  style[TILO_NATIVE_PART_CALL_TO_ACTION] = {UIColor::whiteColor(),
                                            UIFont::systemFont(15, UIFontWeight::bold),
                                            UIColor::systemBlueColor()};
  style[TILO_NATIVE_PART_AD_MARK] = {
      UIColor::blackColor(), UIFont::systemFont(11, UIFontWeight::bold), UIColor(1.0, 0.8, 0.0)};
  style[TILO_NATIVE_PART_MEDIA].background = UIColor::secondarySystemBackgroundColor();
  return style;
}

class TiloObjCNativeView final : public TiloObjCViewWrapper<NativeKind> {
 public:
  using TiloObjCViewWrapper::TiloObjCViewWrapper;
  const char* className() const override { return "TiloObjCNativeView"; }

  void setPartTextColor(int part, const UIColor& color) {
    style_[part].text = color;
    restyle();
  }
  void setPartBackgroundColor(int part, const UIColor& color) {
    style_[part].background = color;
    restyle();
  }
  void setPartFont(int part, const UIFont& font) {
    style_[part].font = font;
    restyle();
  }

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
  // platform's ad view) and binds them; earlier ones go. `adMark` is where the "Ad" mark
  // sits (null: the top-left corner, at its own size). Until an ad is shown they are
  // hidden; then the ad's present assets show.
  void bind(const tilo_native_asset_layout& layout, const tilo_rect* adMark) {
    const auto& internal = internalView();
    for (const auto& view : assets_) view->removeFromSuperview();
    platform::NSLayoutConstraint::deactivateConstraints(assetConstraints_);
    assets_.clear();
    assetConstraints_.clear();
    icon_ = place(layout.icon, [] { return platform::UIImageView::create(); });
    title_ = place(layout.title, [] { return platform::UILabel::create(); });
    advertiser_ = place(layout.advertiser, [] { return platform::UILabel::create(); });
    body_ = place(layout.body, [] { return platform::UILabel::create(); });
    media_ = place(layout.media, [] { return platform::UIView::create(); });
    callToAction_ = place(layout.call_to_action, [] { return platform::UIButton::create(); });
    adMark_ = PaddingLabel::create();
    adMark_->setText("Ad");
    adMark_->setTextInsets({2, 6, 2, 6});
    adMark_->setTextAlignment(platform::NSTextAlignment::center);
    adMark_->setAccessibilityIdentifier("native.adMark");
    restyle();
    const tilo_rect markFrame = adMark ? *adMark
                                       : tilo_rect{0, 0, adMark_->intrinsicContentSize().width,
                                                   adMark_->intrinsicContentSize().height};
    place(&markFrame, [this] { return adMark_; });
    for (const auto& view : assets_) view->setHidden(!shown_);
    internal->bindViews(title_, advertiser_, body_, icon_, media_, callToAction_);
    // Binding turns the media container's mask translation off; constraints keep every
    // asset view at its frame.
    platform::NSLayoutConstraint::activateConstraints(assetConstraints_);
  }

 protected:
  // The SDK view has filled the asset views the ad has and hidden the others; the mark and
  // the media's area show from the first ad on.
  void didLoadAd() override {
    shown_ = true;
    if (adMark_) adMark_->setHidden(false);
    if (media_) media_->setHidden(false);
  }

 private:
  std::shared_ptr<TiloAdNativeView> makeInternalView() override {
    return TiloAdNativeView::create(TiloAdUnit{unitId(), std::nullopt}, autoLoad());
  }

  // Applies the style to the card and to the asset views there are.
  void restyle() {
    auto& card = style_[TILO_NATIVE_PART_CARD];
    setBackgroundColor(card.background);
    layer().setCornerRadius(12);
    setClipsToBounds(true);
    auto styleLabel = [this](const std::shared_ptr<platform::UILabel>& label, int part) {
      if (!label) return;
      label->setTextColor(*style_[part].text);
      label->setFont(*style_[part].font);
      label->setBackgroundColor(style_[part].background);
    };
    styleLabel(title_, TILO_NATIVE_PART_TITLE);
    styleLabel(advertiser_, TILO_NATIVE_PART_ADVERTISER);
    styleLabel(body_, TILO_NATIVE_PART_BODY);
    styleLabel(adMark_, TILO_NATIVE_PART_AD_MARK);
    // Title and body wrap, as many lines as their frames hold, the last one cut short.
    if (title_) title_->setNumberOfLines(0);
    if (body_) body_->setNumberOfLines(0);
    if (callToAction_) {
      const auto& cta = style_[TILO_NATIVE_PART_CALL_TO_ACTION];
      callToAction_->setTitleColor(*cta.text, platform::UIControlState::normal);
      callToAction_->titleLabel()->setFont(*cta.font);
      callToAction_->setBackgroundColor(cta.background);
      callToAction_->layer().setCornerRadius(8);
    }
    if (icon_) {
      icon_->layer().setCornerRadius(8);
      icon_->setClipsToBounds(true);
    }
    if (media_) media_->setBackgroundColor(style_[TILO_NATIVE_PART_MEDIA].background);
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
  bool shown_ = false;  // an ad was shown
  std::array<NativePartStyle, kNativeParts> style_ = defaultNativeStyle();
  std::shared_ptr<platform::UIImageView> icon_;
  std::shared_ptr<platform::UILabel> title_, advertiser_, body_;
  std::shared_ptr<platform::UIView> media_;
  std::shared_ptr<platform::UIButton> callToAction_;
  std::shared_ptr<PaddingLabel> adMark_;
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
  for (const tilo_rect* frame : {copy.icon, copy.title, copy.advertiser, copy.body, copy.media,
                                 copy.call_to_action, copy.ad_mark}) {
    if (frame && !isValidRect(*frame)) return TILO_STATUS_INVALID_ARGUMENT;
  }
  return Api::run(view, [&](auto& wrapper) { wrapper.bind(copy, copy.ad_mark); });
}
tilo_status tilo_native_view_set_text_color(tilo_native_view* view, int part, tilo_color color) {
  using namespace tilo::bridge;
  if (!hasText(part)) return TILO_STATUS_INVALID_ARGUMENT;
  return Api::run(view, [&](auto& wrapper) { wrapper.setPartTextColor(part, colorFrom(color)); });
}
tilo_status tilo_native_view_set_background_color(tilo_native_view* view, int part,
                                                  tilo_color color) {
  using namespace tilo::bridge;
  if (part < 0 || part >= static_cast<int>(kNativeParts)) return TILO_STATUS_INVALID_ARGUMENT;
  return Api::run(view,
                  [&](auto& wrapper) { wrapper.setPartBackgroundColor(part, colorFrom(color)); });
}
tilo_status tilo_native_view_set_font(tilo_native_view* view, int part, double size, int weight) {
  using namespace tilo::bridge;
  using tilo::platform::UIFontWeight;
  if (!hasText(part) || !std::isfinite(size) || size < 1 || size > 200) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  UIFontWeight fontWeight;
  switch (weight) {
    case TILO_FONT_WEIGHT_REGULAR:
      fontWeight = UIFontWeight::regular;
      break;
    case TILO_FONT_WEIGHT_MEDIUM:
      fontWeight = UIFontWeight::medium;
      break;
    case TILO_FONT_WEIGHT_SEMIBOLD:
      fontWeight = UIFontWeight::semibold;
      break;
    case TILO_FONT_WEIGHT_BOLD:
      fontWeight = UIFontWeight::bold;
      break;
    default:
      return TILO_STATUS_INVALID_ARGUMENT;
  }
  return Api::run(view, [&](auto& wrapper) {
    wrapper.setPartFont(part, tilo::platform::UIFont::systemFont(size, fontWeight));
  });
}
tilo_status tilo_native_view_setup_custom_layout(tilo_native_view* view) {
  return Api::run(view, [](auto& wrapper) { wrapper.addInternalNativeView(); });
}
tilo_status tilo_native_view_add_internal_native_view(tilo_native_view* view) {
  return Api::run(view, [](auto& wrapper) { wrapper.addInternalNativeView(); });
}

}  // extern "C"
