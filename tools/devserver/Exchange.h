// The devserver as an OpenRTB 2.6 exchange of house ads: it answers
// POST /openrtb2/auction from the campaigns file with a first-price auction, serves the
// campaigns' pictures and counts the notices and trackers the SDK fires.
//
//   auto exchange = Exchange::create(campaigns, db, dbMutex, [state] { return appInfo(); },
//   &error); exchange->route(server, wrap);      // before the server starts
//   exchange->setBaseUrl("http://127.0.0.1:8080");
//
// The auction: the impression's format is its tagid's unit type in the app info (else
// rewarded for rwdd, interstitial for instl, banner or mrec for a main image of 320 x 50
// or 300 x 250, native otherwise); a campaign bids when it serves that format, has the
// picture the request requires, bids at least the floor, has budget left for one more
// impression and has not reached its frequency cap (impressions per app in the last 24
// hours). The highest bid wins (the first in the file of equal ones) and pays its own
// price. No bidder: 204. A request that is not a bid request: 400 with its reason.
//
// Routes: POST /openrtb2/auction; GET /openrtb2/creatives/<file>; GET
// /openrtb2/notice/{win,bill,imp,click,loss}?auction=...&bid=...&price=...; and for
// tools, GET /dev/auctions?limit=N&before=CURSOR (newest first, at most 100 a page, each
// with its request and the notices it got; "next" pages further back) and
// GET /dev/campaigns (per campaign: auctions it bid in, wins, impressions, clicks and
// spend, in the file's currency).
#pragma once

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Json.h"
#include "tools/devserver/Campaigns.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tilo::devserver {

class Exchange : public std::enable_shared_from_this<Exchange> {
 public:
  static constexpr int kMaxPage = 100;
  static constexpr std::size_t kMaxStoredRequestBytes = 16 * 1024;

  // `db` and `dbMutex` belong to the server and outlive the exchange; `appInfo` gives the
  // app info served now. Null with the reason in `error` when its tables cannot be made.
  static std::shared_ptr<Exchange> create(Campaigns campaigns, sqlite3* db, std::mutex& dbMutex,
                                          std::function<std::string()> appInfo, std::string* error);
  Exchange(Campaigns campaigns, sqlite3* db, std::mutex& dbMutex,
           std::function<std::string()> appInfo);

  // What the server wraps around the routes the SDK calls (its faults and delays).
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
  using Wrap = std::function<Handler(Handler)>;
  void route(httplib::Server& server, const Wrap& wrap);
  // Where the SDK reaches this server: the prefix of picture and notice URLs.
  void setBaseUrl(std::string baseUrl);

  struct Notice {
    std::string auctionId, bidId, kind, price, reason;
    bool operator==(const Notice&) const = default;
  };
  // Every notice received, in order.
  std::vector<Notice> notices() const;
  // The bodies of GET /dev/auctions and GET /dev/campaigns.
  platform::Json auctionsJson(int limit, std::optional<std::int64_t> before) const;
  platform::Json campaignsJson() const;
  // What the auctions won earned, by day (UTC, of the bill notice) and ad unit (the app
  // info's unit of the tagid, else the tagid), newest day first, at most kMaxRevenueRows:
  // {"currency", "rows": [{"day", "adUnitId", "revenue"}]}.
  static constexpr int kMaxRevenueRows = 500;
  platform::Json revenueJson() const;
  // The bid requests received, oldest first, as sent.
  std::vector<platform::Json> requests() const;

 private:
  struct Answer {
    int status = 204;
    std::string body;
  };
  Answer auction(const std::string& body);

  const Campaigns campaigns_;
  sqlite3* const db_;
  std::mutex& dbMutex_;
  const std::function<std::string()> appInfo_;
  mutable std::mutex mutex_;
  std::string baseUrl_;
  std::uint64_t sequence_ = 0;
};

}  // namespace tilo::devserver
