#include "platform/HttpClient.h"

#include "platform/Crypto.h"
#include "platform/ThreadName.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/Environment.h"
#include "platform/MainLoop.h"
#include "platform/SystemLibraries.h"

namespace tilo::platform {
namespace {

// A safety net only: the request timeout on the environment's clock is the contract.
constexpr double kConnectTimeoutMarginSeconds = 30;

std::mutex trustMutex;
// Made on first use and kept for the process: loading the library runs nothing.
std::optional<std::filesystem::path>& trustedCAFile() {
  static auto* const value = new std::optional<std::filesystem::path>();
  return *value;
}

std::optional<std::string> additionalCAFile() {
  {
    std::lock_guard lock(trustMutex);
    if (trustedCAFile()) return trustedCAFile()->string();
  }
  if (const char* file = std::getenv("TILO_DEV_CA_FILE"); file && *file) return file;
  return std::nullopt;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

long errorCodeFor(CURLcode code, CURL* easy) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kUrlErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT: {
      long osErrno = 0;
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
      return osErrno == ENETUNREACH || osErrno == ENETDOWN ? kUrlErrorNotConnectedToInternet
                                                           : kUrlErrorCannotConnectToHost;
    }
    case CURLE_OPERATION_TIMEDOUT:
      return kUrlErrorTimedOut;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return kUrlErrorNetworkConnectionLost;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return kUrlErrorSecureConnectionFailed;
    case CURLE_URL_MALFORMAT:
      return kUrlErrorBadURL;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kUrlErrorUnsupportedURL;
    case CURLE_TOO_MANY_REDIRECTS:
      return kUrlErrorHTTPTooManyRedirects;
    case CURLE_FILESIZE_EXCEEDED:
      return kUrlErrorDataLengthExceedsMaximum;
    default:
      return kUrlErrorUnknown;
  }
}

bool isHeaderSafe(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

UrlError UrlError::withCode(long code) {
  const char* text = nullptr;
  switch (code) {
    case kUrlErrorCancelled:
      text = "cancelled";
      break;
    case kUrlErrorBadURL:
      text = "bad URL";
      break;
    case kUrlErrorTimedOut:
      text = "The request timed out.";
      break;
    case kUrlErrorUnsupportedURL:
      text = "unsupported URL";
      break;
    case kUrlErrorCannotFindHost:
      text = "A server with the specified hostname could not be found.";
      break;
    case kUrlErrorCannotConnectToHost:
      text = "Could not connect to the server.";
      break;
    case kUrlErrorNetworkConnectionLost:
      text = "The network connection was lost.";
      break;
    case kUrlErrorHTTPTooManyRedirects:
      text = "too many HTTP redirects";
      break;
    case kUrlErrorNotConnectedToInternet:
      text = "The Internet connection appears to be offline.";
      break;
    case kUrlErrorCannotDecodeContentData:
      text = "cannot decode raw data";
      break;
    case kUrlErrorDataLengthExceedsMaximum:
      text = "resource exceeds maximum size";
      break;
    case kUrlErrorSecureConnectionFailed:
      text = "An SSL error has occurred and a secure connection to the server cannot be made.";
      break;
  }
  UrlError error;
  error.code = code;
  error.localizedDescription =
      text ? text
           : "The operation couldn\u2019t be completed. (NSURLErrorDomain error " +
                 std::to_string(code) + ".)";
  return error;
}

std::optional<std::string> HttpResponse::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

std::string HttpResponse::description() const {
  std::string out = "{ URL: " + url + " } { Status Code: " + std::to_string(status) + ", Headers {";
  for (std::size_t i = 0; i < headers.size(); ++i) {
    out += (i ? "; \"" : " \"") + headers[i].first + "\": \"" + headers[i].second + "\"";
  }
  return out + (headers.empty() ? "} }" : " } }");
}

struct HttpTask::Private {
  std::weak_ptr<HttpClient::Worker> worker;
  std::uint64_t id = 0;
};

// Owns the curl multi handle and every transfer; everything but post() runs on the
// worker thread.
class HttpClient::Worker {
 public:
  struct Transfer {
    std::uint64_t id = 0;
    HttpRequest request;
    HttpCompletion completion;
    std::optional<std::string> caFile;  // read when sent, on the caller's thread
    HttpResponse response;
    std::size_t headerBytes = 0;
    long refusal = 0;  // why a callback aborted the transfer; 0 when none did
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;

    ~Transfer() {
      if (easy) curl_easy_cleanup(easy);
      curl_slist_free_all(headerList);
    }
  };
  // Either starts `transfer` or fails transfer `id` with `errorCode`.
  struct Command {
    std::uint64_t id = 0;
    std::unique_ptr<Transfer> transfer;
    long errorCode = 0;
  };

  Worker() : multi_(curl_multi_init()) {}
  ~Worker() { curl_multi_cleanup(multi_); }

  void post(Command command) {
    {
      std::lock_guard lock(mutex_);
      commands_.push_back(std::move(command));
    }
    curl_multi_wakeup(multi_);
  }

  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    curl_multi_wakeup(multi_);
  }

  std::uint64_t nextId() { return ++lastId_; }

  void run() {
    for (;;) {
      std::vector<Command> commands;
      bool stopping = false;
      {
        std::lock_guard lock(mutex_);
        commands.swap(commands_);
        stopping = stopping_;
      }
      for (auto& command : commands) {
        if (command.transfer) {
          start(std::move(command.transfer));
        } else {
          complete(command.id, UrlError::withCode(command.errorCode));
        }
      }
      if (stopping) {
        while (!active_.empty()) {
          complete(active_.begin()->first, UrlError::withCode(kUrlErrorCancelled));
        }
        return;
      }
      int running = 0;
      curl_multi_perform(multi_, &running);
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        Transfer* transfer = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        finish(*transfer, message->data.result);
      }
      curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
  }

 private:
  // Returning anything but the size given aborts the transfer with CURLE_WRITE_ERROR.
  static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    if (transfer.response.body.size() + length > transfer.request.maxResponseBytes) {
      transfer.refusal = kUrlErrorDataLengthExceedsMaximum;
      return 0;
    }
    transfer.response.body.append(data, length);
    return length;
  }

