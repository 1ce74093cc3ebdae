#include "tools/devserver/DevServer.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "tools/devserver/ConnectionServer.h"
#include "tools/devserver/Dashboard.h"
#include "tools/devserver/Exchange.h"
#include "tools/devserver/Statement.h"
#include "tools/devserver/UploadDecoding.h"

namespace tilo::devserver {
namespace {

using platform::Json;

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS events(event_id TEXT PRIMARY KEY, event_type TEXT, "
    "created_at INTEGER, session_id TEXT, payload TEXT, sdk_version TEXT, device TEXT, "
    "country TEXT, mediation_platform TEXT, received_at REAL)";

// A stored column read back; null when it does not parse (it always did when stored).
Json parsedOrNull(const std::string& text) {
  try {
    return platform::parseJsonKeepingOrder(text);
  } catch (const platform::DecodingError&) {
    return nullptr;
  }
}

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void replyJson(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  res.set_content(platform::dumpCompact(body), "application/json");
}

void replyError(httplib::Response& res, int status, const std::string& message) {
  replyJson(res, status, Json{{"error", message}});
}

// Text from a request as a log line shows it: printable ASCII, other bytes as %XX, so that
// no client writes control sequences to the terminal; long texts are cut.
std::string printable(std::string_view text) {
  constexpr std::size_t kMax = 200;
  std::string shown;
  for (const char c : text.substr(0, kMax)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      shown += escaped;
    }
  }
  return text.size() > kMax ? shown + "..." : shown;
}

std::string requestLogLine(const httplib::Request& req, const httplib::Response& res) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - ConnectionServer::requestStart());
  std::string line = printable(req.method) + " " + printable(req.path) + " " +
                     std::to_string(res.status) + " " + std::to_string(elapsed.count()) + " ms";
  // Refusals of this server carry their reason as {"error": "..."}.
  if (res.status >= 400 && !res.body.empty()) {
    try {
      const auto body = platform::parseJson(res.body);
      if (body.is_object() && body.contains("error") && body["error"].is_string()) {
        line += " (" + printable(body["error"].get<std::string>()) + ")";
      }
    } catch (const platform::DecodingError&) {
    }
  }
  return line;
}

}  // namespace

// Shared by the DevServer and the request handlers; outlives the server thread either way.
struct DevServer::State {
  std::string host;
  std::string appKey;
  std::atomic<int> delayMs{0};
  std::atomic<std::size_t> requests{0};
  std::atomic<int> eventPosts{0};

  int maxJsonDepth = 32;

  std::mutex faultMutex;  // guards the fields below
  std::string appInfoJson;
  int failRemaining = 0;
  int failStatus = 500;
  int dropRemaining = 0;
  int holdRemaining = 0;
  bool stopped = false;
  std::condition_variable stopping;

  mutable std::mutex dbMutex;  // one connection, used from every handler thread
  sqlite3* db = nullptr;
  std::shared_ptr<Exchange> exchange;

  ~State() { sqlite3_close(db); }

  bool open(const std::string& path, std::string* error) {
    const std::string target = path.empty() ? ":memory:" : path;
    if (sqlite3_open_v2(target.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK ||
        sqlite3_busy_timeout(db, 5000) != SQLITE_OK ||
        (!path.empty() &&
         sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) != SQLITE_OK) ||
        sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
      if (error) *error = "cannot open event database " + target + ": " + sqlite3_errmsg(db);
      return false;
    }
    return true;
  }

  std::optional<int> takeFailure() {
    std::lock_guard lock(faultMutex);
    if (failRemaining <= 0) return std::nullopt;
    --failRemaining;
    return failStatus;
  }

  bool takeDrop() {
    std::lock_guard lock(faultMutex);
    if (dropRemaining <= 0) return false;
    --dropRemaining;
    return true;
  }

  // True, once the server stops, for a held request: it must then go unanswered.
  bool holdUntilStopped() {
    std::unique_lock lock(faultMutex);
    if (holdRemaining <= 0) return false;
    --holdRemaining;
    stopping.wait(lock, [this] { return stopped; });
    return true;
  }

  void releaseHeld() {
    {
      std::lock_guard lock(faultMutex);
      stopped = true;
    }
    stopping.notify_all();
  }

  bool authorized(const httplib::Request& req, httplib::Response& res) const {
    if (!req.has_header("Tilo-App-Key")) {
      replyError(res, 401, "missing Tilo-App-Key header");
      return false;
    }
    if (req.get_header_value("Tilo-App-Key") != appKey) {
      replyError(res, 401, "unknown app key: not the --app-key of this server");
      return false;
    }
    return true;
  }

