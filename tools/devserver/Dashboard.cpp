#include "tools/devserver/Dashboard.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <map>
#include <string_view>

#include "tools/devserver/ConnectionServer.h"
#include "tools/devserver/DashboardAssets.h"

namespace tilo::devserver {
namespace {

using platform::Json;

std::string cut(std::string_view text) {
  return std::string(text.substr(0, Dashboard::kMaxTextBytes));
}

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// One prepared statement, its parameters bound by position from 1.
class Query {
 public:
  Query(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Query() { sqlite3_finalize(stmt_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& bind(int index, const std::optional<std::string>& text) {
    if (!stmt_) return *this;
    if (text) {
      sqlite3_bind_text(stmt_, index, text->data(), static_cast<int>(text->size()),
                        SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(stmt_, index);
    }
    return *this;
  }
  Query& bind(int index, std::optional<std::int64_t> value) {
    if (!stmt_) return *this;
    value ? sqlite3_bind_int64(stmt_, index, *value) : sqlite3_bind_null(stmt_, index);
    return *this;
  }
  bool next() { return stmt_ && sqlite3_step(stmt_) == SQLITE_ROW; }
  std::string text(int column) const {
    const auto* data = sqlite3_column_text(stmt_, column);
    if (!data) return {};
    return std::string(reinterpret_cast<const char*>(data), sqlite3_column_bytes(stmt_, column));
  }
  Json textOrNull(int column) const {
    if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return nullptr;
    return text(column);
  }
  std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
  double real(int column) const { return sqlite3_column_double(stmt_, column); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

Json parsedOrText(const std::string& text) {
  try {
    return platform::parseJsonKeepingOrder(text);
  } catch (const platform::DecodingError&) {
    return text;
  }
}

// The filters shared by the count and the page: ?1 type, ?2 unit, ?3 session.
constexpr const char* kEventFilter =
    " WHERE (?1 IS NULL OR event_type = ?1)"
    " AND (?2 IS NULL OR (json_valid(payload) AND json_extract(payload, '$.adUnitId') = ?2))"
    " AND (?3 IS NULL OR session_id = ?3)";

std::optional<std::string> parameter(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) return std::nullopt;
  auto value = req.get_param_value(name);
  if (value.empty()) return std::nullopt;
  return cut(value);
}

template <class Number>
std::optional<Number> number(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  Number value{};
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc{} || end != text->data() + text->size()) return std::nullopt;
  return value;
}

void replyJson(httplib::Response& res, const Json& body) {
  res.status = 200;
  res.set_header("Cache-Control", "no-store");
  res.set_content(platform::dumpCompact(body), "application/json");
}

const char* contentType(std::string_view name) {
  if (name.ends_with(".html")) return "text/html; charset=utf-8";
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
  return "text/plain; charset=utf-8";
}

bool isDashboardPath(const std::string& path) {
  if (path == "/" || path.rfind("/dev/", 0) == 0) return true;
  for (std::size_t i = 0; i < kEmbeddedTextCount; ++i) {
    if (path == std::string("/") + kEmbeddedTexts[i].name) return true;
  }
  return false;
}

}  // namespace

Dashboard::Dashboard(sqlite3* db, std::mutex& dbMutex, std::shared_ptr<void> owner,
                     std::shared_ptr<const Exchange> exchange)
    : db_(db), dbMutex_(dbMutex), owner_(std::move(owner)), exchange_(std::move(exchange)) {}

void Dashboard::recordRequest(const httplib::Request& req, const httplib::Response& res) {
  if (isDashboardPath(req.path)) return;
  Seen seen;
  seen.at = nowSeconds();
  seen.method = cut(req.method);
  seen.path = cut(req.path);
  seen.status = res.status;
  seen.ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  ConnectionServer::requestStart())
                .count();
  seen.sdkVersion = cut(req.get_header_value("Sdk-Version"));
  if (res.status >= 400 && !res.body.empty()) {
    try {
      const auto body = platform::parseJson(res.body);
      if (body.is_object() && body.contains("error") && body["error"].is_string()) {
        seen.reason = cut(body["error"].get<std::string>());
      }
    } catch (const platform::DecodingError&) {
    }
  }
  if (req.path == "/sdk/init" && res.status == 200) {
    try {
      const auto body = platform::parseJson(res.body);
      if (body.is_object() && body.contains("adUnits") && body["adUnits"].is_array()) {
        seen.adUnits = body["adUnits"].size();
      }
    } catch (const platform::DecodingError&) {
    }
  }
  std::lock_guard lock(mutex_);
  std::pair<std::string, int> key{seen.method + " " + seen.path, seen.status};
  if (!counts_.count(key) && counts_.size() >= kMaxEndpoints) key.first = "other";
  ++counts_[key];
  recent_.push_back(std::move(seen));
  if (recent_.size() > kRecentRequests) recent_.pop_front();
}

Json Dashboard::requests() const {
  std::lock_guard lock(mutex_);
  Json byEndpoint = Json::array();
  for (const auto& [key, count] : counts_) {
    byEndpoint.push_back({{"endpoint", key.first}, {"status", key.second}, {"count", count}});
  }
  Json latest = Json::array();
  for (auto seen = recent_.rbegin(); seen != recent_.rend() && latest.size() < 50; ++seen) {
    latest.push_back({{"at", seen->at},
                      {"method", seen->method},
                      {"path", seen->path},
                      {"status", seen->status},
                      {"ms", seen->ms},
                      {"sdkVersion", seen->sdkVersion},
                      {"reason", seen->reason}});
  }
  return {{"byEndpoint", std::move(byEndpoint)}, {"latest", std::move(latest)}};
}

Json Dashboard::initAnswers() const {
  std::lock_guard lock(mutex_);
  Json answers = Json::array();
  for (auto seen = recent_.rbegin(); seen != recent_.rend() && answers.size() < 50; ++seen) {
    if (seen->path != "/sdk/init") continue;
    answers.push_back({{"at", seen->at},
                       {"status", seen->status},
                       {"ms", seen->ms},
                       {"sdkVersion", seen->sdkVersion},
                       {"adUnits", seen->adUnits ? Json(*seen->adUnits) : Json(nullptr)},
                       {"reason", seen->reason}});
  }
  return {{"answers", std::move(answers)}};
}

Json Dashboard::events(const EventQuery& query) const {
  const auto limit =
      static_cast<std::int64_t>(std::clamp<std::size_t>(query.limit, 1, kMaxPageSize));
  Json events = Json::array();
  std::int64_t total = 0;
  std::optional<std::int64_t> lastRow;
  {
    std::lock_guard lock(dbMutex_);
    Query count(db_, (std::string("SELECT COUNT(*) FROM events") + kEventFilter).c_str());
    count.bind(1, query.type).bind(2, query.unit).bind(3, query.session);
    if (count.next()) total = count.integer(0);
    Query page(db_, (std::string("SELECT rowid, event_id, event_type, created_at, session_id, "
                                 "payload, received_at FROM events") +
                     kEventFilter + " AND (?4 IS NULL OR rowid < ?4) ORDER BY rowid DESC LIMIT ?5")
                        .c_str());
    page.bind(1, query.type).bind(2, query.unit).bind(3, query.session);
    page.bind(4, query.before).bind(5, std::optional<std::int64_t>(limit));
    while (page.next()) {
      lastRow = page.integer(0);
      events.push_back({{"eventId", page.text(1)},
                        {"eventType", page.text(2)},
                        {"createdAt", page.integer(3)},
                        {"sessionId", page.text(4)},
                        {"payload", parsedOrText(page.text(5))},
                        {"receivedAt", page.real(6)}});
    }
  }
  const bool more = static_cast<std::int64_t>(events.size()) == limit && lastRow;
  return {{"events", std::move(events)},
          {"total", total},
          {"limit", limit},
          {"nextBefore", more ? Json(*lastRow) : Json(nullptr)}};
}

Json Dashboard::revenue() const {
  // Earned by day and unit, from the auctions won (the exchange takes the same lock).
  std::map<std::pair<std::string, std::string>, double> earned;
  Json result = Json::object();
  if (exchange_) {
    const Json won = exchange_->revenueJson();
    result["currency"] = won["currency"];
    for (const auto& row : won["rows"]) {
      earned[{row["day"].get<std::string>(), row["adUnitId"].get<std::string>()}] =
          row["revenue"].get<double>();
    }
  }
  Json rows = Json::array();
  std::lock_guard lock(dbMutex_);
  Query query(db_,
              "SELECT date(created_at / 1000, 'unixepoch') AS day,"
              " CASE WHEN json_valid(payload) THEN json_extract(payload, '$.adUnitId') END AS unit,"
              " SUM(event_type = 'ad_request'), SUM(event_type = 'ad_response'),"
              " SUM(event_type = 'ad_impression'), SUM(event_type = 'ad_click') FROM events"
              " WHERE event_type IN ('ad_request', 'ad_response', 'ad_impression', 'ad_click')"
              " GROUP BY day, unit ORDER BY day DESC, unit LIMIT 500");
  while (query.next()) {
    Json row{{"day", query.textOrNull(0)},
             {"adUnitId", query.textOrNull(1)},
             {"requests", query.integer(2)},
             {"fills", query.integer(3)},
             {"impressions", query.integer(4)},
             {"clicks", query.integer(5)},
             // The SDK's analytics carry no price; revenue comes with auctions.
             {"revenue", exchange_ ? Json(0.0) : Json(nullptr)}};
    const auto key = std::pair(query.text(0), query.text(1));
    if (auto found = earned.find(key); found != earned.end()) {
      row["revenue"] = found->second;
      earned.erase(found);
    }
    rows.push_back(std::move(row));
  }
  // Billed on a day the SDK's clock counted as another: shown on their own.
  for (const auto& [key, value] : earned) {
    rows.push_back({{"day", key.first},
                    {"adUnitId", key.second},
                    {"requests", nullptr},
                    {"fills", nullptr},
                    {"impressions", nullptr},
                    {"clicks", nullptr},
                    {"revenue", value}});
  }
  result["rows"] = std::move(rows);
  return result;
}

Json Dashboard::campaigns() const {
  if (!exchange_) return {{"configured", false}};
  Json all = exchange_->campaignsJson();
  const std::size_t total = all["campaigns"].size();
  if (total > kMaxPageSize) {
    auto& list = all["campaigns"];
    list.erase(list.begin() + kMaxPageSize, list.end());
  }
  all["total"] = total;  // after: a new key may move the others
  Json latest = Json::array();
  const Json page = exchange_->auctionsJson(kLatestAuctions, std::nullopt);
  for (const auto& auction : page["auctions"]) {
    Json item = auction;
    item.erase("request");  // kept in /dev/auctions; too long for a table cell
    latest.push_back(std::move(item));
  }
  all["configured"] = true;
  all["latest"] = std::move(latest);
  return all;
}

Json Dashboard::filters() const {
  Json result = Json::object();
  std::lock_guard lock(dbMutex_);
  const std::pair<const char*, const char*> lists[] = {
      {"types", "SELECT DISTINCT event_type FROM events ORDER BY 1 LIMIT 50"},
      {"units",
       "SELECT DISTINCT json_extract(payload, '$.adUnitId') FROM events WHERE json_valid(payload)"
       " AND json_extract(payload, '$.adUnitId') IS NOT NULL ORDER BY 1 LIMIT 200"},
      {"sessions",
       "SELECT session_id FROM events GROUP BY session_id ORDER BY MAX(rowid) DESC LIMIT 50"},
  };
  for (const auto& [name, sql] : lists) {
    Json values = Json::array();
    Query query(db_, sql);
    while (query.next()) values.push_back(cut(query.text(0)));
    result[name] = std::move(values);
  }
  return result;
}

EventQuery Dashboard::queryOf(const httplib::Request& req) {
  EventQuery query;
  query.type = parameter(req, "type");
  query.unit = parameter(req, "unit");
  query.session = parameter(req, "session");
  if (auto limit = number<std::size_t>(parameter(req, "limit"))) query.limit = *limit;
  query.before = number<std::int64_t>(parameter(req, "before"));
  return query;
}

void Dashboard::addRoutes(httplib::Server& server, const std::shared_ptr<Dashboard>& dashboard) {
  for (std::size_t i = 0; i < kEmbeddedTextCount; ++i) {
    const EmbeddedText file = kEmbeddedTexts[i];
    const std::string path =
        std::string_view(file.name) == "dashboard.html" ? "/" : std::string("/") + file.name;
    server.Get(path, [file](const httplib::Request&, httplib::Response& res) {
      // Only the tool's own files run: no inline script, nothing from elsewhere.
      res.set_header("Content-Security-Policy",
                     "default-src 'self'; img-src 'self' data:; object-src 'none'; "
                     "base-uri 'none'; frame-ancestors 'none'");
      res.set_header("X-Content-Type-Options", "nosniff");
      res.set_content(std::string(file.text), contentType(file.name));
    });
  }
  auto route = [&server, dashboard](const char* path, auto answer) {
    server.Get(path, [dashboard, answer](const httplib::Request& req, httplib::Response& res) {
      replyJson(res, answer(*dashboard, req));
    });
  };
  route("/dev/api/requests", [](const Dashboard& d, const auto&) { return d.requests(); });
  route("/dev/api/init", [](const Dashboard& d, const auto&) { return d.initAnswers(); });
  route("/dev/api/events",
        [](const Dashboard& d, const auto& req) { return d.events(queryOf(req)); });
  route("/dev/api/crashes", [](const Dashboard& d, const auto& req) {
    auto query = queryOf(req);
    query.type = "marker_checkpoint";
    return d.events(query);
  });
  route("/dev/api/revenue", [](const Dashboard& d, const auto&) { return d.revenue(); });
  route("/dev/api/campaigns", [](const Dashboard& d, const auto&) { return d.campaigns(); });
  route("/dev/api/filters", [](const Dashboard& d, const auto&) { return d.filters(); });
}

}  // namespace tilo::devserver
