#include "support/LoopbackHttpServer.h"

#include <chrono>
#include <stdexcept>

namespace tilo::test {

LoopbackHttpServer::LoopbackHttpServer(std::optional<Tls> tls) : tls_(tls.has_value()) {
  if (tls) {
    server_ = std::make_unique<httplib::SSLServer>(tls->certFile.c_str(), tls->keyFile.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  if (!server_->is_valid()) throw std::runtime_error("loopback server: invalid TLS setup");
  server_->set_tcp_nodelay(true);
  server_->set_keep_alive_timeout(1);
}

LoopbackHttpServer::~LoopbackHttpServer() {
  {
    std::lock_guard lock(mutex_);
    shuttingDown_ = true;
  }
  released_.notify_all();
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

void LoopbackHttpServer::start() {
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ < 0) throw std::runtime_error("loopback server: bind failed");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // stop() is ignored until the accept loop runs, so wait for it (only thread start-up).
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server_->is_running() && std::chrono::steady_clock::now() < limit) {
    std::this_thread::yield();
  }
}

std::string LoopbackHttpServer::url(std::string_view path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
         std::string(path);
}

void LoopbackHttpServer::holdUntilShutdown() {
  std::unique_lock lock(mutex_);
  released_.wait(lock, [this] { return shuttingDown_; });
}

}  // namespace tilo::test
