#include "Tilo/views/BaseLightPopupContentView.h"

#include "Tilo/views/HexColor.h"
#include "platform/ui/NSLayoutConstraint.h"

namespace tilo {

using platform::NSLayoutConstraint;
using platform::UIFont;
using platform::UIFontWeight;
using platform::UILayoutConstraintAxis;

namespace {

template <class View>
std::shared_ptr<View> autoLayout(std::shared_ptr<View> view, const char* identifier) {
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  if (identifier) view->setAccessibilityIdentifier(identifier);
  return view;
}

}  // namespace

BaseLightPopupContentView::BaseLightPopupContentView(TiloAdUnit unit, bool autoLoad,
                                                     std::shared_ptr<TiloServiceProtocol> service)
    : TiloAdNativeView(std::move(unit), autoLoad, std::move(service)) {}

void BaseLightPopupContentView::initializeView() {
  containerView_ = autoLayout(platform::UIView::create(), "lightPopup.card");
  containerView_->setUserInteractionEnabled(false);
  containerView_->layer().setBorderColor(hexColor("#3E434F"));
  containerView_->layer().setBorderWidth(1);
  containerView_->layer().setCornerRadius(16);
  containerView_->setClipsToBounds(true);

  adMarkLabel_ = autoLayout(platform::UILabel::create(), "lightPopup.adMark");
  adMarkLabel_->setText("AD");
  adMarkLabel_->setTextAlignment(platform::NSTextAlignment::center);
  adMarkLabel_->setFont(UIFont::systemFont(14, UIFontWeight::bold));

  internalMediaContentView_ = autoLayout(platform::UIView::create(), "lightPopup.media");
  internalMediaContentView_->setClipsToBounds(true);

  internalIconImageView_ = autoLayout(platform::UIImageView::create(), "lightPopup.icon");
  internalIconImageView_->layer().setCornerRadius(4);
  internalIconImageView_->setClipsToBounds(true);

  internalTitleLabel_ = autoLayout(platform::UILabel::create(), "lightPopup.title");
  internalTitleLabel_->setFont(UIFont::systemFont(18, UIFontWeight::bold));
  internalTitleLabel_->setNumberOfLines(2);
  internalTitleLabel_->setClipsToBounds(true);
  internalTitleLabel_->setContentHuggingPriority(750, UILayoutConstraintAxis::vertical);

  internalBodyLabel_ = autoLayout(platform::UILabel::create(), "lightPopup.body");
  internalBodyLabel_->setFont(UIFont::systemFont(14));
  internalBodyLabel_->setNumberOfLines(2);
  internalBodyLabel_->setTextColor(platform::UIColor::whiteColor());
  internalBodyLabel_->setClipsToBounds(true);
  internalBodyLabel_->setContentHuggingPriority(750, UILayoutConstraintAxis::vertical);

  internalCallToActionButton_ = autoLayout(platform::UIButton::create(), nullptr);
  internalCallToActionButton_->setClipsToBounds(true);
  internalCallToActionButton_->titleLabel()->setFont(UIFont::systemFont(17, UIFontWeight::bold));
  internalCallToActionButton_->setAlpha(0);

  configuration_ = TiloLightPopupConfiguration::create();

  TiloAdNativeView::initializeView();
  setAccessibilityIdentifier("lightPopup");
  layout();
  bindViews(internalTitleLabel_, nullptr, internalBodyLabel_, internalIconImageView_,
            internalMediaContentView_, internalCallToActionButton_);
}

const std::shared_ptr<platform::UILabel>& BaseLightPopupContentView::fakeCTALabel() {
  if (fakeCTALabel_) return fakeCTALabel_;
  fakeCTALabel_ = autoLayout(platform::UILabel::create(), "lightPopup.cta");
  fakeCTALabel_->setText("");
  fakeCTALabel_->setTextColor(configuration_->ctaButtonTextColor);
  fakeCTALabel_->setFont(UIFont::systemFont(17, UIFontWeight::bold));
  fakeCTALabel_->setContentCompressionResistancePriority(750, UILayoutConstraintAxis::horizontal);
  fakeCTALabel_->setBackgroundColor(configuration_->ctaButtonBackgroundColor);
  fakeCTALabel_->layer().setCornerRadius(12);
  fakeCTALabel_->layer().setMasksToBounds(true);
  fakeCTALabel_->setTextAlignment(platform::NSTextAlignment::center);
  fakeCTALabel_->setAdjustsFontSizeToFitWidth(true);
  fakeCTALabel_->setMinimumScaleFactor(0.5);
  fakeCTALabel_->setClipsToBounds(true);
  return fakeCTALabel_;
}

void BaseLightPopupContentView::layout() {
  // Everything, the card's contents included, goes into the native ad view (addSubview
  // is redirected there); the card only draws the frame behind them.
  const auto& card = containerView_;
  addSubview(card);
  NSLayoutConstraint::activateConstraints({
      card->centerYAnchor().constraintEqualToAnchor(centerYAnchor()),
      card->leftAnchor().constraintEqualToAnchor(leftAnchor(), 20),
      card->rightAnchor().constraintEqualToAnchor(rightAnchor(), -20),
  });
  const auto& media = internalMediaContentView_;
  const auto& icon = internalIconImageView_;
  const auto& title = internalTitleLabel_;
  const auto& body = internalBodyLabel_;
  const auto& bar = fakeCTALabel();
  const auto& mark = adMarkLabel_;
  for (const std::shared_ptr<platform::UIView>& view :
       std::vector<std::shared_ptr<platform::UIView>>{media, icon, title, body, bar, mark}) {
    addSubview(view);
  }
  NSLayoutConstraint::activateConstraints({
      mark->topAnchor().constraintEqualToAnchor(media->topAnchor()),
      mark->leftAnchor().constraintEqualToAnchor(media->leftAnchor()),
      mark->widthAnchor().constraintEqualToConstant(36),
      mark->heightAnchor().constraintEqualToConstant(24),
  });
  const auto& button = internalCallToActionButton_;
  addSubview(button);
  NSLayoutConstraint::activateConstraints({
      button->topAnchor().constraintEqualToAnchor(topAnchor()),
      button->leftAnchor().constraintEqualToAnchor(leftAnchor()),
      button->rightAnchor().constraintEqualToAnchor(rightAnchor()),
      button->bottomAnchor().constraintEqualToAnchor(bottomAnchor()),
  });
  NSLayoutConstraint::activateConstraints({
      media->topAnchor().constraintEqualToAnchor(card->topAnchor(), 20),
      media->leftAnchor().constraintEqualToAnchor(card->leftAnchor(), 20),
      media->rightAnchor().constraintEqualToAnchor(card->rightAnchor(), -20),
      media->heightAnchor().constraintEqualToAnchor(media->widthAnchor(), 1.0, 0),
  });
  NSLayoutConstraint::activateConstraints({
      icon->topAnchor().constraintEqualToAnchor(media->bottomAnchor(), 20),
      icon->leftAnchor().constraintEqualToAnchor(card->leftAnchor(), 20),
      icon->widthAnchor().constraintEqualToConstant(40),
      icon->heightAnchor().constraintEqualToConstant(40),
  });
  NSLayoutConstraint::activateConstraints({
      title->leftAnchor().constraintEqualToAnchor(icon->rightAnchor(), 12),
      title->topAnchor().constraintEqualToAnchor(icon->topAnchor()),
      title->rightAnchor().constraintEqualToAnchor(card->rightAnchor(), -20),
      title->heightAnchor().constraintGreaterThanOrEqualToConstant(20),
  });
  NSLayoutConstraint::activateConstraints({
      body->topAnchor().constraintEqualToAnchor(title->bottomAnchor(), 12),
      body->leftAnchor().constraintEqualToAnchor(title->leftAnchor()),
      body->rightAnchor().constraintEqualToAnchor(title->rightAnchor()),
      body->heightAnchor().constraintGreaterThanOrEqualToConstant(20),
  });
  NSLayoutConstraint::activateConstraints({
      bar->topAnchor().constraintEqualToAnchor(body->bottomAnchor(), 24),
      bar->leftAnchor().constraintEqualToAnchor(card->leftAnchor(), 20),
      bar->rightAnchor().constraintEqualToAnchor(card->rightAnchor(), -20),
      bar->heightAnchor().constraintEqualToConstant(52),
      bar->bottomAnchor().constraintEqualToAnchor(card->bottomAnchor(), -20),
  });
}

void BaseLightPopupContentView::setConfiguration(
    std::shared_ptr<TiloLightPopupConfiguration> configuration) {
  if (configuration) configuration_ = std::move(configuration);
}

void BaseLightPopupContentView::applyConfiguration() {
  const auto& c = *configuration_;
  setBackgroundColor(c.backgroundColor);
  containerView_->setBackgroundColor(c.cardViewBackgroundColor);
  adMarkLabel_->setTextColor(c.adMarkLabelTextColor);
  adMarkLabel_->setBackgroundColor(c.adMarkLabelBackgroundColor);
  internalTitleLabel_->setTextColor(c.titleTextColor);
  internalBodyLabel_->setTextColor(c.bodyTextColor);
  fakeCTALabel()->setTextColor(c.ctaButtonTextColor);
  fakeCTALabel_->setBackgroundColor(c.ctaButtonBackgroundColor);
}

std::shared_ptr<TiloLightPopupContentView> TiloLightPopupContentView::create(
    TiloAdUnit unit, bool autoLoad, std::shared_ptr<TiloServiceProtocol> service) {
  return platform::makeView<TiloLightPopupContentView>(std::move(unit), autoLoad,
                                                       std::move(service));
}

void TiloLightPopupContentView::renderAd(const TiloAdNative& ad,
                                         const std::shared_ptr<AdNativeLoadable>& loader) {
  TiloAdNativeView::renderAd(ad, loader);
  fakeCTALabel()->setText(ad.callToAction.value_or(""));
  internalIconImageView()->setUserInteractionEnabled(false);
  internalTitleLabel()->setUserInteractionEnabled(false);
  internalMediaContentView()->setUserInteractionEnabled(false);
  internalBodyLabel()->setUserInteractionEnabled(false);
}

}  // namespace tilo
