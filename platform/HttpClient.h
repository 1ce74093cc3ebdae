// URL loading over libcurl: one worker thread drives every transfer of a client.
//
//   HttpRequest request;
//   request.url = "https://api.example.com/sdk/init";
//   auto task = HttpClient::shared()->send(request, [weak](auto result) {
//     // Runs on the client's worker thread: hop to your own executor before touching state.
//     if (auto* response = std::get_if<HttpResponse>(&result)) ...
//   });
//
// Any HTTP status is a response; only transport failures are UrlErrors, with the
// URL-loading error codes below. TLS peers are always verified. The request timeout runs
// on Environment::current()'s clock (armed when send is called), so tests fast-forward it.
// Connections are kept alive and reused across requests of the same client.
//
// Answers are bounded, because the peer may be hostile: redirects are never followed (a
// 3xx is handed back as the response, so request headers never reach another host), no
// content encoding is asked for and an encoded body fails with
// kUrlErrorCannotDecodeContentData, and a body larger than maxResponseBytes (or headers
// larger than kMaxResponseHeaderBytes) abort the transfer with
// kUrlErrorDataLengthExceedsMaximum before more of it is read. A request with CR, LF or
// NUL in a header name or value fails with kUrlErrorBadURL and nothing is sent.
#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

namespace tilo::platform {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// Backend answers are a few kilobytes; anything near these is not one of them.
inline constexpr std::size_t kDefaultMaxResponseBytes = 4 << 20;
inline constexpr std::size_t kMaxResponseHeaderBytes = 64 << 10;

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  HttpHeaders headers;
  std::string body;
  double timeoutSeconds = 60;
  std::size_t maxResponseBytes = kDefaultMaxResponseBytes;
};

struct HttpResponse {
  long status = 0;
  HttpHeaders headers;  // in arrival order, names as the server sent them
  std::string body;
  std::string url;

  // The first value of `name`, compared case-insensitively.
  std::optional<std::string> header(std::string_view name) const;
  // One line with URL, status and headers, for logs.
  std::string description() const;
};

inline constexpr const char* kUrlErrorDomain = "NSURLErrorDomain";
inline constexpr long kUrlErrorUnknown = -1;
inline constexpr long kUrlErrorCancelled = -999;
inline constexpr long kUrlErrorBadURL = -1000;
inline constexpr long kUrlErrorTimedOut = -1001;
inline constexpr long kUrlErrorUnsupportedURL = -1002;
inline constexpr long kUrlErrorCannotFindHost = -1003;
inline constexpr long kUrlErrorCannotConnectToHost = -1004;
inline constexpr long kUrlErrorNetworkConnectionLost = -1005;
inline constexpr long kUrlErrorHTTPTooManyRedirects = -1007;
inline constexpr long kUrlErrorNotConnectedToInternet = -1009;
inline constexpr long kUrlErrorCannotDecodeContentData = -1016;
inline constexpr long kUrlErrorDataLengthExceedsMaximum = -1103;
inline constexpr long kUrlErrorSecureConnectionFailed = -1200;

struct UrlError {
  std::string domain = kUrlErrorDomain;
  long code = 0;
  std::string localizedDescription;
  // The system's or libcurl's own words, when a transfer failed ("Connection refused"):
  // for logs, where the description alone hides the cause.
  std::string failureReason;

  // The error with the standard description for `code`.
  static UrlError withCode(long code);
};

using HttpResult = std::variant<HttpResponse, UrlError>;
using HttpCompletion = std::function<void(HttpResult)>;

class HttpClient;

// One request in flight. Dropping it does not cancel the request.
class HttpTask {
 public:
  // Completes the request with kUrlErrorCancelled unless it has completed already.
  void cancel();

  struct Private;
  explicit HttpTask(std::shared_ptr<Private> state) : state_(std::move(state)) {}

 private:
  std::shared_ptr<Private> state_;
};

class HttpClient {
 public:
  // The process-wide client. Never destroyed, but shutdownShared() ends its thread.
  static std::shared_ptr<HttpClient> shared();
  // Stops the process-wide client, if it was made, and lets it go: requests in flight
  // complete with kUrlErrorCancelled, its thread is joined, later requests through it are
  // never sent and their completions never run. For the SDK's shutdown.
  static void shutdownShared();
  // A separate client with its own worker thread and connection cache. Requests still
  // in flight when it is destroyed complete with kUrlErrorCancelled.
  static std::shared_ptr<HttpClient> create();
  ~HttpClient();

  // Starts the request. `completion` runs exactly once, on this client's worker thread.
  std::shared_ptr<HttpTask> send(HttpRequest request, HttpCompletion completion);

  // Development only: also trust the CA certificates in this PEM file (the system's
  // trust store stays in force). TILO_DEV_CA_FILE does the same from the environment;
  // the in-code setting wins. Applies to requests sent afterwards.
  static void setAdditionalTrustedCAFile(std::optional<std::filesystem::path> pemFile);
  // The file in force (in-code setting, else TILO_DEV_CA_FILE); nullopt when none.
  static std::optional<std::string> additionalTrustedCAFile();

  class Worker;

 private:
  HttpClient();

  // Stops the worker and joins its thread (hands it over when called on it).
  void stop();

  std::shared_ptr<Worker> worker_;  // shared with its thread, which may outlive the client
  std::string unavailable_;         // without a worker: why requests fail
  std::thread thread_;
  std::shared_ptr<std::atomic<bool>> finished_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace tilo::platform
