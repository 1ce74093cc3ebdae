// Hostile backend answers over real loopback HTTP: each must end as one failed attempt of
// the fetch's retry loop (running on mock time) and as an error of the upload, without the
// app key leaving for another host and without the body being inflated or buffered whole.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "Tilo/backend/NetworkClient.h"
#include "Tilo/backend/NetworkError.h"
#include "Tilo/backend/TiloApi.h"
#include "platform/FileSystem.h"
#include "platform/TestEnvironment.h"
#include "support/LoopbackHttpServer.h"
#include "support/TempDir.h"

namespace tilo::test {
namespace {

constexpr const char* kAppKey = "matrix-app-key";
constexpr const char* kAppInfo =
    R"({"feeRate":0.1,"adUnits":[{"tiloAdUnitId":"u1","mediationAdUnitId":"m1","name":"U","type":"banner"}]})";
constexpr std::size_t kHuge = 100 << 20;

std::uint32_t crc32(std::uint32_t crc, const std::string& bytes, std::size_t repeat = 1) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t r = 0; r < repeat; ++r) {
    for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  }
  return ~crc;
}

// gzip of `json` followed by `blanks` spaces, about two bytes per 258 blanks: still valid
// JSON for a client that inflates it, gibberish for one that does not.
std::string gzipPadded(const std::string& json, std::size_t blanks) {
  std::string out("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10);
  std::uint32_t pending = 0;
  int count = 0;
  auto put = [&](std::uint32_t value, int length) {  // stream bits go least significant first
    pending |= value << count;
    for (count += length; count >= 8; count -= 8, pending >>= 8) out += char(pending & 0xFF);
  };
  auto code = [&](std::uint32_t value, int length) {  // Huffman codes go most significant first
    std::uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) reversed |= ((value >> i) & 1) << (length - 1 - i);
    put(reversed, length);
  };
  auto literal = [&](unsigned char c) { c < 144 ? code(0x30 + c, 8) : code(0x190 + c - 144, 9); };
  put(1, 1);  // last block
  put(1, 2);  // fixed Huffman codes
  for (unsigned char c : json) literal(c);
  literal(' ');
  std::size_t left = blanks - 1;
  for (; left >= 258; left -= 258) {
    code(0xC5, 8);  // length 258
    code(0, 5);     // distance 1
  }
  for (; left > 0; --left) literal(' ');
  code(0, 7);  // end of block
  if (count > 0) put(0, 8 - count);
  const std::uint32_t crc = crc32(crc32(crc32(0, json), std::string(1024, ' '), blanks / 1024),
                                  std::string(blanks % 1024, ' '));
  const auto size = static_cast<std::uint32_t>(json.size() + blanks);
  for (std::uint32_t word : {crc, size}) {
    for (int i = 0; i < 4; ++i) out += char((word >> (8 * i)) & 0xFF);
  }
  return out;
}

class BackendMatrixTest : public ::testing::Test {
 protected:
  using Answer = std::function<void(httplib::Response&)>;

