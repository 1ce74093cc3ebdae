#include "platform/HttpClient.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "platform/SystemLibraries.h"
#include "platform/TestEnvironment.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"

namespace tilo::platform {
namespace {

using test::LoopbackHttpServer;

// Collects completions on the test thread, the way callers hop to their own executor.
struct Recorder {
  struct Entry {
    HttpResult result;
    std::thread::id thread;
  };
  explicit Recorder(TestEnvironment& env) : env(env), main(env.mainExecutor()) {}

  HttpCompletion callback() {
    return [this](HttpResult result) {
      main->post([this, result = std::move(result), id = std::this_thread::get_id()] {
        entries.push_back({result, id});
      });
    };
  }
  // Waits (real time, bounded) until `count` completions arrived.
  bool waitFor(std::size_t count) {
    return env.runUntil([&] { return entries.size() >= count; });
  }
  // Sends `request` and waits for its completion; returns its index.
  std::size_t fetch(HttpClient& client, const HttpRequest& request) {
    const std::size_t index = entries.size();
    client.send(request, callback());
    EXPECT_TRUE(waitFor(index + 1));
    return index;
  }
  const HttpResponse& response(std::size_t i) const {
    return std::get<HttpResponse>(entries.at(i).result);
  }
  long errorCode(std::size_t i) const {
    const auto* error = std::get_if<UrlError>(&entries.at(i).result);
    return error ? error->code : 0;
  }
  const UrlError& error(std::size_t i) const { return std::get<UrlError>(entries.at(i).result); }

  TestEnvironment& env;
  std::shared_ptr<Executor> main;
  std::vector<Entry> entries;
};

HttpRequest get(std::string url) {
  HttpRequest request;
  request.url = std::move(url);
  return request;
}

TEST(HttpClientTest, AnyStatusIsAResponseWithHeadersAndBody) {
  TestEnvironment env;
  // Declared before the server so they outlive its handler threads.
  std::set<int> clientPorts;
  std::vector<std::string> getKeys;  // the Tilo-App-Key of every GET that arrived
  std::mutex mutex;
  std::condition_variable allThere;
  int waiting = 0;
  LoopbackHttpServer server;
  server.http().Get("/ok", [&](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex);
    clientPorts.insert(req.remote_port);
    getKeys.push_back(req.get_header_value("Tilo-App-Key"));
    res.set_header("X-Trace", "abc");
    res.set_content("hello", "text/plain");
  });
  server.http().Post("/fail", [&](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard lock(mutex);
    clientPorts.insert(req.remote_port);
    res.status = 500;
    res.set_content(req.method + "|" + req.get_header_value("Tilo-App-Key") + "|" +
                        req.get_header_value("Content-Type") + "|" + req.body,
                    "text/plain");
  });
  // Answers only once three requests are being served at the same time.
  server.http().Get("/barrier", [&](const httplib::Request& req, httplib::Response& res) {
    std::unique_lock lock(mutex);
    ++waiting;
    allThere.notify_all();
    bool together = allThere.wait_for(lock, std::chrono::seconds(20), [&] { return waiting >= 3; });
    res.status = together ? 200 : 503;
    res.set_content(req.get_param_value("n"), "text/plain");
  });
  server.start();
  Recorder recorder(env);
  auto client = HttpClient::create();

  // 1. A header with a line break or a NUL is refused unsent.
  const HttpHeaders unsafe[] = {
      {{"Tilo-App-Key", "key\r\nX-Injected: 1"}},
      {{"Tilo-App-Key", "key\nX-Injected: 1"}},
      {{"Tilo-App-Key", std::string("key\0tail", 8)}},
      {{"X-Name\r\nX-Injected", "1"}},
  };
  for (const auto& headers : unsafe) {
    HttpRequest request = get(server.url("/ok"));
    request.headers = headers;
    client->send(request, recorder.callback());
  }
  ASSERT_TRUE(recorder.waitFor(4));
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(recorder.errorCode(i), kUrlErrorBadURL) << i;

  // 2. Then the client still sends, and any status is a response.
  recorder.fetch(*client, get(server.url("/ok")));
  HttpRequest post = get(server.url("/fail"));
  post.method = "POST";
  post.headers = {{"Tilo-App-Key", "key-1"}, {"Content-Type", "application/json"}};
  post.body = std::string(3000, 'x');  // large enough that curl would otherwise wait on 100
  recorder.fetch(*client, post);

