#include "Tilo/views/TiloLightPopupViewController.h"

#include <utility>

#include "Tilo/views/HexColor.h"
#include "platform/Environment.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIVisualEffectView.h"

namespace tilo {

using platform::NSLayoutConstraint;
using platform::UIControlState;

std::shared_ptr<TiloLightPopupViewController> TiloLightPopupViewController::create(
    TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service) {
  auto controller =
      std::make_shared<TiloLightPopupViewController>(std::move(unit), std::move(service));
  controller->view();  // built with the controller, so that the card can load off screen
  return controller;
}

TiloLightPopupViewController::TiloLightPopupViewController(
    TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service)
    : configuration_(TiloLightPopupConfiguration::create()),
      unit_(std::move(unit)),
      lightPopupadListener_(TiloLightPopupListener::create()) {
  contentView_ = TiloLightPopupContentView::create(unit_, true, std::move(service));
  contentView_->setConfiguration(configuration_);
  contentView_->applyConfiguration();
}

void TiloLightPopupViewController::loadView() {
  UIViewController::loadView();
  const auto& root = view();
  root->setBackgroundColor(platform::UIColor::clearColor());
  const auto& background = backgroundView();
  root->addSubview(background);
  NSLayoutConstraint::activateConstraints({
      background->leadingAnchor().constraintEqualToAnchor(root->leadingAnchor()),
      background->trailingAnchor().constraintEqualToAnchor(root->trailingAnchor()),
      background->topAnchor().constraintEqualToAnchor(root->topAnchor()),
      background->bottomAnchor().constraintEqualToAnchor(root->bottomAnchor()),
  });
  contentView_->setTranslatesAutoresizingMaskIntoConstraints(false);
  root->addSubview(contentView_);
  NSLayoutConstraint::activateConstraints({
      contentView_->leadingAnchor().constraintEqualToAnchor(background->leadingAnchor()),
      contentView_->trailingAnchor().constraintEqualToAnchor(background->trailingAnchor()),
      contentView_->topAnchor().constraintEqualToAnchor(background->topAnchor()),
      contentView_->bottomAnchor().constraintEqualToAnchor(background->bottomAnchor()),
  });
  const auto& close = closeButton();
  root->addSubview(close);
  NSLayoutConstraint::activateConstraints({
      close->centerXAnchor().constraintEqualToAnchor(root->centerXAnchor()),
      close->widthAnchor().constraintEqualToConstant(120),
      close->heightAnchor().constraintEqualToConstant(52),
      close->bottomAnchor().constraintEqualToAnchor(root->safeAreaLayoutGuide()->bottomAnchor(),
                                                    -8),
  });
}

void TiloLightPopupViewController::viewDidLoad() {
  UIViewController::viewDidLoad();
  closeButton()->addTarget(
      std::static_pointer_cast<TiloLightPopupViewController>(shared_from_this()),
      &TiloLightPopupViewController::handleCloseButtonTapped,
      platform::UIControlEvents::touchUpInside);
}

const std::shared_ptr<platform::UIView>& TiloLightPopupViewController::backgroundView() {
  if (backgroundView_) return backgroundView_;
  backgroundView_ = platform::UIView::create();
  backgroundView_->setTranslatesAutoresizingMaskIntoConstraints(false);
  backgroundView_->setBackgroundColor(hexColor("#121416").withAlphaComponent(0.3));
  auto blur = platform::UIVisualEffectView::create(platform::UIBlurEffect::effectWithStyle(
      platform::UIBlurEffectStyle::systemUltraThinMaterial));
  blur->setUserInteractionEnabled(false);
  blur->setTranslatesAutoresizingMaskIntoConstraints(false);
  backgroundView_->addSubview(blur);
  NSLayoutConstraint::activateConstraints({
      blur->leadingAnchor().constraintEqualToAnchor(backgroundView_->leadingAnchor()),
      blur->trailingAnchor().constraintEqualToAnchor(backgroundView_->trailingAnchor()),
      blur->topAnchor().constraintEqualToAnchor(backgroundView_->topAnchor()),
      blur->bottomAnchor().constraintEqualToAnchor(backgroundView_->bottomAnchor()),
  });
  return backgroundView_;
}

const std::shared_ptr<platform::UIButton>& TiloLightPopupViewController::closeButton() {
  if (closeButton_) return closeButton_;
  closeButton_ = platform::UIButton::create();
  closeButton_->setTranslatesAutoresizingMaskIntoConstraints(false);
  closeButton_->setAccessibilityIdentifier("lightPopup.close");
  closeButton_->setImage(platform::UIImage::systemImageNamed("xmark"), UIControlState::normal);
  closeButton_->titleLabel()->setFont(
      platform::UIFont::systemFont(17, platform::UIFontWeight::bold));
  closeButton_->setImageEdgeInsets({0, 0, 0, 4});
  closeButton_->setTitleEdgeInsets({0, 4, 0, 0});
  closeButton_->setContentEdgeInsets({0, 8, 0, 8});
  applyCloseButtonConfiguration();
  return closeButton_;
}

void TiloLightPopupViewController::applyCloseButtonConfiguration() {
  const auto& c = *configuration_;
  closeButton_->setTintColor(c.closeButtonTextColor);
  closeButton_->setTitle(c.closeButtonText, UIControlState::normal);
  closeButton_->setTitleColor(c.closeButtonTextColor, UIControlState::normal);
}

void TiloLightPopupViewController::setConfiguration(
    std::shared_ptr<TiloLightPopupConfiguration> configuration) {
  if (!configuration) return;
  configuration_ = std::move(configuration);
  contentView_->setConfiguration(configuration_);
  contentView_->applyConfiguration();
  closeButton();
  applyCloseButtonConfiguration();
}

TiloAdInfo TiloLightPopupViewController::displayAdInfo() const {
  return TiloAdInfo{TiloAdFormat::lightPopup, unit_.unitId, std::nullopt, std::nullopt};
}

void TiloLightPopupViewController::presentationDidComplete() {
  if (auto onShown = lightPopupadListener_->onShown) onShown(displayAdInfo());
  startDismissTimer(dismissDelay);
}

void TiloLightPopupViewController::startDismissTimer(double seconds) {
  if (dismissTimer_) dismissTimer_->invalidate();
  std::weak_ptr<TiloLightPopupViewController> weak =
      std::static_pointer_cast<TiloLightPopupViewController>(shared_from_this());
  dismissTimer_ = platform::Timer::scheduled(seconds, false, [weak] {
    if (auto self = weak.lock()) self->dismissTimerFired();
  });
}

void TiloLightPopupViewController::dismissTimerFired() {
  if (presentedViewController()) {
    startDismissTimer(dismissRetryDelay);
    return;
  }
  close();
}

void TiloLightPopupViewController::handleCloseButtonTapped() {
  close();
}

void TiloLightPopupViewController::close() {
  if (dismissTimer_) dismissTimer_->invalidate();
  dismissTimer_.reset();
  std::weak_ptr<TiloLightPopupViewController> weak =
      std::static_pointer_cast<TiloLightPopupViewController>(shared_from_this());
  // The listener outlives a controller released during the animation, which then
  // reports the dismissal without an ad info.
  platform::postToMain([weak, listener = lightPopupadListener_] {
    auto self = weak.lock();
    if (!self) return;
    self->closing_ = true;
    self->dismissViewController(true, [weak, listener] {
      auto onDismiss = listener->onDismiss;
      if (!onDismiss) return;
      auto controller = weak.lock();
      onDismiss(controller ? std::optional<TiloAdInfo>(controller->displayAdInfo()) : std::nullopt);
    });
    if (!self->isBeingDismissed()) self->closing_ = false;  // refused: nothing to report
  });
}

void TiloLightPopupViewController::viewDidDisappear(bool animated) {
  UIViewController::viewDidDisappear(animated);
  if (!isBeingDismissed() || std::exchange(closing_, false)) return;
  // Not its own close: its window went away. The timer would only find nothing to close.
  if (dismissTimer_) dismissTimer_->invalidate();
  dismissTimer_.reset();
  std::weak_ptr<TiloLightPopupViewController> weak =
      std::static_pointer_cast<TiloLightPopupViewController>(shared_from_this());
  platform::postToMain([weak, listener = lightPopupadListener_] {
    auto onDismiss = listener->onDismiss;
    if (!onDismiss) return;
    auto controller = weak.lock();
    onDismiss(controller ? std::optional<TiloAdInfo>(controller->displayAdInfo()) : std::nullopt);
  });
}

}  // namespace tilo
