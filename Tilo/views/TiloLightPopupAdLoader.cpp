#include "Tilo/views/TiloLightPopupAdLoader.h"

#include "Tilo/backend/SharedService.h"
#include "Tilo/base/MainThreadCheck.h"
#include "Tilo/telemetry/AdCallbackMarker.h"
#include "platform/Environment.h"

namespace tilo {

namespace {

// The card reports as a native ad; the host hears of a light popup.
std::optional<TiloAdInfo> relabelled(const std::optional<TiloAdInfo>& info) {
  if (!info) return std::nullopt;
  return TiloAdInfo{TiloAdFormat::lightPopup, info->adUnitId, info->latency, std::nullopt};
}

}  // namespace

std::shared_ptr<TiloLightPopupAdLoader> TiloLightPopupAdLoader::create(TiloAdUnit unit) {
  return create(std::move(unit), sharedService());
}

std::shared_ptr<TiloLightPopupAdLoader> TiloLightPopupAdLoader::create(
    TiloAdUnit unit, std::shared_ptr<TiloServiceProtocol> service) {
  return std::make_shared<TiloLightPopupAdLoader>(std::move(unit), std::move(service));
}

TiloLightPopupAdLoader::TiloLightPopupAdLoader(TiloAdUnit unit,
                                               std::shared_ptr<TiloServiceProtocol> service)
    : unit_(std::move(unit)),
      listener_(TiloAdListener<TiloLightPopupAd>::create()),
      service_(std::move(service)) {}

void TiloLightPopupAdLoader::loadAd() {
  requireMainThread();
  std::weak_ptr<TiloLightPopupAdLoader> weak = weak_from_this();
  platform::postBackground([weak] {
    platform::postToMain([weak] {
      if (auto self = weak.lock()) self->startLoad();
    });
  });
}

void TiloLightPopupAdLoader::startLoad() {
  auto controller = TiloLightPopupViewController::create(unit_, service_);
  loading_.push_back(controller);
  std::weak_ptr<TiloLightPopupAdLoader> weakLoader = weak_from_this();
  std::weak_ptr<TiloLightPopupViewController> weakController = controller;
  const auto& content = controller->contentView();
  const auto& events = content->listener();
  events->onAdLoadSuccess = [weakLoader, weakController](std::shared_ptr<TiloAdUnit>,
                                                         std::optional<TiloAdInfo> info) {
    auto controller = weakController.lock();
    if (!controller) return;
    auto self = weakLoader.lock();
    if (self) self->loadEnded(controller);
    auto ad = TiloLightPopupAd::create(controller);
    withAdCallbackMarker("onAdLoadSuccess", info, [&] {
      if (!self) return;
      if (auto closure = self->listener_->onAdLoadSuccess) closure(ad, relabelled(info));
    });
  };
  events->onAdLoadFail = [weakLoader, weakController](const TiloError& error) {
    auto self = weakLoader.lock();
    auto controller = weakController.lock();  // kept until the host has heard of it
    if (self) self->loadEnded(controller);
    withAdCallbackMarker("onAdLoadFail", std::nullopt, [&] {
      if (!self) return;
      if (auto closure = self->listener_->onAdLoadFail) closure(error);
    });
  };
  events->onAdClicked = [weakLoader](std::optional<TiloAdInfo> info) {
    withAdCallbackMarker("onAdClicked", info, [&] {
      auto self = weakLoader.lock();
      if (!self) return;
      if (auto closure = self->listener_->onAdClicked) closure(relabelled(info));
    });
  };
  events->onAdImpression = [weakLoader](std::optional<TiloAdInfo> info) {
    withAdCallbackMarker("onAdImpression", info, [&] {
      auto self = weakLoader.lock();
      if (!self) return;
      if (auto closure = self->listener_->onAdImpression) closure(relabelled(info));
    });
  };
  events->onAdInternalEvent = [weakLoader](std::optional<TiloAdInfo> info,
                                           const TiloRevenueInfo& revenue) {
    platform::postToMain([weakLoader, info = relabelled(info), revenue] {
      auto self = weakLoader.lock();
      if (self && self->plugin_) sendPluginEvent(info, revenue, self->plugin_);
    });
  };
  if (plugin_) content->registerPlugin(plugin_);
  content->loadAd();
}

void TiloLightPopupAdLoader::loadEnded(
    const std::shared_ptr<TiloLightPopupViewController>& controller) {
  std::erase(loading_, controller);
}

}  // namespace tilo
