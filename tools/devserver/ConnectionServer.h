// The devserver's sockets: a thread per accepted connection, a deadline for each request to
// arrive, a cap on open connections (503 beyond it), and answers a handler can withhold.
#pragma once

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace tilo::devserver {

// cpp-httplib parses and routes the requests; the sockets are handled here, so that a handler
// can withhold its answer and shutdown() ends idle keep-alive connections at once.
class ConnectionServer : public httplib::Server {
 public:
  ConnectionServer(int readTimeoutMs, int maxConnections)
      : readTimeout_(std::chrono::milliseconds(std::max(readTimeoutMs, 1))),
        maxConnections_(static_cast<std::size_t>(std::max(maxConnections, 1))) {}
  ~ConnectionServer() override { shutdown(); }

  // Binds and listens; returns the port, or -1 with the reason in `problem`.
  int bind(const std::string& host, int port, std::string& problem);
  void start();
  void shutdown();

  // Called from a request handler: its connection is closed without the answer being
  // written.
  static void withholdAnswer();
  // Called from a request handler or the logger: when the request being served began to
  // arrive.
  static std::chrono::steady_clock::time_point requestStart();

 private:
  struct Connection {
    int fd = -1;
    bool done = false;
    std::thread thread;
  };

  void acceptLoop();
  void serve(Connection& connection);

  const std::chrono::milliseconds readTimeout_;
  const std::size_t maxConnections_;
  int listenFd_ = -1;
  std::thread acceptThread_;
  std::mutex mutex_;  // guards the fields below and the closing of connection sockets
  std::condition_variable wake_;
  bool stopping_ = false;
  std::list<Connection> connections_;
};

}  // namespace tilo::devserver
