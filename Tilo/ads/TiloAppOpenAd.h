// A loaded app-open ad, delivered by TiloAppOpenAdLoader.
//
//   ad->appOpenAdListener()->onDismiss = [](std::optional<TiloAdInfo>) { continueLaunch(); };
//   ad->show();
#pragma once

#include <memory>

#include "Tilo/ads/AdPresentable.h"
#include "Tilo/ads/TiloAdListener.h"
#include "Tilo/ads/TiloDisplayListener.h"
#include "Tilo/base/TiloExport.h"

namespace tilo {

class TILO_EXPORT TiloAppOpenAd final : public HasAdListener<TiloAppOpenAd> {
 public:
  using Listener = TiloAdListener<TiloAppOpenAd>;

  // Made by the loader with the presenter and the presenter's own listener.
  static std::shared_ptr<TiloAppOpenAd> create(std::shared_ptr<AdPresentable> adPresenter,
                                               std::shared_ptr<Listener> listener);

  const std::shared_ptr<AdPresentable>& adPresenter() const { return adPresenter_; }
  const std::shared_ptr<Listener>& listener() const override { return listener_; }
  const std::shared_ptr<TiloAppOpenListener>& appOpenAdListener() const {
    return appOpenAdListener_;
  }
  // Warning: stores the object here only; display callbacks keep going to the listener
  // object this ad was created with.
  void setAppOpenAdListener(std::shared_ptr<TiloAppOpenListener> listener) {
    appOpenAdListener_ = std::move(listener);
  }
  TiloAdInfo adInfo() const;
  // Asks the platform, without a view controller.
  bool isReady() const;
  // Presents without a view controller; a refused or repeated show is silently ignored.
  void show();

  // For create() only: the passkey keeps hosts from making ads themselves.
  class Passkey {
    friend class TiloAppOpenAd;
    explicit Passkey() = default;
  };
  TiloAppOpenAd(Passkey, std::shared_ptr<AdPresentable> adPresenter,
                std::shared_ptr<Listener> listener);

 private:
  const std::shared_ptr<AdPresentable> adPresenter_;
  const std::shared_ptr<Listener> listener_;
  std::shared_ptr<TiloAppOpenListener> appOpenAdListener_ = TiloAppOpenListener::create();
};

}  // namespace tilo
