#include "mediation/demand/OpenRtbSource.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <variant>

#include "mediation/AdSource.h"
#include "mediation/NSError.h"
#include "mediation/demand/BidCreative.h"
#include "mediation/demand/BidNotices.h"
#include "mediation/demand/BidResponseDecoder.h"
#include "mediation/demand/CreativeImageFetcher.h"
#include "mediation/demand/Demand.h"
#include "mediation/demand/DemandActivity.h"
#include "mediation/demand/DemandLog.h"
#include "platform/Bundle.h"
#include "platform/Device.h"
#include "platform/Environment.h"
#include "platform/HttpClient.h"
#include "platform/Url.h"
#include "platform/ui/UIWindow.h"

#ifndef TILO_VERSION_STRING
#define TILO_VERSION_STRING "0"
#endif

namespace tilo::mediation::demand {
namespace {

std::optional<std::string> infoString(const platform::Bundle& bundle,
                                      std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    if (auto value = bundle.infoValue(key)) {
      if (const std::string* text = value->asString(); text && !text->empty()) return *text;
    }
  }
  return std::nullopt;
}

NSError failure(long code, std::string description) {
  return NSError{kGADErrorDomain, code, std::move(description)};
}

// One load, from the request to the delivery.
class Auction : public std::enable_shared_from_this<Auction> {
 public:
  Auction(DemandRequest request, DemandDelivery deliver)
      : request_(std::move(request)), deliver_(std::move(deliver)) {}

  void start(const std::string& url) {
    DemandActivity::begin();
    if (!platform::isAcceptableServiceUrl(url)) {
      return fail("error", failure(GADErrorInvalidArgument,
                                   "the demand URL is not https://, or http:// to a loopback "
                                   "host: " +
                                       url));
    }
    const BidRequestFacts facts = OpenRtbSource::currentFacts(request_, url);
    expected_ = BidExpectation{facts.requestId,
                               NativeRequestShape::forFormat(request_.format, request_.adSize)};
    platform::HttpRequest http;
    http.method = "POST";
    http.url = url;
    http.headers = {{"Content-Type", "application/json"}, {"x-openrtb-version", "2.6"}};
    http.body = BidRequestBuilder::build(facts);
    http.timeoutSeconds = facts.tmaxMs / 1000.0;
    http.maxResponseBytes = BidResponseDecoder::kMaxBodyBytes;
    record_.requestId = facts.requestId;
    record_.format = request_.format;
    record_.adUnitId = request_.adUnitId;
    std::vector<std::string> secrets;
    if (facts.privacy.gdprConsentString) secrets.push_back(*facts.privacy.gdprConsentString);
    if (facts.privacy.usPrivacyString) secrets.push_back(*facts.privacy.usPrivacyString);
    record_.request = DemandLog::masked(http.body, secrets);
    startedAt_ = platform::Environment::current().clock().uptime();
    platform::HttpClient::shared()->send(
        std::move(http), [self = shared_from_this()](platform::HttpResult result) {
          platform::postBackground(
              [self, result = std::move(result)]() mutable { self->answered(std::move(result)); });
        });
  }

 private:
  void answered(platform::HttpResult result) {
    latency_ = std::max(0.0, platform::Environment::current().clock().uptime() - startedAt_);
    record_.latencyMs = latency_ * 1000;
    if (const auto* error = std::get_if<platform::UrlError>(&result)) {
      return fail("error", NSError{kNSURLErrorDomain, error->code, error->localizedDescription});
    }
    const auto& response = std::get<platform::HttpResponse>(result);
    record_.status = response.status;
    if (response.status == 204 || (response.status == 200 && response.body.empty())) {
      return noFill();
    }
    if (response.status != 200) {
      return fail("error", failure(GADErrorNetworkError, "the exchange answered HTTP " +
                                                             std::to_string(response.status)));
    }
    BidDecoding decoded = BidResponseDecoder::decode(response.body, expected_);
    if (decoded.outcome == BidDecoding::Outcome::noBid) return noFill();
    if (decoded.outcome == BidDecoding::Outcome::invalid) return invalid(decoded.problem);
    bid_ = std::move(decoded.bid);
    record_.seat = bid_->seat;
    record_.price = bid_->price.description();
    record_.currency = bid_->currency;
    record_.creativeId = bid_->creativeId;
    record_.bidId = bid_->bidId;
    fetchPictures();
  }