  const HttpResponse& ok = recorder.response(4);
  EXPECT_EQ((std::tuple{ok.status, ok.body, ok.header("x-trace"), ok.url}),
            (std::tuple{200L, std::string("hello"), std::optional<std::string>("abc"),
                        server.url("/ok")}));
  EXPECT_NE(ok.description().find("Status Code: 200"), std::string::npos);
  const HttpResponse& failed = recorder.response(5);
  EXPECT_EQ(std::pair(failed.status, failed.body),
            std::pair(500L, "POST|key-1|application/json|" + std::string(3000, 'x')));
  // Completions run on the one worker thread, not on the caller's.
  EXPECT_NE(recorder.entries[4].thread, std::this_thread::get_id());
  EXPECT_EQ(recorder.entries[4].thread, recorder.entries[5].thread);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(getKeys, std::vector<std::string>{""});
    // The second request reused the first one's connection.
    EXPECT_EQ(clientPorts.size(), 1u);
  }

  // 3. Several requests run at once.
  for (int n = 0; n < 3; ++n) {
    client->send(get(server.url("/barrier?n=" + std::to_string(n))), recorder.callback());
  }
  ASSERT_TRUE(recorder.waitFor(9));
  std::set<std::pair<int, std::string>> answers;
  for (std::size_t i = 6; i < 9; ++i) {
    answers.emplace(recorder.response(i).status, recorder.response(i).body);
  }
  EXPECT_EQ(answers, (std::set<std::pair<int, std::string>>{{200, "0"}, {200, "1"}, {200, "2"}}));
}

// A server that takes the request and never answers.
struct SilentServer {
  explicit SilentServer(TestEnvironment& env) {
    server.http().Get(
        "/hang", [this, main = env.mainExecutor()](const httplib::Request&, httplib::Response&) {
          main->post([this] { ++arrived; });
          server.holdUntilShutdown();
        });
    server.http().Get("/ok", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("ok", "text/plain");
    });
    server.start();
  }
  LoopbackHttpServer server;
  int arrived = 0;
};