  static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    auto& headers = transfer.response.headers;
    const std::size_t length = size * count;
    transfer.headerBytes += length;
    if (transfer.headerBytes > kMaxResponseHeaderBytes) {
      transfer.refusal = kUrlErrorDataLengthExceedsMaximum;
      return 0;
    }
    std::string_view line(data, length);
    if (line.starts_with("HTTP/")) {
      headers.clear();  // a new response after an interim 1xx answer
    } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
      std::string_view name = trim(line.substr(0, colon));
      std::string_view value = trim(line.substr(colon + 1));
      // Nothing asked for an encoding, so nothing here can decode one.
      if (equalsIgnoringCase(name, "Content-Encoding") && !value.empty() &&
          !equalsIgnoringCase(value, "identity")) {
        transfer.refusal = kUrlErrorCannotDecodeContentData;
        return 0;
      }
      headers.emplace_back(name, value);
    }
    return length;
  }

  void start(std::unique_ptr<Transfer> owned) {
    Transfer& t = *owned;
    std::uint64_t id = t.id;
    active_.emplace(id, std::move(owned));
    // CR or LF would split a header line in two and smuggle a header (or a request) of the
    // value's choosing; NUL would cut it short. Such a request is refused whole, unsent.
    for (const auto& [name, value] : t.request.headers) {
      if (!isHeaderSafe(name) || !isHeaderSafe(value)) {
        return complete(id, UrlError::withCode(kUrlErrorBadURL));
      }
    }
    t.easy = curl_easy_init();
    if (!t.easy) return complete(id, UrlError::withCode(kUrlErrorUnknown));
    CURL* easy = t.easy;
    const HttpRequest& request = t.request;
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    // Requests carry the app key: a redirect must never take it to another host.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    // No Accept-Encoding is sent, and whatever arrives is never inflated.
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    // A declared length over the limit fails before any of the body is read.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(request.maxResponseBytes));
    curl_easy_setopt(easy, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (t.caFile) curl_easy_setopt(easy, CURLOPT_CAINFO, t.caFile->c_str());
    curl_easy_setopt(
        easy, CURLOPT_CONNECTTIMEOUT_MS,
        static_cast<long>((std::max(request.timeoutSeconds, 0.0) + kConnectTimeoutMarginSeconds) *
                          1000));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Worker::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Worker::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);

    if (request.method == "GET") {
      curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD") {
      curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
      if (request.method != "POST") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
      }
      if (request.method == "POST" || !request.body.empty()) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
      }
    }
    // No "Expect: 100-continue" round trip before larger bodies.
    t.headerList = curl_slist_append(t.headerList, "Expect:");
    for (const auto& [name, value] : request.headers) {
      // curl drops "Name:" lines; "Name;" sends the header with an empty value.
      std::string line = value.empty() ? name + ";" : name + ": " + value;
      t.headerList = curl_slist_append(t.headerList, line.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headerList);

    if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
      complete(id, UrlError::withCode(kUrlErrorUnknown));
    }
  }

  void finish(Transfer& transfer, CURLcode code) {
    if (code != CURLE_OK) {
      const long error = transfer.refusal ? transfer.refusal : errorCodeFor(code, transfer.easy);
      UrlError failed = UrlError::withCode(error);
      long osErrno = 0;
      if (!transfer.refusal) {
        curl_easy_getinfo(transfer.easy, CURLINFO_OS_ERRNO, &osErrno);
        failed.failureReason = osErrno ? std::generic_category().message(static_cast<int>(osErrno))
                                       : std::string(curl_easy_strerror(code));
      }
      return complete(transfer.id, std::move(failed));
    }
    HttpResponse& response = transfer.response;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &response.status);
    char* url = nullptr;
    curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &url);
    response.url = url ? url : transfer.request.url;
    complete(transfer.id, std::move(response));
  }

  // Calls the completion of transfer `id` if it is still active; later calls for the
  // same id find nothing, which makes completion exactly-once.
  void complete(std::uint64_t id, HttpResult result) {
    auto it = active_.find(id);
    if (it == active_.end()) return;
    std::unique_ptr<Transfer> transfer = std::move(it->second);
    active_.erase(it);
    if (transfer->easy) curl_multi_remove_handle(multi_, transfer->easy);
    auto completion = std::move(transfer->completion);
    transfer.reset();
    completion(std::move(result));
  }

  CURLM* const multi_;
  std::mutex mutex_;
  std::vector<Command> commands_;
  bool stopping_ = false;
  std::atomic<std::uint64_t> lastId_{0};
  std::map<std::uint64_t, std::unique_ptr<Transfer>> active_;
};