  BackendMatrixTest() {
    platform::FileSystem::setApplicationContainer(container.path());
    auto serve = [this](const httplib::Request&, httplib::Response& res) {
      Answer answer;
      {
        std::lock_guard lock(mutex);
        answer = hostile;
      }
      if (served++ == 0 && answer) {
        answer(res);
      } else {
        res.set_content(kAppInfo, "application/json");
      }
    };
    backend.http().Get("/sdk/init", serve);
    backend.http().Post("/analytics/events", serve);
    backend.start();
    otherHost.http().set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
      ++otherHostRequests;
      return httplib::Server::HandlerResponse::Unhandled;
    });
    otherHost.start();
    api = TiloApi::create(backend.url(""), kAppKey,
                          NetworkClient::create(platform::HttpClient::create()),
                          RetryPolicy{2, 2.0, 2.0});
  }
  ~BackendMatrixTest() override { platform::FileSystem::setApplicationContainer(std::nullopt); }

  // The fetch's first attempt meets `answer`, the second one a good answer.
  void expectOneFailedAttempt(const Answer& answer) {
    setHostile(answer);
    std::optional<Result<TiloAppInfo>> result;
    api->fetchAppInfoWithRetry(2, 2.0, 2.0, [&](Result<TiloAppInfo> r) { result = std::move(r); });
    ASSERT_TRUE(env.runUntil([] { return NetworkClient::requestsInFlight() == 0; }));
    EXPECT_FALSE(result.has_value());
    EXPECT_EQ(env.nextDelay(), 2.0);
    env.advance(2.0);
    ASSERT_TRUE(env.runUntil([&] { return result.has_value(); }));
    EXPECT_TRUE(result->ok());
    EXPECT_EQ(served, 2);
  }

  // The upload meets `answer`; returns the error it completed with.
  std::exception_ptr upload(const Answer& answer) {
    setHostile(answer);
    std::optional<std::exception_ptr> error;
    api->sendEvents(platform::Json{{"events", platform::Json::array()}},
                    [&](std::exception_ptr e) { error = e; });
    EXPECT_TRUE(env.runUntil([&] { return error.has_value(); }));
    return error.value_or(nullptr);
  }

  void setHostile(const Answer& answer) {
    std::lock_guard lock(mutex);
    hostile = answer;
    served = 0;
  }

  static long urlErrorCode(const std::exception_ptr& error) {
    auto transport = catchAs<TransportError>(error);
    return transport ? transport->urlError().code : 0;
  }

  TempDir container;
  platform::TestEnvironment env;
  std::atomic<int> served{0};
  std::atomic<int> otherHostRequests{0};
  std::mutex mutex;  // the server's threads read `hostile`
  Answer hostile;
  LoopbackHttpServer backend;
  LoopbackHttpServer otherHost;
  std::shared_ptr<TiloApi> api;  // talks to `backend`, so it goes first
};

TEST_F(BackendMatrixTest, RedirectToAnotherHostIsNotFollowed) {
  const Answer redirect = [&](httplib::Response& res) {
    res.set_redirect(otherHost.url("/sdk/init"), 307);
  };
  expectOneFailedAttempt(redirect);
  auto bad = catchAs<NetworkError>(upload(redirect));
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->statusCode(), 307);
  // Neither the fetch nor the upload, with their app key, reached the other host.
  EXPECT_EQ(otherHostRequests, 0);
}

TEST_F(BackendMatrixTest, GzipBombIsNeverInflated) {
  // 16 MB of JSON once inflated, about 130 KB on the wire.
  const std::string bomb = gzipPadded(kAppInfo, 16 << 20);
  ASSERT_LT(bomb.size(), 160'000u);
  const Answer gzip = [bomb](httplib::Response& res) {
    res.set_content(bomb, "application/json");
    res.set_header("Content-Encoding", "gzip");
  };
  expectOneFailedAttempt(gzip);
  EXPECT_EQ(urlErrorCode(upload(gzip)), platform::kUrlErrorCannotDecodeContentData);
}

TEST_F(BackendMatrixTest, HundredMegabyteBodyIsCutAtTheCap) {
  std::atomic<std::size_t> written{0};
  std::atomic<int> finished{0};
  auto main = env.mainExecutor();
  const Answer endless = [&](httplib::Response& res) {
    res.set_chunked_content_provider("application/json", [&, chunk = std::string(64 << 10, ' ')](
                                                             std::size_t, httplib::DataSink& sink) {
      if (written >= kHuge || !sink.write(chunk.data(), chunk.size())) {
        if (written < kHuge) main->post([&] { ++finished; });
        return false;
      }
      written += chunk.size();
      return true;
    });
  };
  // 1. A chunked body without a declared length is cut once past the cap.
  expectOneFailedAttempt(endless);
  ASSERT_TRUE(env.runUntil([&] { return finished == 1; }));
  EXPECT_LT(written, std::size_t{24 << 20});
  written = 0;
  EXPECT_EQ(urlErrorCode(upload(endless)), platform::kUrlErrorDataLengthExceedsMaximum);
  ASSERT_TRUE(env.runUntil([&] { return finished == 2; }));
  EXPECT_LT(written, std::size_t{24 << 20});

  // 2. A declared length over the cap fails before the body is read.
  const Answer declared = [&](httplib::Response& res) {
    res.set_content_provider(kHuge, "application/json",
                             [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
  };
  expectOneFailedAttempt(declared);
  EXPECT_EQ(urlErrorCode(upload(declared)), platform::kUrlErrorDataLengthExceedsMaximum);
}

}  // namespace
}  // namespace tilo::test
