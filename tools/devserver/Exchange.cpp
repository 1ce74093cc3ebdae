#include "tools/devserver/Exchange.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <optional>

#include "tools/devserver/Statement.h"

namespace tilo::devserver {
namespace {

using platform::Json;
using platform::ParsedJson;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS auctions(id TEXT, received_at REAL, tagid TEXT, format TEXT, "
    "app TEXT, request TEXT, outcome TEXT, campaign TEXT, bid_id TEXT, price REAL, reason TEXT);"
    "CREATE TABLE IF NOT EXISTS bids(auction_row INTEGER, campaign TEXT, price REAL);"
    "CREATE TABLE IF NOT EXISTS notices(auction_row INTEGER, auction_id TEXT, bid_id TEXT, "
    "kind TEXT, price TEXT, reason TEXT, received_at REAL)";

constexpr double kDay = 86'400;

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// Why a request is not a bid request this exchange answers.
struct BadRequest {
  std::string reason;
};

const ParsedJson& field(const ParsedJson& object, const char* key, const char* what) {
  if (!object.is_object() || !object.contains(key))
    throw BadRequest{std::string(what) + " is missing"};
  return object[key];
}

std::string textField(const ParsedJson& object, const char* key, const char* what) {
  const ParsedJson& value = field(object, key, what);
  if (!value.is_string()) throw BadRequest{std::string(what) + " is not a string"};
  return value.get<std::string>();
}

int intOf(const ParsedJson& object, const char* key) {
  if (!object.is_object() || !object.contains(key) || !object[key].is_number_integer()) return 0;
  return static_cast<int>(
      std::clamp<std::int64_t>(object[key].get<std::int64_t>(), -100'000, 100'000));
}

// One asset of the Native request, as the answer must name it.
struct AskedAsset {
  int id = 0;
  bool required = false;
  std::string kind;  // "title", "img", "data"
  int type = 0;      // img: 1 icon, 3 main; data: 1 sponsored, 2 description, 12 call to action
  int width = 0, height = 0;
};

std::vector<AskedAsset> askedAssets(const ParsedJson& native) {
  std::vector<AskedAsset> assets;
  const ParsedJson& list = field(native, "assets", "imp.native.request.assets");
  if (!list.is_array()) throw BadRequest{"imp.native.request.assets is not a list"};
  for (const auto& entry : list) {
    AskedAsset asset;
    asset.id = intOf(entry, "id");
    asset.required = intOf(entry, "required") == 1;
    for (const char* kind : {"title", "img", "data"}) {
      if (entry.is_object() && entry.contains(kind) && entry[kind].is_object()) {
        asset.kind = kind;
        asset.type = intOf(entry[kind], "type");
        asset.width = intOf(entry[kind], "w");
        asset.height = intOf(entry[kind], "h");
      }
    }
    if (!asset.kind.empty()) assets.push_back(asset);
  }
  return assets;
}

// The Tilo format of the impression: its unit's type in the app info, else what the
// impression says of itself.
std::string formatOf(const std::string& tagid, const ParsedJson& imp,
                     const std::vector<AskedAsset>& assets, const std::string& appInfo) {
  try {
    const auto info = platform::parseJson(appInfo);
    for (const auto& unit : info.at("adUnits")) {
      if (unit.value("mediationAdUnitId", "") == tagid) {
        const std::string type = unit.value("type", "");
        if (!type.empty()) return type;
      }
    }
  } catch (const std::exception&) {
    // An app info the SDK cannot decode either: the impression tells.
  }
  if (intOf(imp, "rwdd") == 1) return "rewarded";
  if (intOf(imp, "instl") == 1) return "interstitial";
  for (const auto& asset : assets) {
    if (asset.kind != "img" || asset.type != 3) continue;
    if (asset.width == 320 && asset.height == 50) return "banner";
    if (asset.width == 300 && asset.height == 250) return "mrec";
  }
  return "native";
}

bool serves(const Campaign& campaign, const std::string& format) {
  const std::string wanted = format == "lineBanner" ? "native" : format;
  return std::any_of(campaign.formats.begin(), campaign.formats.end(), [&](const std::string& f) {
    return (f == "lineBanner" ? "native" : f) == wanted;
  });
}

std::int64_t count(sqlite3* db, const char* sql, const std::vector<std::string>& texts,
                   double since = 0) {
  Statement select(db, sql);
  for (std::size_t i = 0; i < texts.size(); ++i) select.bind(static_cast<int>(i + 1), texts[i]);
  if (since > 0) sqlite3_bind_double(select.get(), static_cast<int>(texts.size() + 1), since);
  return sqlite3_step(select.get()) == SQLITE_ROW ? sqlite3_column_int64(select.get(), 0) : 0;
}

double spendOf(sqlite3* db, const std::string& campaign) {
  Statement select(db,
                   "SELECT COALESCE(SUM(a.price), 0) FROM notices n JOIN auctions a ON "
                   "a.rowid = n.auction_row WHERE n.kind = 'bill' AND a.campaign = ?1");
  select.bind(1, campaign);
  return sqlite3_step(select.get()) == SQLITE_ROW ? sqlite3_column_double(select.get(), 0) / 1000
                                                  : 0;
}

void replyJson(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  res.set_content(platform::dumpCompact(body), "application/json");
}

}  // namespace

std::shared_ptr<Exchange> Exchange::create(Campaigns campaigns, sqlite3* db, std::mutex& dbMutex,
                                           std::function<std::string()> appInfo,
                                           std::string* error) {
  std::lock_guard lock(dbMutex);
  if (sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    if (error) *error = std::string("cannot make the exchange's tables: ") + sqlite3_errmsg(db);
    return nullptr;
  }
  return std::make_shared<Exchange>(std::move(campaigns), db, dbMutex, std::move(appInfo));
}

Exchange::Exchange(Campaigns campaigns, sqlite3* db, std::mutex& dbMutex,
                   std::function<std::string()> appInfo)
    : campaigns_(std::move(campaigns)), db_(db), dbMutex_(dbMutex), appInfo_(std::move(appInfo)) {}

void Exchange::setBaseUrl(std::string baseUrl) {
  std::lock_guard lock(mutex_);
  baseUrl_ = std::move(baseUrl);
}

Exchange::Answer Exchange::auction(const std::string& body) {
  const double now = nowSeconds();
  std::string id, tagid, format = "native", app, outcome = "invalid", reason;
  std::optional<std::size_t> winner;
  std::vector<std::size_t> bidders;
  Json answer;
  try {
    ParsedJson request;
    try {
      request = platform::parseJson(body);
    } catch (const platform::DecodingError& error) {
      throw BadRequest{std::string("not JSON: ") + error.what()};
    }
    id = textField(request, "id", "id");
    const ParsedJson& imps = field(request, "imp", "imp");
    if (!imps.is_array() || imps.empty() || !imps[0].is_object()) throw BadRequest{"imp is empty"};
    const ParsedJson& imp = imps[0];
    const std::string impId = textField(imp, "id", "imp.id");
    if (imp.contains("tagid") && imp["tagid"].is_string()) tagid = imp["tagid"].get<std::string>();
    ParsedJson native;
    try {
      native = platform::parseJson(
          textField(field(imp, "native", "imp.native"), "request", "imp.native.request"));
    } catch (const platform::DecodingError& error) {
      throw BadRequest{std::string("imp.native.request is not JSON: ") + error.what()};
    }
    const auto assets = askedAssets(native);
    if (request.contains("app") && request["app"].is_object()) {
      app = request["app"].value("bundle", "");
    }
    format = formatOf(tagid, imp, assets, appInfo_ ? appInfo_() : std::string());
    const double floor =
        imp.contains("bidfloor") && imp["bidfloor"].is_number() ? imp["bidfloor"].get<double>() : 0;
    const bool needsImage = std::any_of(assets.begin(), assets.end(), [](const AskedAsset& a) {
      return a.kind == "img" && a.type == 3 && a.required;
    });
    {
      std::lock_guard lock(dbMutex_);
      for (std::size_t i = 0; i < campaigns_.campaigns.size(); ++i) {
        const Campaign& campaign = campaigns_.campaigns[i];
        if (!serves(campaign, format) || (needsImage && !campaign.image) ||
            campaign.price < floor) {
          continue;
        }
        if (campaign.budget &&
            spendOf(db_, campaign.id) + campaign.price / 1000 > *campaign.budget + 1e-9) {
          continue;
        }
        if (campaign.frequencyCap &&
            count(db_,
                  "SELECT COUNT(*) FROM notices n JOIN auctions a ON a.rowid = n.auction_row "
                  "WHERE n.kind = 'imp' AND a.campaign = ?1 AND a.app = ?2 AND n.received_at > ?3",
                  {campaign.id, app}, now - kDay) >= *campaign.frequencyCap) {
          continue;
        }
        bidders.push_back(i);
        if (!winner || campaign.price > campaigns_.campaigns[*winner].price) winner = i;
      }
    }
    outcome = winner ? "bid" : "nobid";
    if (winner) {
      const Campaign& campaign = campaigns_.campaigns[*winner];
      std::string base;
      std::uint64_t sequence;
      {
        std::lock_guard lock(mutex_);
        base = baseUrl_;
        sequence = ++sequence_;
      }
      const std::string notice =
          "?auction=${AUCTION_ID}&bid=${AUCTION_BID_ID}&price=${AUCTION_PRICE}";
      auto noticeUrl = [&](const char* kind) { return base + "/openrtb2/notice/" + kind + notice; };
      Json assetsOut = Json::array();
      for (const auto& asset : assets) {
        std::optional<Json> value;
        if (asset.kind == "title") {
          value = Json{{"title", {{"text", campaign.title}}}};
        } else if (asset.kind == "img") {
          const auto& file = asset.type == 1   ? campaign.icon
                             : asset.type == 3 ? campaign.image
                                               : std::nullopt;
          if (file) {
            const CreativeFile& picture = campaigns_.files.at(*file);
            value = Json{{"img",
                          {{"url", base + "/openrtb2/creatives/" + *file},
                           {"w", picture.width},
                           {"h", picture.height}}}};
          }
        } else {
          const auto& text = asset.type == 1    ? campaign.sponsoredBy
                             : asset.type == 2  ? campaign.description
                             : asset.type == 12 ? campaign.callToAction
                                                : std::nullopt;
          if (text) value = Json{{"data", {{"value", *text}}}};
        }
        if (!value) continue;
        Json entry{{"id", asset.id}};
        entry.update(*value);
        assetsOut.push_back(std::move(entry));
      }
      Json adm{{"ver", "1.2"},
               {"assets", std::move(assetsOut)},
               {"link", {{"url", campaign.clickUrl}, {"clicktrackers", {noticeUrl("click")}}}},
               {"eventtrackers",
                Json::array({{{"event", 1}, {"method", 1}, {"url", noticeUrl("imp")}}})}};
      Json bid{{"id", campaign.id + "-" + std::to_string(sequence)},
               {"impid", impId},
               {"price", campaign.price},
               {"adm", platform::dumpCompact(adm)},
               {"nurl", noticeUrl("win")},
               {"burl", noticeUrl("bill")},
               {"lurl", noticeUrl("loss") + "&reason=${AUCTION_LOSS}"},
               {"crid", campaign.id},
               {"cid", campaign.id},
               {"exp", campaign.exp}};
      if (campaign.domain) bid["adomain"] = Json::array({*campaign.domain});
      answer = Json{
          {"id", id},
          {"cur", campaigns_.currency},
          {"seatbid", Json::array({{{"seat", campaigns_.seat}, {"bid", Json::array({bid})}}})}};
    }
  } catch (const BadRequest& bad) {
    reason = bad.reason;
  } catch (const std::exception& error) {
    reason = std::string("cannot read the request: ") + error.what();
  }

  std::lock_guard lock(dbMutex_);
  {
    Statement insert(db_,
                     "INSERT INTO auctions VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
    insert.bind(1, id);
    sqlite3_bind_double(insert.get(), 2, now);
    insert.bind(3, tagid);
    insert.bind(4, format);
    insert.bind(5, app);
    insert.bind(6, body.substr(0, kMaxStoredRequestBytes));
    insert.bind(7, outcome);
    if (winner) {
      const Campaign& campaign = campaigns_.campaigns[*winner];
      insert.bind(8, campaign.id);
      insert.bind(9, answer["seatbid"][0]["bid"][0]["id"].get<std::string>());
      sqlite3_bind_double(insert.get(), 10, campaign.price);
    }
    if (!reason.empty()) insert.bind(11, reason);
    sqlite3_step(insert.get());
  }
  const auto row = sqlite3_last_insert_rowid(db_);
  for (const std::size_t i : bidders) {
    Statement insert(db_, "INSERT INTO bids VALUES (?1, ?2, ?3)");
    sqlite3_bind_int64(insert.get(), 1, row);
    insert.bind(2, campaigns_.campaigns[i].id);
    sqlite3_bind_double(insert.get(), 3, campaigns_.campaigns[i].price);
    sqlite3_step(insert.get());
  }
  if (!reason.empty()) return {400, platform::dumpCompact(Json{{"error", reason}})};
  if (!winner) return {204, {}};
  return {200, platform::dumpCompact(answer)};
}

void Exchange::route(httplib::Server& server, const Wrap& wrap) {
  std::weak_ptr<Exchange> weak = weak_from_this();
  server.Post("/openrtb2/auction",
              wrap([weak](const httplib::Request& req, httplib::Response& res) {
                auto self = weak.lock();
                if (!self) return;
                const Answer answer = self->auction(req.body);
                res.status = answer.status;
                if (!answer.body.empty()) res.set_content(answer.body, "application/json");
              }));
  server.Get(R"(/openrtb2/creatives/([A-Za-z0-9_.-]+))",
             wrap([weak](const httplib::Request& req, httplib::Response& res) {
               auto self = weak.lock();
               if (!self) return;
               const auto file = self->campaigns_.files.find(req.matches[1].str());
               if (file == self->campaigns_.files.end()) {
                 res.status = 404;
                 return;
               }
               res.set_content(file->second.bytes, file->second.contentType);
             }));
  server.Get(
      R"(/openrtb2/notice/(win|bill|imp|click|loss))",
      wrap([weak](const httplib::Request& req, httplib::Response& res) {
        auto self = weak.lock();
        if (!self) return;
        const std::string auction = req.get_param_value("auction");
        const std::string bid = req.get_param_value("bid");
        std::lock_guard lock(self->dbMutex_);
        std::optional<std::int64_t> row;
        {
          Statement find(self->db_, "SELECT rowid FROM auctions WHERE id = ?1 AND bid_id = ?2");
          find.bind(1, auction);
          find.bind(2, bid);
          if (sqlite3_step(find.get()) == SQLITE_ROW) row = sqlite3_column_int64(find.get(), 0);
        }
        Statement insert(self->db_, "INSERT INTO notices VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
        if (row) sqlite3_bind_int64(insert.get(), 1, *row);
        insert.bind(2, auction);
        insert.bind(3, bid);
        insert.bind(4, req.matches[1].str());
        insert.bind(5, req.get_param_value("price"));
        insert.bind(6, req.has_param("reason") ? std::optional(req.get_param_value("reason"))
                                               : std::nullopt);
        sqlite3_bind_double(insert.get(), 7, nowSeconds());
        sqlite3_step(insert.get());
        res.status = 204;
      }));
  server.Get("/dev/auctions", [weak](const httplib::Request& req, httplib::Response& res) {
    auto self = weak.lock();
    if (!self) return;
    int limit = 20;
    std::optional<std::int64_t> before;
    try {
      if (req.has_param("limit")) limit = std::stoi(req.get_param_value("limit"));
      if (req.has_param("before")) before = std::stoll(req.get_param_value("before"));
    } catch (const std::exception&) {
      return replyJson(res, 400, Json{{"error", "limit and before take whole numbers"}});
    }
    replyJson(res, 200, self->auctionsJson(limit, before));
  });
  server.Get("/dev/campaigns", [weak](const httplib::Request&, httplib::Response& res) {
    if (auto self = weak.lock()) replyJson(res, 200, self->campaignsJson());
  });
}

std::vector<Exchange::Notice> Exchange::notices() const {
  std::vector<Notice> out;
  std::lock_guard lock(dbMutex_);
  Statement select(db_,
                   "SELECT auction_id, bid_id, kind, price, reason FROM notices ORDER BY rowid");
  while (sqlite3_step(select.get()) == SQLITE_ROW) {
    out.push_back({select.text(0).value_or(""), select.text(1).value_or(""),
                   select.text(2).value_or(""), select.text(3).value_or(""),
                   select.text(4).value_or("")});
  }
  return out;
}

std::vector<Json> Exchange::requests() const {
  std::vector<Json> out;
  std::lock_guard lock(dbMutex_);
  Statement select(db_, "SELECT request FROM auctions ORDER BY rowid");
  while (sqlite3_step(select.get()) == SQLITE_ROW) {
    try {
      out.push_back(platform::parseJsonKeepingOrder(select.text(0).value_or("")));
    } catch (const platform::DecodingError&) {
      out.emplace_back(nullptr);
    }
  }
  return out;
}

Json Exchange::auctionsJson(int limit, std::optional<std::int64_t> before) const {
  limit = std::clamp(limit, 1, kMaxPage);
  Json list = Json::array();
  std::optional<std::int64_t> last;
  std::lock_guard lock(dbMutex_);
  Statement select(db_,
                   "SELECT rowid, id, received_at, tagid, format, app, request, outcome, campaign, "
                   "bid_id, price, reason FROM auctions WHERE rowid < ?1 ORDER BY rowid DESC "
                   "LIMIT ?2");
  sqlite3_bind_int64(select.get(), 1, before.value_or(INT64_MAX));
  sqlite3_bind_int(select.get(), 2, limit + 1);
  int rows = 0;
  bool more = false;
  while (sqlite3_step(select.get()) == SQLITE_ROW) {
    if (++rows > limit) {
      more = true;
      break;
    }
    const auto row = sqlite3_column_int64(select.get(), 0);
    last = row;
    Json request;
    try {
      request = platform::parseJsonKeepingOrder(select.text(6).value_or(""));
    } catch (const platform::DecodingError&) {
      request = nullptr;  // not JSON, or cut at kMaxStoredRequestBytes
    }
    Json notices = Json::object();
    for (const char* kind : {"win", "bill", "imp", "click", "loss"}) {
      Statement tally(db_, "SELECT COUNT(*) FROM notices WHERE auction_row = ?1 AND kind = ?2");
      sqlite3_bind_int64(tally.get(), 1, row);
      tally.bind(2, std::string(kind));
      notices[kind] =
          sqlite3_step(tally.get()) == SQLITE_ROW ? sqlite3_column_int64(tally.get(), 0) : 0;
    }
    Json item{{"cursor", row},
              {"id", select.text(1).value_or("")},
              {"receivedAt", sqlite3_column_double(select.get(), 2)},
              {"tagid", select.text(3).value_or("")},
              {"format", select.text(4).value_or("")},
              {"app", select.text(5).value_or("")},
              {"outcome", select.text(7).value_or("")}};
    if (auto campaign = select.text(8)) {
      item["campaign"] = *campaign;
      item["bidId"] = select.text(9).value_or("");
      item["price"] = sqlite3_column_double(select.get(), 10);
    }
    if (auto reason = select.text(11)) item["reason"] = *reason;
    item["notices"] = std::move(notices);
    item["request"] = std::move(request);
    list.push_back(std::move(item));
  }
  Json page{{"auctions", std::move(list)}};
  page["next"] = more && last ? Json(*last) : Json(nullptr);
  return page;
}

Json Exchange::campaignsJson() const {
  Json list = Json::array();
  std::lock_guard lock(dbMutex_);
  for (const Campaign& campaign : campaigns_.campaigns) {
    auto kindCount = [&](const char* kind) {
      return count(db_,
                   "SELECT COUNT(*) FROM notices n JOIN auctions a ON a.rowid = n.auction_row "
                   "WHERE a.campaign = ?1 AND n.kind = ?2",
                   {campaign.id, kind});
    };
    Json item{{"id", campaign.id},
              {"title", campaign.title},
              {"price", campaign.price},
              {"formats", campaign.formats}};
    item["budget"] = campaign.budget ? Json(*campaign.budget) : Json(nullptr);
    item["frequencyCap"] = campaign.frequencyCap ? Json(*campaign.frequencyCap) : Json(nullptr);
    item["auctions"] = count(db_, "SELECT COUNT(*) FROM bids WHERE campaign = ?1", {campaign.id});
    item["wins"] = kindCount("win");
    item["impressions"] = kindCount("imp");
    item["clicks"] = kindCount("click");
    item["spend"] = spendOf(db_, campaign.id);
    list.push_back(std::move(item));
  }
  return Json{
      {"seat", campaigns_.seat}, {"currency", campaigns_.currency}, {"campaigns", std::move(list)}};
}

Json Exchange::revenueJson() const {
  std::map<std::string, std::string> units;  // tagid -> Tilo ad unit
  try {
    const auto info = platform::parseJson(appInfo_ ? appInfo_() : std::string());
    for (const auto& unit : info.at("adUnits")) {
      units.emplace(unit.value("mediationAdUnitId", ""), unit.value("tiloAdUnitId", ""));
    }
  } catch (const std::exception&) {
    // No app info to name the units: the tagids stand for them.
  }
  Json rows = Json::array();
  std::lock_guard lock(dbMutex_);
  Statement select(db_,
                   "SELECT date(n.received_at, 'unixepoch'), a.tagid, SUM(a.price) / 1000 FROM "
                   "notices n JOIN auctions a ON a.rowid = n.auction_row WHERE n.kind = 'bill' "
                   "GROUP BY 1, 2 ORDER BY 1 DESC, 2 LIMIT ?1");
  sqlite3_bind_int(select.get(), 1, kMaxRevenueRows);
  while (sqlite3_step(select.get()) == SQLITE_ROW) {
    const std::string tagid = select.text(1).value_or("");
    const auto unit = units.find(tagid);
    rows.push_back(
        {{"day", select.text(0).value_or("")},
         {"adUnitId", unit != units.end() && !unit->second.empty() ? unit->second : tagid},
         {"revenue", sqlite3_column_double(select.get(), 2)}});
  }
  return Json{{"currency", campaigns_.currency}, {"rows", std::move(rows)}};
}

}  // namespace tilo::devserver