  void fetchPictures() {
    const NativeResponse& ad = bid_->native;
    pending_ = (ad.mainImage ? 1 : 0) + (ad.icon ? 1 : 0);
    if (pending_ == 0) return deliverBid();
    auto fetch = [this](const NativeImage& image,
                        std::shared_ptr<platform::UIImage> BidPictures::*slot) {
      CreativeImageFetcher::fetch(
          image.url, [self = shared_from_this(), slot](std::shared_ptr<platform::UIImage> picture,
                                                       std::string problem) {
            // Completions are background tasks: one at a time per environment queue is not
            // promised, so the count is guarded.
            std::lock_guard lock(self->mutex_);
            if (picture) {
              self->pictures_.*slot = std::move(picture);
            } else if (self->pictureProblem_.empty()) {
              self->pictureProblem_ = std::move(problem);
            }
            if (--self->pending_ > 0) return;
            if (!self->pictureProblem_.empty()) return self->invalid(self->pictureProblem_);
            self->deliverBid();
          });
    };
    if (ad.mainImage) fetch(*ad.mainImage, &BidPictures::mainImage);
    if (ad.icon) fetch(*ad.icon, &BidPictures::icon);
  }

  void deliverBid() {
    auto notices = std::make_shared<BidNotices>(*bid_, expected_.requestId);
    record_.outcome = "bid";
    finish(BidCreative::script(*bid_, pictures_, request_.format, latency_, std::move(notices)));
  }

  void noFill() {
    record_.outcome = "no bid";
    AdScript script;
    script.fill = false;
    script.error = failure(GADErrorNoFill, "Request Error: No ad to show.");
    finish(std::move(script));
  }

  void invalid(const std::string& problem) {
    fail("invalid", failure(GADErrorMediationDataError, "invalid bid response: " + problem));
  }

  void fail(const char* outcome, NSError error) {
    record_.outcome = outcome;
    record_.detail = error.localizedDescription;
    AdScript script;
    script.fill = false;
    script.error = std::move(error);
    finish(std::move(script));
  }

  void finish(AdScript script) {
    record_.at = platform::Environment::current().clock().now();
    DemandLog::shared().add(record_);
    platform::postToMain([deliver = std::move(deliver_), script = std::move(script)] {
      // The bid is taken as it reaches the platform's ad.
      if (script.notices) script.notices->taken();
      if (deliver) deliver(script);
      DemandActivity::end();
    });
  }

  DemandRequest request_;
  DemandDelivery deliver_;
  BidExpectation expected_;
  DemandRecord record_;
  double startedAt_ = 0, latency_ = 0;
  std::optional<WinningBid> bid_;
  std::mutex mutex_;
  int pending_ = 0;
  BidPictures pictures_;
  std::string pictureProblem_;
};

}  // namespace

OpenRtbSource& OpenRtbSource::shared() {
  static auto* const source = new OpenRtbSource();  // kept for the process
  return *source;
}

void OpenRtbSource::load(const DemandRequest& request, DemandDelivery deliver) {
  const auto url = Demand::demandUrl();
  std::make_shared<Auction>(request, std::move(deliver))->start(url.value_or(""));
}

std::string OpenRtbSource::userAgent() {
  static const std::string agent = std::string("Tilo/") + TILO_VERSION_STRING + " (Linux; " +
                                   platform::systemName() + " " + platform::systemVersion() + ")";
  return agent;
}

BidRequestFacts OpenRtbSource::currentFacts(const DemandRequest& request, const std::string& url) {
  BidRequestFacts facts;
  facts.requestId = platform::makeUUIDString(true);
  facts.adUnitId = request.adUnitId;
  facts.format = request.format;
  facts.adSize = request.adSize;
  const auto parsed = platform::Url::parse(url);
  facts.secure = !parsed || parsed->scheme == "https";
  facts.tmaxMs = kTmaxMs;
  const auto bundle = platform::Bundle::main();
  facts.bundle = bundle->bundleIdentifier();
  facts.appName = infoString(*bundle, {"CFBundleDisplayName", "CFBundleName"});
  facts.appVersion = infoString(*bundle, {"CFBundleShortVersionString", "CFBundleVersion"});
  facts.storeUrl = Demand::storeUrl();
  facts.userAgent = userAgent();
  facts.osVersion = platform::systemVersion();
  if (const auto window = platform::UIWindow::keyWindow()) {
    const double scale = window->scale();
    facts.screenWidth = static_cast<int>(std::lround(window->size().width * scale));
    facts.screenHeight = static_cast<int>(std::lround(window->size().height * scale));
    facts.pixelRatio = scale;
  }
  facts.language = platform::localeLanguageCode();
  facts.privacy = PrivacySignals::shared().current();
  if (!facts.privacy.trackingAuthorized) {
    // Before any network heard the host's answer: the platform's own status.
    facts.privacy.trackingAuthorized = platform::trackingAuthorizationStatus() ==
                                       platform::TrackingAuthorizationStatus::authorized;
  }
  return facts;
}

}  // namespace tilo::mediation::demand
