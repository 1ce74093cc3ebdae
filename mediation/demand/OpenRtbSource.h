// Real demand: each load asks an OpenRTB 2.6 exchange (Prebid Server's
// POST /openrtb2/auction, or the devserver's) for one Native 1.2 ad and answers with it.
//
//   OpenRtbSource::shared().load(DemandRequest{"rewarded", unitId, request, std::nullopt},
//   deliver);
//
// One load sends one bid request (BidRequestBuilder) from the main thread, waits at most
// kTmaxMs for the answer, reads it off the main thread (BidResponseDecoder), downloads the
// winning ad's pictures (CreativeImageFetcher) and delivers on the main thread, where the
// win notice fires as the bid is taken. No bid (204, or no seatbid) is a no fill; a
// transport failure keeps its URL-loading code; another status is a network error; an
// answer that cannot be used, or whose pictures cannot, is a mediation error that says
// why. Every exchange lands in the DemandLog.
#pragma once

#include <string>

#include "mediation/demand/BidRequestBuilder.h"
#include "mediation/demand/DemandSource.h"

namespace tilo::mediation::demand {

class OpenRtbSource final : public DemandSource {
 public:
  static constexpr int kTmaxMs = 1500;

  static OpenRtbSource& shared();
  void load(const DemandRequest& request, DemandDelivery deliver) override;

  // What a bid request for `request` says now: the bundle, the key window, the locale,
  // the privacy choices in force. Main thread.
  static BidRequestFacts currentFacts(const DemandRequest& request, const std::string& url);
  // "Tilo/<version> (Linux; <distribution> <version>)".
  static std::string userAgent();
};

}  // namespace tilo::mediation::demand
