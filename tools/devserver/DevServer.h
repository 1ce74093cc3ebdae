// Development backend: serves the app info, stores uploaded analytics events in SQLite and
// injects faults (failing statuses, delays, lost answers) on demand.
//
//   DevServerOptions options;
//   options.appKey = "app-key";
//   options.appInfoJson = R"({"adUnits": [], "feeRate": 0.1})";
//   std::string error;
//   auto server = DevServer::start(options, &error);  // nullptr + error on failure
//   ... point the SDK at server->baseUrl() ...
//   server->storedEvents();
//
// Endpoints: GET /sdk/init, POST /analytics/events (both need the "Tilo-App-Key" header),
// GET /dev/events (no key, never faulted or delayed), the dashboard at "/" with its JSON
// under /dev/api (Dashboard.h), and with campaigns the exchange's (Exchange.h: its
// /openrtb2/ routes are faulted and delayed like the backend's).
//
// With options.requestLog set, each answered request is reported in one line: method, path,
// status, the milliseconds from its first byte to its answer, and the reason of a refusal:
//   GET /sdk/init 401 0 ms (unknown app key)
//
// Limits, because clients may be broken or hostile: a request body over maxBodyBytes is
// answered 413, JSON nested deeper than maxJsonDepth 400; a request that has not fully
// arrived readTimeoutMs after the connection started waiting for it is cut (so are idle
// keep-alive connections); beyond maxConnections open connections, new ones get a 503
// and are closed; and when accept runs out of descriptors the server backs off instead
// of spinning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Json.h"
#include "tools/devserver/Campaigns.h"

namespace tilo::devserver {

class ConnectionServer;
class Exchange;

struct DevServerOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // 0 = a free port
  std::string appKey;
  std::string appInfoJson;  // served as is, so tests can also serve broken bodies
  std::string dbPath;       // "" = in-memory database
  int failFirst = 0;
  int failStatus = 500;
  int delayMs = 0;
  std::size_t maxBodyBytes = 4 << 20;
  int maxJsonDepth = 32;
  int readTimeoutMs = 10'000;
  int maxConnections = 64;
  // With campaigns the server is also an OpenRTB exchange of house ads (Exchange.h).
  std::shared_ptr<const Campaigns> campaigns;
  // Called from the server's threads, one line at a time; no log when empty.
  std::function<void(const std::string& line)> requestLog;
};

// How long the accept loop pauses after a failure that retrying at once cannot cure (out
// of descriptors, buffers or memory): 10 ms, doubling up to one second, back to 10 ms
// after the next accepted connection.
struct AcceptBackoff {
  static constexpr int kInitialMs = 10;
  static constexpr int kMaxMs = 1000;

  // Whether `error` (an errno of accept) calls for a pause.
  static bool pausesFor(int error);
  // The pause to take now; each call doubles the next one.
  int nextDelayMs();
  void reset() { delayMs_ = kInitialMs; }

 private:
  int delayMs_ = kInitialMs;
};

// One row of the events table, as uploaded.
struct StoredEvent {
  std::string eventId;
  std::string eventType;
  std::int64_t createdAt = 0;
  std::string sessionId;
  platform::Json payload;
  std::optional<std::string> sdkVersion;
  platform::Json device;  // null when the upload had none
  std::optional<std::string> country;
  std::optional<std::string> mediationPlatform;
  double receivedAt = 0;  // seconds since 1970
};

class DevServer {
 public:
  static std::shared_ptr<DevServer> start(DevServerOptions options, std::string* error);
  ~DevServer();
  DevServer(const DevServer&) = delete;
  DevServer& operator=(const DevServer&) = delete;

  int port() const { return port_; }
  std::string baseUrl() const;
  // Stops listening, cuts open connections and joins the server thread. Idempotent.
  void stop();

  // The exchange, when the server was started with campaigns; null otherwise.
  const std::shared_ptr<Exchange>& exchange() const;

  // In insertion order.
  std::vector<StoredEvent> storedEvents() const;
  // The body of GET /dev/events: {"events": [...], "count": N}.
  std::string storedEventsJson() const;
  // Requests received on every path except /dev/*, whatever their outcome.
  std::size_t requestCount() const;
  // POST /analytics/events requests received, whatever their outcome.
  int eventPostCount() const;

  // The next n requests (except /dev/*) answer `status`.
  void setFailFirst(int n, int status);
  // Every later answer (except /dev/*) waits this long.
  void setDelayMs(int ms);
  void setAppInfoJson(std::string json);
  // The next n event uploads are stored, then their connection is closed without an answer.
  void setDropResponses(int n);
  // The next n event uploads are counted but neither stored nor answered until stop(), as
  // a backend that hangs would hold them.
  void setHoldUploads(int n);

 private:
  struct State;
  DevServer(std::shared_ptr<State> state, std::unique_ptr<ConnectionServer> server, int port);

  std::shared_ptr<State> state_;
  std::unique_ptr<ConnectionServer> server_;
  int port_;
};

}  // namespace tilo::devserver
