// Loads native ads for one ad unit and hands them to its delegate.
//
//   auto options = std::make_shared<GADNativeAdViewAdOptions>();
//   options->preferredAdChoicesPosition = GADAdChoicesPosition::bottomRightCorner;
//   auto loader = GADAdLoader::create(unitId, nullptr, {GADAdLoaderAdType::native}, {options});
//   loader->setDelegate(self);   // held weakly
//   loader->loadRequest(GADRequest::create());
//
// Scripted behaviour (AdSource): after the unit's "delayMs" the delegate hears
// adLoader:didReceiveNativeAd: with the script's "native" assets, or
// adLoader:didFailToReceiveAdWithError: with its "error"; then adLoaderDidFinishLoading.
// Each request answers once; a pending answer holds the loader weakly.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mediation/GADNativeAd.h"
#include "mediation/GADRequest.h"
#include "mediation/NSError.h"
#include "platform/ui/UIViewController.h"

namespace tilo::mediation {

class GADAdLoader;

enum class GADAdLoaderAdType { native };  // "GADAdLoaderAdTypeNative"

// Raw values as the platform's.
enum class GADAdChoicesPosition : int {
  topRightCorner = 0,
  topLeftCorner = 1,
  bottomRightCorner = 2,
  bottomLeftCorner = 3,
};

class GADAdLoaderOptions {
 public:
  virtual ~GADAdLoaderOptions() = default;
};

class GADNativeAdViewAdOptions : public GADAdLoaderOptions {
 public:
  GADAdChoicesPosition preferredAdChoicesPosition = GADAdChoicesPosition::topRightCorner;
};

class GADAdLoaderDelegate {
 public:
  virtual ~GADAdLoaderDelegate() = default;
  virtual void adLoaderDidReceiveNativeAd(GADAdLoader&, std::shared_ptr<GADNativeAd>) {}
  virtual void adLoaderDidFailToReceiveAdWithError(GADAdLoader&, const NSError&) {}
  virtual void adLoaderDidFinishLoading(GADAdLoader&) {}
};

class GADAdLoader : public std::enable_shared_from_this<GADAdLoader> {
 public:
  static std::shared_ptr<GADAdLoader> create(
      std::string adUnitId, const std::shared_ptr<platform::UIViewController>& rootViewController,
      std::vector<GADAdLoaderAdType> adTypes,
      std::vector<std::shared_ptr<GADAdLoaderOptions>> options);
  GADAdLoader(std::string adUnitId,
              const std::shared_ptr<platform::UIViewController>& rootViewController,
              std::vector<GADAdLoaderAdType> adTypes,
              std::vector<std::shared_ptr<GADAdLoaderOptions>> options);

  const std::string& adUnitID() const { return adUnitId_; }
  const std::vector<GADAdLoaderAdType>& adTypes() const { return adTypes_; }
  const std::vector<std::shared_ptr<GADAdLoaderOptions>>& options() const { return options_; }
  std::shared_ptr<platform::UIViewController> rootViewController() const {
    return rootViewController_.lock();
  }
  void setDelegate(std::weak_ptr<GADAdLoaderDelegate> delegate) { delegate_ = std::move(delegate); }
  bool isLoading() const { return pending_ > 0; }

  void loadRequest(const std::shared_ptr<GADRequest>& request);

 private:
  void deliver(const AdScript& script);

  std::string adUnitId_;
  std::weak_ptr<platform::UIViewController> rootViewController_;
  std::vector<GADAdLoaderAdType> adTypes_;
  std::vector<std::shared_ptr<GADAdLoaderOptions>> options_;
  std::weak_ptr<GADAdLoaderDelegate> delegate_;
  int pending_ = 0;
};

}  // namespace tilo::mediation
