#include "tools/devserver/ConnectionServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "tools/devserver/DevServer.h"

namespace tilo::devserver {
namespace {

void describeAddress(int (*query)(int, sockaddr*, socklen_t*), int fd, std::string& ip, int& port) {
  sockaddr_storage storage{};
  socklen_t length = sizeof storage;
  char text[INET6_ADDRSTRLEN] = {};
  if (query(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return;
  if (storage.ss_family == AF_INET) {
    const auto& in = reinterpret_cast<const sockaddr_in&>(storage);
    ::inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    port = ntohs(in.sin_port);
  } else if (storage.ss_family == AF_INET6) {
    const auto& in6 = reinterpret_cast<const sockaddr_in6&>(storage);
    ::inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    port = ntohs(in6.sin6_port);
  }
  ip = text;
}

// One accepted connection as cpp-httplib reads and writes it. Reads wait for data until the
// deadline of the request being read; a withheld answer is never written.
class ConnectionStream final : public httplib::Stream {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ConnectionStream(int fd) : fd_(fd) {}

  // Everything read from now on belongs to one request, which must have arrived by then.
  void setDeadline(Clock::time_point deadline) {
    deadline_ = deadline;
    started_ = false;
  }
  // When the first byte of the current request was read.
  Clock::time_point requestStart() const { return started_ ? start_ : Clock::now(); }

  using httplib::Stream::write;
  bool is_readable() const override { return true; }
  bool is_writable() const override { return !withheld_; }
  ssize_t read(char* ptr, size_t size) override {
    if (next_ == filled_) {
      if (!waitReadable()) return -1;
      ssize_t n = 0;
      do n = ::recv(fd_, buffer_, sizeof buffer_, 0);
      while (n < 0 && errno == EINTR);
      if (n <= 0) return -1;
      next_ = 0;
      filled_ = static_cast<size_t>(n);
    }
    if (!started_) {
      start_ = Clock::now();
      started_ = true;
    }
    const size_t count = std::min(size, filled_ - next_);
    std::memcpy(ptr, buffer_ + next_, count);
    next_ += count;
    return static_cast<ssize_t>(count);
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (withheld_) return -1;
    ssize_t n = 0;
    do n = ::send(fd_, ptr, size, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n;
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    describeAddress(::getpeername, fd_, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    describeAddress(::getsockname, fd_, ip, port);
  }
  int socket() const override { return fd_; }

  void withhold() { withheld_ = true; }
  bool withheld() const { return withheld_; }

 private:
  // A slow client is cut at the deadline, however it spaces its bytes.
  bool waitReadable() const {
    for (;;) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
      if (left <= 0) return false;
      pollfd readable{fd_, POLLIN, 0};
      const int ready = ::poll(&readable, 1, static_cast<int>(std::min<long long>(left, 60'000)));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
    }
  }

  int fd_;
  Clock::time_point deadline_ = Clock::time_point::max();
  Clock::time_point start_;
  bool started_ = false;
  char buffer_[4096];
  size_t next_ = 0;
  size_t filled_ = 0;
  bool withheld_ = false;
};

// The connection served by this thread, so that a handler can withhold its answer.
thread_local ConnectionStream* currentConnection = nullptr;

}  // namespace

int ConnectionServer::bind(const std::string& host, int port, std::string& problem) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int status =
          ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found)) {
    problem = ::gai_strerror(status);
    return -1;
  }
  const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  const bool ok = fd >= 0 && ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
                  ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 128) == 0;
  problem = std::strerror(errno);
  ::freeaddrinfo(found);
  if (!ok) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  listenFd_ = fd;
  std::string ip;
  int bound = -1;
  describeAddress(::getsockname, fd, ip, bound);
  return bound;
}

void ConnectionServer::start() {
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

void ConnectionServer::shutdown() {
  if (!acceptThread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const Connection& connection : connections_) {
      if (connection.fd >= 0) ::shutdown(connection.fd, SHUT_RDWR);
    }
  }
  wake_.notify_all();
  ::shutdown(listenFd_, SHUT_RDWR);
  acceptThread_.join();
  ::close(listenFd_);
  for (Connection& connection : connections_) connection.thread.join();
  connections_.clear();
}

void ConnectionServer::withholdAnswer() {
  if (currentConnection) currentConnection->withhold();
}

std::chrono::steady_clock::time_point ConnectionServer::requestStart() {
  return currentConnection ? currentConnection->requestStart() : std::chrono::steady_clock::now();
}

void ConnectionServer::acceptLoop() {
  AcceptBackoff backoff;
  while (true) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    const int error = errno;
    std::unique_lock lock(mutex_);
    if (stopping_) {
      if (fd >= 0) ::close(fd);
      return;
    }
    if (fd < 0) {
      // shutdown() of the listening socket makes accept fail with EINVAL.
      if (error == EINVAL || error == EBADF) return;
      // Out of descriptors, the pending connection stays queued and accept fails again at
      // once: pause instead of spinning until one is freed.
      if (AcceptBackoff::pausesFor(error)) {
        wake_.wait_for(lock, std::chrono::milliseconds(backoff.nextDelayMs()),
                       [this] { return stopping_; });
      }
      continue;
    }
    backoff.reset();
    // Finished connections are joined here so their threads do not pile up.
    connections_.remove_if([](Connection& connection) {
      if (connection.done) connection.thread.join();
      return connection.done;
    });
    if (connections_.size() >= maxConnections_) {
      lock.unlock();
      static constexpr std::string_view kBusy =
          "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
      [[maybe_unused]] auto sent =
          ::send(fd, kBusy.data(), kBusy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      ::shutdown(fd, SHUT_WR);
      ::close(fd);
      continue;
    }
    const int nodelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &nodelay, sizeof nodelay);
    // A client that stops reading cannot hold an answer's thread for longer either.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(readTimeout_);
    const timeval sendTimeout{static_cast<time_t>(seconds.count()),
                              static_cast<suseconds_t>((readTimeout_ - seconds).count() * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    Connection& connection = connections_.emplace_back();
    connection.fd = fd;
    connection.thread = std::thread([this, &connection] { serve(connection); });
  }
}

void ConnectionServer::serve(Connection& connection) {
  ConnectionStream stream(connection.fd);
  currentConnection = &stream;
  bool closed = false;
  do {
    stream.setDeadline(ConnectionStream::Clock::now() + readTimeout_);
  } while (!closed && process_request(stream, false, closed, nullptr) && !stream.withheld());
  currentConnection = nullptr;
  // Closed under the lock so that shutdown() never touches a reused descriptor.
  std::lock_guard lock(mutex_);
  ::close(connection.fd);
  connection.fd = -1;
  connection.done = true;
}

bool AcceptBackoff::pausesFor(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

int AcceptBackoff::nextDelayMs() {
  const int delay = delayMs_;
  delayMs_ = std::min(delayMs_ * 2, kMaxMs);
  return delay;
}

}  // namespace tilo::devserver
