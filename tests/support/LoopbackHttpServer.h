// An HTTP(S) server on 127.0.0.1 with an ephemeral port, serving from its own thread.
//
//   LoopbackHttpServer server;
//   server.http().Get("/sdk/init", [](const httplib::Request&, httplib::Response& res) {
//     res.set_content("{}", "application/json");
//   });
//   server.start();
//   request.url = server.url("/sdk/init");
//
// Destroy the clients that talk to it first, so no kept-alive connection delays shutdown.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace tilo::test {

class LoopbackHttpServer {
 public:
  struct Tls {
    std::filesystem::path certFile;
    std::filesystem::path keyFile;
  };

  explicit LoopbackHttpServer(std::optional<Tls> tls = std::nullopt);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  // Register handlers here before start().
  httplib::Server& http() { return *server_; }
  // Binds and starts serving; connections are accepted from the moment it returns.
  void start();
  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path (https for a TLS server).
  std::string url(std::string_view path) const;

  // Called from a handler: blocks it until the server shuts down, so the request is never
  // answered.
  void holdUntilShutdown();

 private:
  std::unique_ptr<httplib::Server> server_;
  bool tls_;
  int port_ = -1;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool shuttingDown_ = false;
};

}  // namespace tilo::test
