#include "Tilo/views/TemplateAdLineBannerView.h"

#include "platform/ui/NSLayoutConstraint.h"

namespace tilo {

using platform::NSLayoutConstraint;
using platform::UIButton;
using platform::UIColor;
using platform::UIControlState;
using platform::UIFont;
using platform::UILayoutConstraintAxis;

TemplateAdLineBannerView::TemplateAdLineBannerView(TiloAdUnit unit, bool autoLoad,
                                                   std::shared_ptr<TiloServiceProtocol> service)
    : TiloAdNativeView(std::move(unit), autoLoad, std::move(service)),
      configuration_(TiloLineNativeAdConfiguration::create()) {}

void TemplateAdLineBannerView::initializeView() {
  internalCallToActionButton_ = UIButton::create();
  internalCallToActionButton_->setClipsToBounds(true);
  internalCallToActionButton_->setAlpha(0);
  internalCallToActionButton_->setTranslatesAutoresizingMaskIntoConstraints(false);

  dividerView_ = platform::UIView::create();
  dividerView_->setBackgroundColor(UIColor::systemGrayColor().withAlphaComponent(0.8));
  dividerView_->setTranslatesAutoresizingMaskIntoConstraints(false);
  dividerView_->setAccessibilityIdentifier("lineBanner.divider");

  textStackView_ = platform::UIStackView::create();
  textStackView_->setUserInteractionEnabled(false);
  textStackView_->setAxis(UILayoutConstraintAxis::horizontal);
  textStackView_->setAlignment(platform::UIStackViewAlignment::center);
  textStackView_->setDistribution(platform::UIStackViewDistribution::fillProportionally);
  textStackView_->setSpacing(4);
  textStackView_->setTranslatesAutoresizingMaskIntoConstraints(false);
  textStackView_->setAccessibilityIdentifier("lineBanner.stack");

  TiloAdNativeView::initializeView();
  setAccessibilityIdentifier("lineBanner");
  layout();
  bindViews(internalTitleLabel(), nullptr, nullptr, nullptr, nullptr, internalCallToActionButton_);
  // The configuration is applied only when one is assigned: until then the line has no
  // background of its own and its parts keep the colours they were made with.
}

const std::shared_ptr<UIButton>& TemplateAdLineBannerView::adMarkButton() {
  if (adMarkButton_) return adMarkButton_;
  adMarkButton_ = UIButton::create();
  adMarkButton_->setUserInteractionEnabled(false);
  // The badge keeps its fixed width: it never stretches to fill the line.
  adMarkButton_->setContentHuggingPriority(750, UILayoutConstraintAxis::horizontal);
  adMarkButton_->setTitle("AD", UIControlState::normal);
  adMarkButton_->setTitleColor(configuration_->adMarkTextColor, UIControlState::normal);
  adMarkButton_->titleLabel()->setFont(UIFont::systemFont(10));
  adMarkButton_->setBackgroundColor(configuration_->adMarkBackgroundColor);
  adMarkButton_->setContentEdgeInsets({3, 5, 3, 5});
  adMarkButton_->layer().setCornerRadius(10);
  adMarkButton_->layer().setMasksToBounds(true);
  adMarkButton_->setTranslatesAutoresizingMaskIntoConstraints(false);
  adMarkButton_->setAccessibilityIdentifier("lineBanner.badge");
  return adMarkButton_;
}

const std::shared_ptr<platform::UILabel>& TemplateAdLineBannerView::internalTitleLabel() {
  if (internalTitleLabel_) return internalTitleLabel_;
  internalTitleLabel_ = platform::UILabel::create();
  internalTitleLabel_->setUserInteractionEnabled(false);
  internalTitleLabel_->setText("");
  internalTitleLabel_->setClipsToBounds(true);
  internalTitleLabel_->setTextColor(configuration_->titleTextColor);
  internalTitleLabel_->setFont(UIFont::systemFont(12));
  internalTitleLabel_->setNumberOfLines(1);
  internalTitleLabel_->setTranslatesAutoresizingMaskIntoConstraints(false);
  internalTitleLabel_->setAccessibilityIdentifier("lineBanner.title");
  return internalTitleLabel_;
}

const std::shared_ptr<PaddingLabel>& TemplateAdLineBannerView::fakeCTALabel() {
  if (fakeCTALabel_) return fakeCTALabel_;
  fakeCTALabel_ = PaddingLabel::create();
  fakeCTALabel_->setText("");
  fakeCTALabel_->setUserInteractionEnabled(false);
  fakeCTALabel_->setTextColor(configuration_->ctaTextColor);
  fakeCTALabel_->setFont(UIFont::systemFont(12, platform::UIFontWeight::semibold));
  fakeCTALabel_->setContentCompressionResistancePriority(750, UILayoutConstraintAxis::horizontal);
  fakeCTALabel_->setBackgroundColor(configuration_->ctaBackgroundColor);
  fakeCTALabel_->layer().setCornerRadius(8);
  fakeCTALabel_->layer().setMasksToBounds(true);
  fakeCTALabel_->setTextAlignment(platform::NSTextAlignment::center);
  fakeCTALabel_->setAdjustsFontSizeToFitWidth(true);
  fakeCTALabel_->setMinimumScaleFactor(0.3);
  fakeCTALabel_->setClipsToBounds(true);
  fakeCTALabel_->setTranslatesAutoresizingMaskIntoConstraints(false);
  fakeCTALabel_->setAccessibilityIdentifier("lineBanner.cta");
  return fakeCTALabel_;
}

void TemplateAdLineBannerView::layout() {
  addSubview(textStackView_);  // into the native ad view
  textStackView_->addArrangedSubview(adMarkButton());
  textStackView_->addArrangedSubview(internalTitleLabel());
  textStackView_->addArrangedSubview(dividerView_);
  textStackView_->addArrangedSubview(fakeCTALabel());
  textStackView_->setCustomSpacing(10, dividerView_.get());
  addSubview(internalCallToActionButton_);
  const auto& stack = textStackView_;
  const auto& button = internalCallToActionButton_;
  NSLayoutConstraint::activateConstraints({
      adMarkButton_->widthAnchor().constraintEqualToConstant(30),
      internalTitleLabel_->widthAnchor().constraintGreaterThanOrEqualToConstant(30),
      dividerView_->widthAnchor().constraintEqualToConstant(1),
      dividerView_->heightAnchor().constraintEqualToConstant(12),
      fakeCTALabel_->widthAnchor().constraintGreaterThanOrEqualToConstant(30),
      stack->leadingAnchor().constraintGreaterThanOrEqualToAnchor(leadingAnchor(), 20),
      stack->trailingAnchor().constraintLessThanOrEqualToAnchor(trailingAnchor(), -20),
      stack->centerXAnchor().constraintEqualToAnchor(centerXAnchor()),
      stack->centerYAnchor().constraintEqualToAnchor(centerYAnchor()),
      button->leadingAnchor().constraintEqualToAnchor(leadingAnchor()),
      button->trailingAnchor().constraintEqualToAnchor(trailingAnchor()),
      button->topAnchor().constraintEqualToAnchor(topAnchor()),
      button->bottomAnchor().constraintEqualToAnchor(bottomAnchor()),
  });
}

void TemplateAdLineBannerView::setConfiguration(
    std::shared_ptr<TiloLineNativeAdConfiguration> configuration) {
  if (!configuration) return;
  configuration_ = std::move(configuration);
  applyConfiguration();
}

void TemplateAdLineBannerView::applyConfiguration() {
  const auto& c = *configuration_;
  setBackgroundColor(c.backgroundColor);
  adMarkButton()->setTitleColor(c.adMarkTextColor, UIControlState::normal);
  adMarkButton_->setBackgroundColor(c.adMarkBackgroundColor);
  internalTitleLabel()->setTextColor(c.titleTextColor);
  fakeCTALabel()->setTextColor(c.ctaTextColor);
  fakeCTALabel_->setBackgroundColor(c.ctaBackgroundColor);
}

}  // namespace tilo