void HttpTask::cancel() {
  if (auto worker = state_->worker.lock()) {
    worker->post({state_->id, nullptr, kUrlErrorCancelled});
  }
}

HttpClient::HttpClient() {
  // Without libcurl every request fails at once, with the library to install.
  if (auto missing = missingLibrary(SystemFeature::network)) {
    unavailable_ = missing->message();
    return;
  }
  static std::once_flag curlInit;
  std::call_once(curlInit, [] {
    initializeOpenSsl();
    curl_global_init(CURL_GLOBAL_DEFAULT);
  });
  worker_ = std::make_shared<Worker>();
  thread_ = std::thread([worker = worker_, finished = finished_]() mutable {
    MainLoop::markWorkerThread();
    worker->run();
    worker.reset();
    finished->store(true);
  });
  setThreadName(thread_, "tilo-http");
}

HttpClient::~HttpClient() {
  stop();
}

void HttpClient::stop() {
  if (!worker_) return;
  worker_->stop();
  if (!thread_.joinable()) return;
  // Released from one of its own completions: the thread keeps the worker alive and ends
  // by itself; whoever shuts the SDK down waits for it.
  if (thread_.get_id() == std::this_thread::get_id()) {
    adoptFinishingThread(std::move(thread_), finished_);
  } else {
    thread_.join();
  }
}

namespace {
std::mutex sharedClientMutex;
std::shared_ptr<HttpClient>* sharedClient = nullptr;  // never destroyed, see shared()
}  // namespace

std::shared_ptr<HttpClient> HttpClient::shared() {
  // Never destroyed: completions may still arrive while the process exits.
  std::lock_guard lock(sharedClientMutex);
  if (!sharedClient) sharedClient = new std::shared_ptr<HttpClient>();
  if (!*sharedClient) *sharedClient = create();
  return *sharedClient;
}

void HttpClient::shutdownShared() {
  std::shared_ptr<HttpClient> client;
  {
    std::lock_guard lock(sharedClientMutex);
    if (sharedClient) client = std::exchange(*sharedClient, nullptr);
  }
  // Objects that still hold it send into a stopped worker; the worker and its connections
  // go with the last of them.
  if (client) client->stop();
}

std::shared_ptr<HttpClient> HttpClient::create() {
  return std::shared_ptr<HttpClient>(new HttpClient());
}

std::shared_ptr<HttpTask> HttpClient::send(HttpRequest request, HttpCompletion completion) {
  if (!worker_) {
    UrlError error = UrlError::withCode(kUrlErrorCannotConnectToHost);
    error.localizedDescription = unavailable_;
    Environment::current().backgroundExecutor()->post(
        [completion = std::move(completion), error = std::move(error)] { completion(error); });
    return std::make_shared<HttpTask>(std::make_shared<HttpTask::Private>());
  }
  auto transfer = std::make_unique<Worker::Transfer>();
  transfer->id = worker_->nextId();
  transfer->request = std::move(request);
  transfer->completion = std::move(completion);
  transfer->caFile = additionalCAFile();
  auto state = std::make_shared<HttpTask::Private>();
  state->worker = worker_;
  state->id = transfer->id;
  if (double timeout = transfer->request.timeoutSeconds; timeout > 0) {
    Environment::current().backgroundExecutor()->postDelayed(
        [worker = std::weak_ptr<Worker>(worker_), id = state->id] {
          if (auto strong = worker.lock()) strong->post({id, nullptr, kUrlErrorTimedOut});
        },
        timeout);
  }
  worker_->post({state->id, std::move(transfer), 0});
  return std::make_shared<HttpTask>(std::move(state));
}

void HttpClient::setAdditionalTrustedCAFile(std::optional<std::filesystem::path> pemFile) {
  std::lock_guard lock(trustMutex);
  trustedCAFile() = std::move(pemFile);
}

std::optional<std::string> HttpClient::additionalTrustedCAFile() {
  return additionalCAFile();
}

}  // namespace tilo::platform
