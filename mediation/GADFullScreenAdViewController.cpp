#include "mediation/GADFullScreenAdViewController.h"

#include <utility>

#include "platform/Bundle.h"
#include "platform/ui/NSLayoutConstraint.h"

namespace tilo::mediation {

using platform::NSLayoutConstraint;
using platform::UIColor;
using platform::UIControlEvents;
using platform::UIControlState;
using platform::UIFont;
using platform::UIFontWeight;

namespace {

// The ad mark's yellow reads on light and dark backgrounds alike.
UIColor adMarkColor() {
  return UIColor(1.0, 0.8, 0.0);
}
constexpr double kMargin = 16;
constexpr double kTextMargin = 24;

}  // namespace

std::shared_ptr<GADFullScreenAdViewController> GADFullScreenAdViewController::create(
    std::string format, Creative creative, std::string appName) {
  return std::make_shared<GADFullScreenAdViewController>(std::move(format), std::move(creative),
                                                         std::move(appName));
}

GADFullScreenAdViewController::GADFullScreenAdViewController(std::string format, Creative creative,
                                                             std::string appName)
    : platform::UIViewController(format + " ad"),
      format_(std::move(format)),
      creative_(std::move(creative)),
      appName_(std::move(appName)) {}

std::string GADFullScreenAdViewController::mainBundleAppName() {
  auto bundle = platform::Bundle::main();
  for (const char* key : {"CFBundleDisplayName", "CFBundleName"}) {
    if (auto value = bundle->infoValue(key)) {
      if (const std::string* name = value->asString(); name && !name->empty()) return *name;
    }
  }
  return bundle->bundleIdentifier().value_or("This app");
}

std::shared_ptr<platform::UILabel> GADFullScreenAdViewController::label(const char* part,
                                                                        double size, bool bold) {
  auto made = platform::UILabel::create();
  made->setTranslatesAutoresizingMaskIntoConstraints(false);
  made->setAccessibilityIdentifier(id(part));
  made->setFont(UIFont::systemFont(size, bold ? UIFontWeight::bold : UIFontWeight::regular));
  made->setTextAlignment(platform::NSTextAlignment::center);
  return made;
}

void GADFullScreenAdViewController::loadView() {
  UIViewController::loadView();
  const auto root = view();
  root->setAccessibilityIdentifier(format_);
  root->setBackgroundColor(UIColor::systemBackgroundColor());
  buildTopBar(*root);
  buildCreative(*root);
  if (countdownSet_) setCountdown(secondsLeft_);
}

void GADFullScreenAdViewController::buildTopBar(platform::UIView& root) {
  const auto safe = root.safeAreaLayoutGuide();
  adMark_ = label("adMark", 13, true);
  adMark_->setText("Ad");
  adMark_->setTextColor(UIColor::blackColor());
  adMark_->setBackgroundColor(adMarkColor());
  adMark_->layer().setCornerRadius(4);
  adMark_->setClipsToBounds(true);
  root.addSubview(adMark_);

  close_ = platform::UIButton::create();
  close_->setTranslatesAutoresizingMaskIntoConstraints(false);
  close_->setAccessibilityIdentifier(id("close"));
  close_->setImage(platform::UIImage::systemImageNamed("xmark"), UIControlState::normal);
  close_->setTintColor(UIColor::labelColor());
  close_->setBackgroundColor(UIColor::secondarySystemBackgroundColor());
  close_->layer().setCornerRadius(18);
  close_->setClipsToBounds(true);
  std::weak_ptr<GADFullScreenAdViewController> weak =
      std::static_pointer_cast<GADFullScreenAdViewController>(shared_from_this());
  close_->addAction(
      [weak](platform::UIControl&) {
        auto self = weak.lock();
        if (auto action = self ? self->onClose_ : nullptr) action();
      },
      UIControlEvents::touchUpInside);
  root.addSubview(close_);

  NSLayoutConstraint::activateConstraints({
      adMark_->topAnchor().constraintEqualToAnchor(safe->topAnchor(), 12),
      adMark_->leadingAnchor().constraintEqualToAnchor(safe->leadingAnchor(), kMargin),
      adMark_->widthAnchor().constraintEqualToConstant(30),
      adMark_->heightAnchor().constraintEqualToConstant(20),
      close_->centerYAnchor().constraintEqualToAnchor(adMark_->centerYAnchor()),
      close_->trailingAnchor().constraintEqualToAnchor(safe->trailingAnchor(), -kMargin),
      close_->widthAnchor().constraintEqualToConstant(36),
      close_->heightAnchor().constraintEqualToConstant(36),
  });

  if (format_ == "rewarded") {
    countdown_ = label("countdown", 15, true);
    countdown_->setBackgroundColor(UIColor::secondarySystemBackgroundColor());
    countdown_->layer().setCornerRadius(14);
    countdown_->setClipsToBounds(true);
    root.addSubview(countdown_);
    NSLayoutConstraint::activateConstraints({
        countdown_->centerXAnchor().constraintEqualToAnchor(root.centerXAnchor()),
        countdown_->centerYAnchor().constraintEqualToAnchor(adMark_->centerYAnchor()),
        countdown_->widthAnchor().constraintEqualToConstant(170),
        countdown_->heightAnchor().constraintEqualToConstant(28),
    });
  }
}

void GADFullScreenAdViewController::buildCreative(platform::UIView& root) {
  const auto safe = root.safeAreaLayoutGuide();
  std::vector<std::shared_ptr<NSLayoutConstraint>> layout;
  auto spanText = [&](platform::UIView& view) {
    layout.push_back(
        view.leadingAnchor().constraintEqualToAnchor(safe->leadingAnchor(), kTextMargin));
    layout.push_back(
        view.trailingAnchor().constraintEqualToAnchor(safe->trailingAnchor(), -kTextMargin));
  };

  platform::UIView* above = adMark_.get();
  if (format_ == "appOpen") {
    appNameLabel_ = label("appName", 20, true);
    appNameLabel_->setText(appName_);
    root.addSubview(appNameLabel_);
    layout.push_back(
        appNameLabel_->topAnchor().constraintEqualToAnchor(adMark_->bottomAnchor(), 20));
    spanText(*appNameLabel_);
    above = appNameLabel_.get();
  }

  media_ = platform::UIImageView::create(creative_.media);
  media_->setTranslatesAutoresizingMaskIntoConstraints(false);
  media_->setAccessibilityIdentifier(id("media"));
  media_->setContentMode(platform::UIViewContentMode::scaleAspectFill);
  media_->setClipsToBounds(true);
  media_->layer().setCornerRadius(16);
  media_->setHidden(!creative_.media);
  root.addSubview(media_);
  layout.insert(
      layout.end(),
      {media_->topAnchor().constraintEqualToAnchor(above->bottomAnchor(), 16),
       media_->leadingAnchor().constraintEqualToAnchor(safe->leadingAnchor(), kMargin),
       media_->trailingAnchor().constraintEqualToAnchor(safe->trailingAnchor(), -kMargin),
       media_->heightAnchor().constraintEqualToAnchor(media_->widthAnchor(), 9.0 / 16, 0)});

  icon_ = platform::UIImageView::create(creative_.icon);
  icon_->setTranslatesAutoresizingMaskIntoConstraints(false);
  icon_->setAccessibilityIdentifier(id("icon"));
  icon_->setClipsToBounds(true);
  icon_->layer().setCornerRadius(16);
  icon_->setHidden(!creative_.icon);
  root.addSubview(icon_);
  layout.insert(layout.end(),
                {icon_->topAnchor().constraintEqualToAnchor(media_->bottomAnchor(), 28),
                 icon_->centerXAnchor().constraintEqualToAnchor(root.centerXAnchor()),
                 icon_->widthAnchor().constraintEqualToConstant(72),
                 icon_->heightAnchor().constraintEqualToConstant(72)});

  title_ = label("title", 24, true);
  title_->setText(creative_.headline.value_or(""));
  title_->setNumberOfLines(2);
  title_->setHidden(!creative_.headline);
  root.addSubview(title_);
  layout.push_back(title_->topAnchor().constraintEqualToAnchor(icon_->bottomAnchor(), 16));
  spanText(*title_);

  body_ = label("body", 16, false);
  body_->setText(creative_.body.value_or(""));
  body_->setNumberOfLines(3);
  body_->setTextColor(UIColor::systemGrayColor());
  body_->setHidden(!creative_.body);
  root.addSubview(body_);
  layout.push_back(body_->topAnchor().constraintEqualToAnchor(title_->bottomAnchor(), 8));
  spanText(*body_);

  cta_ = platform::UIButton::create();
  cta_->setTranslatesAutoresizingMaskIntoConstraints(false);
  cta_->setAccessibilityIdentifier(id("cta"));
  cta_->setTitle(creative_.callToAction, UIControlState::normal);
  cta_->setTitleColor(UIColor::whiteColor(), UIControlState::normal);
  cta_->titleLabel()->setFont(UIFont::systemFont(18, UIFontWeight::bold));
  cta_->setBackgroundColor(UIColor::systemBlueColor());
  cta_->layer().setCornerRadius(14);
  cta_->setClipsToBounds(true);
  cta_->setHidden(!creative_.callToAction);
  std::weak_ptr<GADFullScreenAdViewController> weak =
      std::static_pointer_cast<GADFullScreenAdViewController>(shared_from_this());
  cta_->addAction(
      [weak](platform::UIControl&) {
        auto self = weak.lock();
        if (auto action = self ? self->onCallToAction_ : nullptr) action();
      },
      UIControlEvents::touchUpInside);
  root.addSubview(cta_);
  layout.insert(layout.end(),
                {cta_->bottomAnchor().constraintEqualToAnchor(safe->bottomAnchor(), -kTextMargin),
                 cta_->heightAnchor().constraintEqualToConstant(56)});
  spanText(*cta_);
  NSLayoutConstraint::activateConstraints(layout);
}

void GADFullScreenAdViewController::setCountdown(std::optional<int> secondsLeft) {
  secondsLeft_ = secondsLeft;
  countdownSet_ = true;
  if (!isViewLoaded()) return;
  close_->setHidden(secondsLeft.has_value());
  if (!countdown_) return;
  countdown_->setText(secondsLeft ? "Reward in " + std::to_string(*secondsLeft) + " s"
                                  : std::string("Reward granted"));
}

}  // namespace tilo::mediation
