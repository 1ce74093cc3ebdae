// The devserver's dashboard: a page at "/" (HTML, CSS and a little JavaScript compiled into
// the tool, no build step, nothing from elsewhere) that polls JSON endpoints and shows what
// the server saw, updating without a reload.
//
//   auto dashboard = std::make_shared<Dashboard>(db, dbMutex, state, exchange);  // or null
//   Dashboard::addRoutes(server, dashboard);       // GET /, its files and /dev/api/*
//   dashboard->recordRequest(req, res);            // from the server's logger, per answer
//
// Endpoints (GET, no app key, never faulted or delayed, like /dev/events):
//   /dev/api/requests   requests by endpoint and status, and the latest ones
//   /dev/api/init       the latest answers of /sdk/init
//   /dev/api/events     stored events, newest first, filtered by ?type= (wire name),
//                       ?unit= (payload adUnitId) and ?session=, paged by ?limit= (at most
//                       kMaxPageSize, whatever is asked) and ?before= (the page's nextBefore)
//   /dev/api/crashes    the crash reports ("marker_checkpoint" events), paged the same way
//   /dev/api/revenue    impressions and clicks by ad unit and day, with the revenue of the
//                       auctions won (with --campaigns; null without)
//   /dev/api/campaigns  with --campaigns, per campaign: auctions, wins, impressions, clicks
//                       and spend (at most kMaxPageSize campaigns), and the latest auctions
//   /dev/api/filters    the types, units and sessions seen, for the filters
//
// Everything it keeps is bounded: the latest kRecentRequests requests, counts for at most
// kMaxEndpoints method-and-path pairs (the rest count under "other"), texts cut to
// kMaxTextBytes. The page writes every recorded value with textContent, never as HTML,
// and the server forbids inline scripts (Content-Security-Policy), so a recorded value
// can only ever show as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Json.h"
#include "tools/devserver/Exchange.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

struct sqlite3;

namespace tilo::devserver {

// A page of stored events as the dashboard asks for it.
struct EventQuery {
  std::optional<std::string> type;
  std::optional<std::string> unit;
  std::optional<std::string> session;
  std::size_t limit = 50;
  std::optional<std::int64_t> before;  // rowid: events stored before it
};

class Dashboard {
 public:
  static constexpr std::size_t kMaxPageSize = 200;
  static constexpr std::size_t kRecentRequests = 1000;
  static constexpr std::size_t kMaxEndpoints = 32;
  static constexpr std::size_t kMaxTextBytes = 256;

  static constexpr int kLatestAuctions = 10;

  // `db` is guarded by `dbMutex`; `owner` keeps both alive as long as the dashboard, which
  // the server's routes hold. `exchange` is null without campaigns.
  Dashboard(sqlite3* db, std::mutex& dbMutex, std::shared_ptr<void> owner,
            std::shared_ptr<const Exchange> exchange = nullptr);

  static void addRoutes(httplib::Server& server, const std::shared_ptr<Dashboard>& dashboard);

  // Records an answered request, except the dashboard's own and /dev/*.
  void recordRequest(const httplib::Request& req, const httplib::Response& res);

  platform::Json requests() const;
  platform::Json initAnswers() const;
  // {"events": [...], "total": N matching, "limit": L applied, "nextBefore": rowid or null}
  platform::Json events(const EventQuery& query) const;
  platform::Json revenue() const;
  // {"configured": false} without campaigns.
  platform::Json campaigns() const;
  platform::Json filters() const;

  // ?limit=, ?before= and the filters of a request; bad numbers fall back to the defaults.
  static EventQuery queryOf(const httplib::Request& req);

 private:
  struct Seen {
    double at = 0;
    std::string method, path;
    int status = 0;
    std::int64_t ms = 0;
    std::string sdkVersion;
    std::string reason;
    std::optional<std::size_t> adUnits;  // in an /sdk/init answer that decodes
  };

  sqlite3* db_;
  std::mutex& dbMutex_;
  std::shared_ptr<void> owner_;
  std::shared_ptr<const Exchange> exchange_;
  mutable std::mutex mutex_;
  std::deque<Seen> recent_;
  std::map<std::pair<std::string, int>, std::uint64_t> counts_;  // endpoint and status
};

}  // namespace tilo::devserver