  // Stores the upload in one transaction; returns {stored, duplicates} or nullopt on a
  // database error (nothing stored then).
  std::optional<std::pair<int, int>> insert(const Upload& upload) {
    const double receivedAt = nowSeconds();
    std::lock_guard lock(dbMutex);
    if (sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
      return std::nullopt;
    }
    int stored = 0;
    {
      Statement insert(
          db, "INSERT OR IGNORE INTO events VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
      for (const Upload::Row& row : upload.rows) {
        sqlite3_reset(insert.get());
        insert.bind(1, row.eventId);
        insert.bind(2, row.eventType);
        sqlite3_bind_int64(insert.get(), 3, row.createdAt);
        insert.bind(4, row.sessionId);
        insert.bind(5, row.payload);
        insert.bind(6, upload.sdkVersion);
        insert.bind(7, upload.device);
        insert.bind(8, upload.country);
        insert.bind(9, upload.mediationPlatform);
        sqlite3_bind_double(insert.get(), 10, receivedAt);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
          sqlite3_reset(insert.get());
          sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
          return std::nullopt;
        }
        stored += sqlite3_changes(db);
      }
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      return std::nullopt;
    }
    return std::pair{stored, static_cast<int>(upload.rows.size()) - stored};
  }

  std::vector<StoredEvent> events() const {
    std::vector<StoredEvent> result;
    std::lock_guard lock(dbMutex);
    Statement select(db,
                     "SELECT event_id, event_type, created_at, session_id, payload, sdk_version, "
                     "device, country, mediation_platform, received_at FROM events ORDER BY rowid");
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
      StoredEvent event;
      event.eventId = select.text(0).value_or("");
      event.eventType = select.text(1).value_or("");
      event.createdAt = sqlite3_column_int64(select.get(), 2);
      event.sessionId = select.text(3).value_or("");
      event.payload = parsedOrNull(select.text(4).value_or("{}"));
      event.sdkVersion = select.text(5);
      if (auto device = select.text(6)) event.device = parsedOrNull(*device);
      event.country = select.text(7);
      event.mediationPlatform = select.text(8);
      event.receivedAt = sqlite3_column_double(select.get(), 9);
      result.push_back(std::move(event));
    }
    return result;
  }

  Json eventsJson() const {
    Json list = Json::array();
    for (const StoredEvent& event : events()) {
      Json item{{"eventId", event.eventId},
                {"eventType", event.eventType},
                {"createdAt", event.createdAt},
                {"sessionId", event.sessionId},
                {"payload", event.payload}};
      if (event.sdkVersion) item["sdkVersion"] = *event.sdkVersion;
      item["device"] = event.device;
      if (event.country) item["country"] = *event.country;
      if (event.mediationPlatform) item["mediationPlatform"] = *event.mediationPlatform;
      item["receivedAt"] = event.receivedAt;
      list.push_back(std::move(item));
    }
    const auto count = list.size();
    return Json{{"events", std::move(list)}, {"count", count}};
  }

  void handleInit(const httplib::Request& req, httplib::Response& res) {
    if (!authorized(req, res)) return;
    std::lock_guard lock(faultMutex);
    res.status = 200;
    res.set_content(appInfoJson, "application/json");
  }

  void handleEvents(const httplib::Request& req, httplib::Response& res) {
    if (!authorized(req, res)) return;
    if (holdUntilStopped()) {
      ConnectionServer::withholdAnswer();
      return;
    }
    if (nestsDeeperThan(req.body, maxJsonDepth)) {
      replyError(res, 400, "JSON nested deeper than " + std::to_string(maxJsonDepth) + " levels");
      return;
    }
    Upload upload;
    try {
      upload = decodeUpload(req.body);
    } catch (const platform::DecodingError& error) {
      replyError(res, 400, error.localizedDescription());
      return;
    }
    const auto counts = insert(upload);
    if (!counts) {
      std::lock_guard lock(dbMutex);
      replyError(res, 500, std::string("cannot store events: ") + sqlite3_errmsg(db));
      return;
    }
    if (takeDrop()) ConnectionServer::withholdAnswer();
    replyJson(res, 201, Json{{"stored", counts->first}, {"duplicates", counts->second}});
  }

  // Wraps a backend endpoint with the injected delay and failures.
  static httplib::Server::Handler faulted(std::shared_ptr<State> self,
                                          httplib::Server::Handler handler) {
    return [self = std::move(self), handler = std::move(handler)](const httplib::Request& req,
                                                                  httplib::Response& res) {
      if (const int ms = self->delayMs.load(); ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      }
      if (const auto status = self->takeFailure()) {
        replyError(res, *status, "injected failure");
        return;
      }
      handler(req, res);
    };
  }
  static httplib::Server::Handler faulted(std::shared_ptr<State> self,
                                          void (State::*handler)(const httplib::Request&,
                                                                 httplib::Response&)) {
    State* state = self.get();
    return faulted(std::move(self),
                   [state, handler](const httplib::Request& req, httplib::Response& res) {
                     (state->*handler)(req, res);
                   });
  }
};