TEST(HttpClientTest, TimeoutCancelTheBodyCapAndRefusalsCompleteOnce) {
  TestEnvironment env;
  SilentServer silent(env);
  Recorder recorder(env);
  auto client = HttpClient::create();
  // 1. The timeout fires at its deadline on the environment's clock, not before.
  HttpRequest request = get(silent.server.url("/hang"));
  request.timeoutSeconds = 60;
  auto timedOut = client->send(request, recorder.callback());
  ASSERT_TRUE(env.runUntil([&] { return silent.arrived == 1; }));
  env.advance(59.9);
  EXPECT_TRUE(recorder.entries.empty());
  env.advance(0.1);
  ASSERT_TRUE(recorder.waitFor(1));
  EXPECT_EQ(recorder.errorCode(0), kUrlErrorTimedOut);
  EXPECT_EQ(recorder.error(0).localizedDescription, "The request timed out.");

  // 2. Cancelled twice, a request completes once. Neither a late cancel of the timed-out
  //    task nor the cancelled one's expired timeout completes again: the worker handles
  //    commands in order, so a second completion would come before the next answer.
  timedOut->cancel();
  auto task = client->send(get(silent.server.url("/hang")), recorder.callback());
  ASSERT_TRUE(env.runUntil([&] { return silent.arrived == 2; }));
  task->cancel();
  task->cancel();
  ASSERT_TRUE(recorder.waitFor(2));
  EXPECT_EQ(recorder.errorCode(1), kUrlErrorCancelled);
  env.advance(61);
  recorder.fetch(*client, get(silent.server.url("/ok")));
  EXPECT_EQ(recorder.response(2).body, "ok");
  EXPECT_EQ(recorder.entries.size(), 3u);

  // 3. A body of exactly the cap arrives; one byte more is refused.
  for (std::size_t cap : {2, 1}) {
    HttpRequest capped = get(silent.server.url("/ok"));
    capped.maxResponseBytes = cap;
    recorder.fetch(*client, capped);
  }
  EXPECT_EQ(recorder.response(3).body, "ok");
  EXPECT_EQ(recorder.errorCode(4), kUrlErrorDataLengthExceedsMaximum);

  // 4. Requests still running when their client goes away are cancelled, not dropped.
  client->send(get(silent.server.url("/hang")), recorder.callback());
  ASSERT_TRUE(env.runUntil([&] { return silent.arrived == 3; }));
  client.reset();
  ASSERT_TRUE(recorder.waitFor(6));
  EXPECT_EQ(recorder.errorCode(5), kUrlErrorCancelled);

  // 5. A refused connection and a scheme the client does not speak fail at once.
  client = HttpClient::create();
  const auto refused = recorder.fetch(*client, get("http://127.0.0.1:1/"));  // nothing listens
  EXPECT_EQ(recorder.errorCode(refused), kUrlErrorCannotConnectToHost);
  EXPECT_EQ(recorder.error(refused).localizedDescription, "Could not connect to the server.");
  EXPECT_EQ(recorder.error(refused).domain, "NSURLErrorDomain");
  EXPECT_EQ(recorder.errorCode(recorder.fetch(*client, get("ftp://127.0.0.1/file"))),
            kUrlErrorUnsupportedURL);

  // 6. A host without libcurl: a client made then fails every request, naming the library.
  setSystemLibraryCheckForTesting([](SystemFeature feature) -> std::optional<MissingLibrary> {
    if (feature != SystemFeature::network) return std::nullopt;
    return MissingLibrary{"libcurl.so.4", "cannot open shared object file", feature};
  });
  auto withoutCurl = HttpClient::create();
  setSystemLibraryCheckForTesting(nullptr);
  const auto missing = recorder.fetch(*withoutCurl, get("http://127.0.0.1:1/"));
  EXPECT_EQ(recorder.errorCode(missing), kUrlErrorCannotConnectToHost);
  EXPECT_EQ(recorder.error(missing).localizedDescription,
            "libcurl.so.4 cannot be loaded (cannot open shared object file): install it to "
            "reach the backend");
}

TEST(HttpClientTest, TlsPeersAreVerified) {
  test::TempDir dir;
  auto certs = test::TestCertificates::generate(dir.path());
  TestEnvironment env;
  LoopbackHttpServer trusted(LoopbackHttpServer::Tls{certs.serverCert, certs.serverKey});
  LoopbackHttpServer misnamed(LoopbackHttpServer::Tls{certs.otherHostCert, certs.otherHostKey});
  for (auto* server : {&trusted, &misnamed}) {
    server->http().Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("secure", "text/plain");
    });
    server->start();
  }
  Recorder recorder(env);
  auto client = HttpClient::create();
  auto fetch = [&](const std::string& url) { return recorder.fetch(*client, get(url)); };

  // 1. A certificate from a CA that nobody trusts.
  HttpClient::setAdditionalTrustedCAFile(std::nullopt);
  ::unsetenv("TILO_DEV_CA_FILE");
  EXPECT_EQ(recorder.errorCode(fetch(trusted.url("/"))), kUrlErrorSecureConnectionFailed);
  // 2. Trusting the test CA for development makes the same server work.
  HttpClient::setAdditionalTrustedCAFile(certs.caFile);
  EXPECT_EQ(recorder.response(fetch(trusted.url("/"))).body, "secure");
  // 3. A trusted certificate that names another host is still refused.
  auto index = fetch(misnamed.url("/"));
  EXPECT_EQ(recorder.errorCode(index), kUrlErrorSecureConnectionFailed);
  EXPECT_EQ(recorder.error(index).localizedDescription,
            "An SSL error has occurred and a secure connection to the server cannot be made.");
  // 4. The environment variable is the same development setting.
  HttpClient::setAdditionalTrustedCAFile(std::nullopt);
  ::setenv("TILO_DEV_CA_FILE", certs.caFile.c_str(), 1);
  client = HttpClient::create();  // no kept-alive connection from step 2
  EXPECT_EQ(recorder.response(fetch(trusted.url("/"))).status, 200);
  ::unsetenv("TILO_DEV_CA_FILE");
}

}  // namespace
}  // namespace tilo::platform