std::shared_ptr<DevServer> DevServer::start(DevServerOptions options, std::string* error) {
  if (options.appKey.empty()) {
    if (error) *error = "an app key is required";
    return nullptr;
  }
  auto state = std::make_shared<State>();
  state->host = options.host;
  state->appKey = options.appKey;
  state->appInfoJson = options.appInfoJson;
  state->failRemaining = options.failFirst;
  state->failStatus = options.failStatus;
  state->delayMs = options.delayMs;
  state->maxJsonDepth = options.maxJsonDepth;
  if (!state->open(options.dbPath, error)) return nullptr;
  if (options.campaigns) {
    std::weak_ptr<State> weak = state;
    state->exchange = Exchange::create(
        *options.campaigns, state->db, state->dbMutex,
        [weak] {
          auto self = weak.lock();
          if (!self) return std::string();
          std::lock_guard lock(self->faultMutex);
          return self->appInfoJson;
        },
        error);
    if (!state->exchange) return nullptr;
  }

  auto server = std::make_unique<ConnectionServer>(options.readTimeoutMs, options.maxConnections);
  // Longer bodies are answered 413 without being read into memory.
  server->set_payload_max_length(options.maxBodyBytes);
  // Counted before routing so that unknown paths and faulted answers count too.
  server->set_pre_routing_handler([state](const httplib::Request& req, httplib::Response&) {
    if (req.path.rfind("/dev/", 0) != 0) ++state->requests;
    if (req.method == "POST" && req.path == "/analytics/events") ++state->eventPosts;
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server->Get("/sdk/init", State::faulted(state, &State::handleInit));
  server->Post("/analytics/events", State::faulted(state, &State::handleEvents));
  server->Get("/dev/events", [state](const httplib::Request&, httplib::Response& res) {
    replyJson(res, 200, state->eventsJson());
  });
  if (state->exchange) {
    state->exchange->route(*server, [state](httplib::Server::Handler handler) {
      return State::faulted(state, std::move(handler));
    });
  }
  auto dashboard = std::make_shared<Dashboard>(state->db, state->dbMutex, state, state->exchange);
  Dashboard::addRoutes(*server, dashboard);
  server->set_logger([dashboard, log = std::move(options.requestLog)](
                         const httplib::Request& req, const httplib::Response& res) {
    dashboard->recordRequest(req, res);
    if (log) log(requestLogLine(req, res));
  });

  std::string problem;
  const int port = server->bind(options.host, options.port, problem);
  if (port <= 0) {
    if (error) {
      *error =
          "cannot listen on " + options.host + ":" + std::to_string(options.port) + ": " + problem;
    }
    return nullptr;
  }
  if (state->exchange)
    state->exchange->setBaseUrl("http://" + options.host + ":" + std::to_string(port));
  server->start();
  return std::shared_ptr<DevServer>(new DevServer(state, std::move(server), port));
}

DevServer::DevServer(std::shared_ptr<State> state, std::unique_ptr<ConnectionServer> server,
                     int port)
    : state_(std::move(state)), server_(std::move(server)), port_(port) {}

DevServer::~DevServer() {
  stop();
}

std::string DevServer::baseUrl() const {
  return "http://" + state_->host + ":" + std::to_string(port_);
}

void DevServer::stop() {
  state_->releaseHeld();
  server_->shutdown();
}

const std::shared_ptr<Exchange>& DevServer::exchange() const {
  return state_->exchange;
}

std::vector<StoredEvent> DevServer::storedEvents() const {
  return state_->events();
}

std::string DevServer::storedEventsJson() const {
  return platform::dumpCompact(state_->eventsJson());
}

std::size_t DevServer::requestCount() const {
  return state_->requests;
}

int DevServer::eventPostCount() const {
  return state_->eventPosts;
}

void DevServer::setFailFirst(int n, int status) {
  std::lock_guard lock(state_->faultMutex);
  state_->failRemaining = n;
  state_->failStatus = status;
}

void DevServer::setDelayMs(int ms) {
  state_->delayMs = ms;
}

void DevServer::setAppInfoJson(std::string json) {
  std::lock_guard lock(state_->faultMutex);
  state_->appInfoJson = std::move(json);
}

void DevServer::setDropResponses(int n) {
  std::lock_guard lock(state_->faultMutex);
  state_->dropRemaining = n;
}

void DevServer::setHoldUploads(int n) {
  std::lock_guard lock(state_->faultMutex);
  state_->holdRemaining = n;
}

}  // namespace tilo::devserver
