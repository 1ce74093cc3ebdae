#include "tools/devserver/DevServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "tools/devserver/Dashboard.h"

namespace tilo::devserver {
namespace {

using platform::Json;
using test::ChildRun;

constexpr const char* kAppKey = "test-app-key";
constexpr const char* kAppInfo =
    R"({"adUnits":[{"tiloAdUnitId":"unit-1","mediationAdUnitId":"ca-app-pub-1/1","name":"Banner","type":"banner"}],"feeRate":0.25})";

std::shared_ptr<DevServer> startServer(DevServerOptions options = {}) {
  options.appKey = kAppKey;
  options.appInfoJson = kAppInfo;
  std::string error;
  auto server = DevServer::start(options, &error);
  if (!server) throw std::runtime_error("the devserver did not start: " + error);
  return server;
}

std::unique_ptr<httplib::Client> clientFor(const DevServer& server) {
  auto client = std::make_unique<httplib::Client>("127.0.0.1", server.port());
  client->set_connection_timeout(10);
  client->set_read_timeout(10);
  return client;
}

httplib::Headers withKey(const std::string& key = kAppKey) {
  return {{"Tilo-App-Key", key}};
}

Json event(const std::string& id) {
  return Json{{"eventId", id},
              {"eventType", "ad_impression"},
              {"createdAt", 1700000000123},
              {"sessionId", "01HSESSION"},
              {"payload", {{"adFormat", "banner"}, {"adUnitId", "unit-1"}, {"latency", 0.5}}}};
}

std::string batch(const std::vector<std::string>& ids) {
  Json events = Json::array();
  for (const auto& id : ids) events.push_back(event(id));
  return Json{{"sdkVersion", "1.1.44-beta"},
              {"events", events},
              {"device", {{"deviceId", ""}, {"idfv", nullptr}, {"os", "iOS"}}},
              {"country", "KR"},
              {"mediationPlatform", "admob"}}
      .dump();
}

httplib::Result post(httplib::Client& client, const std::string& body,
                     const std::string& key = kAppKey) {
  return client.Post("/analytics/events", withKey(key), body, "application/json");
}

// The answer's status; 0 when none came.
int statusOf(const httplib::Result& res) {
  return res ? res->status : 0;
}

std::vector<std::string> storedIds(const DevServer& server) {
  std::vector<std::string> ids;
  for (const auto& stored : server.storedEvents()) ids.push_back(stored.eventId);
  return ids;
}

TEST(DevServerTest, AppInfoRequiresTheAppKeyAndEachRequestIsLogged) {
  std::mutex logMutex;
  std::vector<std::string> log;  // outlives the server, whose threads write it
  DevServerOptions options;
  options.requestLog = [&](const std::string& line) {
    std::lock_guard lock(logMutex);
    log.push_back(std::regex_replace(line, std::regex(" [0-9]+ ms"), " N ms"));
  };
  auto server = startServer(options);
  auto client = clientFor(*server);

  auto res = client->Get("/sdk/init", withKey());
  ASSERT_EQ(statusOf(res), 200);
  EXPECT_EQ(res->body, kAppInfo);
  EXPECT_EQ(res->get_header_value("Content-Type"), "application/json");

  // Refused with 401 (the log lines below) and a body that says why.
  for (const auto& headers : {withKey("other-key"), httplib::Headers{}}) {
    EXPECT_TRUE(Json::parse(client->Get("/sdk/init", headers)->body).contains("error"));
  }

  // Served as given, so clients can be tested against broken bodies.
  server->setAppInfoJson(R"({"feeRate":)");
  res = client->Get("/sdk/init", withKey());
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, R"({"feeRate":)");

  // (Backend requests are counted, /dev/ ones not: InjectedFailuresAndLostAnswers.)
  ASSERT_TRUE(client->Get("/dev/events"));

  // Every answer is logged with its reason when refused; a control character a client put
  // in the path reaches the log escaped, never raw.
  ASSERT_TRUE(client->Get("/sdk/\x1b[2Jinit"));
  server->stop();
  // A line is written once its answer is sent, so the next request, served by another
  // thread, may log first: compare the lines, not their order.
  std::vector<std::string> expected{
      "GET /sdk/init 200 N ms",
      "GET /sdk/init 401 N ms (unknown app key: not the --app-key of this server)",
      "GET /sdk/init 401 N ms (missing Tilo-App-Key header)",
      "GET /sdk/init 200 N ms",
      "GET /dev/events 200 N ms",
      "GET /sdk/%1B[2Jinit 404 N ms"};
  std::sort(log.begin(), log.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(log, expected);
}

TEST(DevServerTest, EventsAreStoredOnceAndListedInOrder) {
  auto server = startServer();
  auto client = clientFor(*server);

  // 1. Duplicates are counted, never stored twice, also within one batch.
  const std::pair<std::vector<std::string>, std::string> uploads[] = {
      {{"e1", "e2"}, R"({"stored":2,"duplicates":0})"},
      {{"e1", "e2"}, R"({"stored":0,"duplicates":2})"},
      {{"e3", "e2", "e3"}, R"({"stored":1,"duplicates":2})"},
  };
  for (const auto& [ids, answer] : uploads) {
    auto res = post(*client, batch(ids));
    ASSERT_EQ(statusOf(res), 201);
    EXPECT_EQ(res->body, answer);
  }

  // 2. Rejected uploads store nothing, not even their valid events.
  EXPECT_EQ(statusOf(post(*client, batch({"e4"}), "wrong-key")), 401);
  Json partlyBroken = Json::parse(batch({"e5", "e6"}));
  partlyBroken["events"][1].erase("eventId");
  for (const std::string& body : {std::string("{\"events\": ["), std::string("[]"),
                                  std::string(R"({"sdkVersion":"1.1.44-beta"})"),
                                  std::string(R"({"events":{}})"), partlyBroken.dump()}) {
    EXPECT_EQ(statusOf(post(*client, body)), 400) << body;
  }
  EXPECT_EQ(storedIds(*server), (std::vector<std::string>{"e1", "e2", "e3"}));
  EXPECT_EQ(server->eventPostCount(), 9);

  // 3. The listing needs no key, keeps every uploaded field and nests the payload as an object.
  auto res = client->Get("/dev/events");
  ASSERT_EQ(statusOf(res), 200);
  EXPECT_EQ(res->body, server->storedEventsJson());
  Json listing = Json::parse(res->body);
  EXPECT_EQ(listing["count"], 3);
  EXPECT_EQ(listing["events"][2]["eventId"], "e3");
  EXPECT_GT(listing["events"][0]["receivedAt"], 1.6e9);
  listing["events"][0].erase("receivedAt");
  Json first = event("e1");
  first.update(Json{{"sdkVersion", "1.1.44-beta"},
                    {"device", Json::parse(batch({}))["device"]},
                    {"country", "KR"},
                    {"mediationPlatform", "admob"}});
  EXPECT_EQ(listing["events"][0], first);
}

// The dashboard's endpoints: requests by endpoint, init answers, events filtered and paged
// with the page size capped whatever is asked, and the page served with a policy that lets
// no recorded value run.
TEST(DevServerTest, DashboardEndpointsFilterPageAndBound) {
  auto server = startServer();
  auto client = clientFor(*server);
  ASSERT_EQ(client->Get("/sdk/init", withKey())->status, 200);
  ASSERT_EQ(client->Get("/sdk/init", withKey("wrong"))->status, 401);
  std::vector<std::string> ids;
  for (int i = 0; i < 250; ++i) ids.push_back("e" + std::to_string(i));
  ASSERT_EQ(post(*client, batch(ids))->status, 201);
  Json other = Json::parse(batch({"x1"}));
  other["events"][0]["eventType"] = "ad_click";
  other["events"][0]["sessionId"] = "<b>s</b>";
  other["events"][0]["payload"]["adUnitId"] = "<img src=x>";
  ASSERT_EQ(post(*client, other.dump())->status, 201);
  auto get = [&](const std::string& path) {
    auto res = client->Get(path);
    EXPECT_TRUE(res && res->status == 200) << path;
    return res ? Json::parse(res->body) : Json();
  };

  // 1. Requests by endpoint and status; the dashboard's own are not counted.
  get("/dev/api/events");
  const Json requests = get("/dev/api/requests");
  EXPECT_EQ(requests["byEndpoint"],
            Json::parse(R"([{"endpoint":"GET /sdk/init","status":200,"count":1},)"
                        R"({"endpoint":"GET /sdk/init","status":401,"count":1},)"
                        R"({"endpoint":"POST /analytics/events","status":201,"count":2}])"));
  const Json init = get("/dev/api/init")["answers"];
  ASSERT_EQ(init.size(), 2u);
  EXPECT_EQ(init[0]["reason"], "unknown app key: not the --app-key of this server");
  EXPECT_EQ(init[1]["adUnits"], 1);

  // 2. Pages: a million asked, the cap given; the cursor walks back without overlap.
  Json page = get("/dev/api/events?limit=1000000");
  EXPECT_EQ(page["limit"], Dashboard::kMaxPageSize);
  EXPECT_EQ(page["events"].size(), Dashboard::kMaxPageSize);
  EXPECT_EQ(page["total"], 251);
  EXPECT_EQ(page["events"][0]["eventId"], "x1");
  const Json rest = get("/dev/api/events?limit=200&before=" + page["nextBefore"].dump());
  EXPECT_EQ(rest["events"].size(), 51u);
  EXPECT_EQ(rest["events"].back()["eventId"], "e0");
  EXPECT_TRUE(rest["nextBefore"].is_null());
  EXPECT_EQ(get("/dev/api/events?limit=-5&before=abc")["limit"], 50) << "bad numbers: defaults";

  // 3. Filters by type, unit and session, values kept as they were sent.
  for (const std::string query :
       {"type=ad_click", "unit=%3Cimg%20src%3Dx%3E", "session=%3Cb%3Es%3C%2Fb%3E"}) {
    page = get("/dev/api/events?" + query);
    ASSERT_EQ(page["total"], 1) << query;
    EXPECT_EQ(page["events"][0]["payload"]["adUnitId"], "<img src=x>");
  }
  EXPECT_EQ(get("/dev/api/events?unit=unit-1")["total"], 250);
  const Json revenue = get("/dev/api/revenue")["rows"];
  ASSERT_EQ(revenue.size(), 2u);
  EXPECT_EQ(revenue[1]["adUnitId"], "unit-1");
  EXPECT_EQ(revenue[1]["impressions"], 250);
  EXPECT_EQ(revenue[0]["clicks"], 1);

  // 4. The page, under a policy that forbids inline and foreign scripts (what it shows, and
  //    hostile values as text: the package's dashboard test in a browser).
  EXPECT_NE(
      client->Get("/")->get_header_value("Content-Security-Policy").find("default-src 'self'"),
      std::string::npos);
}

TEST(DevServerTest, InjectedFailuresAndLostAnswers) {
  DevServerOptions options;
  options.failFirst = 2;
  options.failStatus = 503;
  auto server = startServer(options);
  auto client = clientFor(*server);

  // 1. The first two backend requests fail, whatever the endpoint; /dev/* is not faulted.
  EXPECT_EQ(statusOf(client->Get("/sdk/init", withKey())), 503);
  EXPECT_EQ(statusOf(client->Get("/dev/events")), 200);
  EXPECT_EQ(statusOf(post(*client, batch({"f1"}))), 503);
  EXPECT_TRUE(server->storedEvents().empty());
  EXPECT_EQ(statusOf(client->Get("/sdk/init", withKey())), 200);

  // 2. Faults can be re-armed while running.
  server->setFailFirst(1, 500);
  EXPECT_EQ(client->Get("/sdk/init", withKey())->status, 500);
  EXPECT_EQ(client->Get("/sdk/init", withKey())->status, 200);

  // 3. A lost answer: the events are stored, the client sees only a transport error, and
  // its retry is answered as a duplicate.
  server->setDropResponses(1);
  auto res = post(*client, batch({"f1", "f2"}));
  EXPECT_FALSE(res);
  EXPECT_EQ(storedIds(*server), (std::vector<std::string>{"f1", "f2"}));
  res = post(*client, batch({"f1", "f2"}));
  ASSERT_TRUE(res);
  EXPECT_EQ(res->body, R"({"stored":0,"duplicates":2})");
  EXPECT_EQ(server->eventPostCount(), 3);
  EXPECT_EQ(server->requestCount(), 7u);

  // 4. A held upload is never answered nor stored: the server's stop lets it go unanswered.
  server->setHoldUploads(1);
  std::thread held([&, other = clientFor(*server)] { res = post(*other, batch({"h1"})); });
  while (server->eventPostCount() < 4) std::this_thread::yield();
  server->stop();
  held.join();
  EXPECT_FALSE(res);
  EXPECT_EQ(storedIds(*server), (std::vector<std::string>{"f1", "f2"}));
}

TEST(DevServerTest, DatabaseFileSurvivesRestartAndStartFailuresSayWhy) {
  test::TempDir dir;
  DevServerOptions options;
  options.dbPath = (dir.path() / "events.db").string();
  {
    auto server = startServer(options);
    ASSERT_EQ(post(*clientFor(*server), batch({"p1", "p2"}))->status, 201);
  }
  auto server = startServer(options);
  EXPECT_EQ(post(*clientFor(*server), batch({"p2", "p3"}))->body, R"({"stored":1,"duplicates":1})");
  EXPECT_EQ(storedIds(*server), (std::vector<std::string>{"p1", "p2", "p3"}));

  options.appKey = kAppKey;
  options.dbPath = (dir.path() / "missing" / "events.db").string();
  std::string error;
  EXPECT_FALSE(DevServer::start(options, &error));
  EXPECT_NE(error.find(options.dbPath), std::string::npos) << error;
  options.dbPath.clear();
  options.port = server->port();
  EXPECT_FALSE(DevServer::start(options, &error));
  EXPECT_NE(error.find(std::to_string(server->port())), std::string::npos) << error;
}

// A plain TCP connection to the server, for clients that misbehave on purpose.
int connectTo(const DevServer& server) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(server.port()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

void sendText(int fd, const std::string& text) {
  ASSERT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
}

// What arrives until the server closes the connection; nullopt if it is still open after
// `limitMs`, or if it was reset.
std::optional<std::string> readUntilClosed(int fd, int limitMs = 10'000) {
  std::string text;
  pollfd readable{fd, POLLIN, 0};
  char buffer[4096];
  while (::poll(&readable, 1, limitMs) == 1) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n == 0) return text;
    if (n < 0) return std::nullopt;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return std::nullopt;
}

TEST(DevServerTest, BodySizeDepthAndConnectionLimits) {
  DevServerOptions options;
  options.maxBodyBytes = 64 << 10;
  options.maxConnections = 2;
  auto server = startServer(options);
  auto client = clientFor(*server);

  // 1. Nesting up to 32 levels is stored; one more, or 60,000, is refused before parsing.
  auto nested = [](int levels) {
    Json body = Json::parse(batch({"deep"}));
    body["events"][0]["payload"]["deep"] =
        Json::parse(std::string(levels - 4, '[') + "1" + std::string(levels - 4, ']'));
    return body.dump();
  };
  EXPECT_EQ(post(*client, nested(32))->status, 201);
  auto res = post(*client, nested(33));
  ASSERT_EQ(statusOf(res), 400);
  EXPECT_NE(res->body.find("nested deeper than 32"), std::string::npos) << res->body;
  EXPECT_EQ(post(*client, std::string(60'000, '['))->status, 400);

  // 2. A body over the cap is refused whole.
  Json big = Json::parse(batch({"big"}));
  big["events"][0]["payload"]["blob"] = std::string(100 << 10, 'x');
  EXPECT_EQ(statusOf(post(*client, big.dump())), 413);
  EXPECT_EQ(storedIds(*server), std::vector<std::string>{"deep"});

  // 3. With two connections open, a third is turned away (a fresh server, so that no
  //    connection of the steps above is still closing).
  server = startServer(options);
  const int first = connectTo(*server);
  const int second = connectTo(*server);
  const int third = connectTo(*server);
  const auto refused = readUntilClosed(third);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->rfind("HTTP/1.1 503", 0), 0u) << *refused;
  ::close(third);
  // 4. Once one of them is done, a new connection is served again.
  for (int fd : {first, -1}) {
    const int connection = fd >= 0 ? fd : connectTo(*server);
    sendText(connection, "GET /dev/events HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    const auto listed = readUntilClosed(connection);
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->rfind("HTTP/1.1 200", 0), 0u) << *listed;
    ::close(connection);
  }
  ::close(second);
}

TEST(DevServerTest, SlowClientsAreCutAtTheReadTimeout) {
  DevServerOptions options;
  options.readTimeoutMs = 300;
  auto server = startServer(options);
  const std::string head =
      "POST /analytics/events HTTP/1.1\r\nHost: x\r\nTilo-App-Key: " + std::string(kAppKey) +
      "\r\nContent-Length: 5000\r\n\r\n";

  // A byte every 50 ms keeps every single read short, yet the request is cut before its head
  // is even complete (one deadline a request: a silent client is cut by it all the more).
  const int fd = connectTo(*server);
  std::optional<std::string> answer;
  pollfd readable{fd, POLLIN, 0};
  for (std::size_t i = 0; i < head.size() && !answer; ++i) {
    sendText(fd, head.substr(i, 1));
    if (::poll(&readable, 1, 50) == 1) answer = readUntilClosed(fd);
  }
  EXPECT_EQ(answer, "");
  ::close(fd);
}

TEST(DevServerTest, AcceptBacksOffWhenOutOfDescriptors) {
  // 1. Only exhaustion pauses the accept loop; an aborted connection is retried at once.
  for (int e : {EMFILE, ENFILE, ENOBUFS, ENOMEM}) EXPECT_TRUE(AcceptBackoff::pausesFor(e)) << e;
  for (int e : {ECONNABORTED, EINTR, EPROTO, EPERM}) EXPECT_FALSE(AcceptBackoff::pausesFor(e)) << e;
  // 2. The pause doubles up to a second and starts over after a success.
  AcceptBackoff backoff;
  std::vector<int> delays;
  for (int i = 0; i < 9; ++i) delays.push_back(backoff.nextDelayMs());
  EXPECT_EQ(delays, (std::vector<int>{10, 20, 40, 80, 160, 320, 640, 1000, 1000}));
  backoff.reset();
  EXPECT_EQ(backoff.nextDelayMs(), 10);
}

// Runs the tool with its arguments split by the shell, standard error merged into the
// output. Each of these must fail at start; one that serves instead fails the test.
ChildRun runTool(const std::string& arguments) {
  return test::runChild({"/bin/sh", "-c", TILO_TOOLS_DIR "/tilo-devserver " + arguments}, {}, true,
                        20);
}

// The exchange: the highest bid that serves the format wins, within its frequency cap and
// budget; what happened is listed newest first, a page at a time, and per campaign.
TEST(DevServerTest, TheExchangeAuctionsWithinCapsAndBudgetsAndListsWhatHappened) {
  test::TempDir dir;
  std::ofstream(dir.path() / "campaigns.json") << R"({"campaigns": [
      {"id": "capped", "title": "C", "clickUrl": "https://c", "price": 5, "formats": ["banner"],
       "frequencyCap": 1},
      {"id": "thrifty", "title": "T", "clickUrl": "https://t", "price": 1, "formats": ["banner"],
       "budget": 0.001},
      {"id": "other", "title": "O", "clickUrl": "https://o", "price": 9, "formats": ["rewarded"]}]})";
  DevServerOptions options;
  options.campaigns =
      std::make_shared<const Campaigns>(Campaigns::load(dir.path() / "campaigns.json"));
  auto server = startServer(options);
  auto client = clientFor(*server);
  // A 320 x 50 banner of an app, and the notice of the impression the SDK would fire.
  auto auction = [&](const std::string& id) {
    const std::string native =
        R"({"assets":[{"id":1,"required":1,"title":{"len":90}},{"id":2,"img":{"type":3,"w":320,"h":50}}]})";
    const Json request{{"id", id},
                       {"imp", {{{"id", "1"}, {"native", {{"request", native}}}}}},
                       {"app", {{"bundle", "com.example.game"}}}};
    return client->Post("/openrtb2/auction", request.dump(), "application/json");
  };
  // Shows the bid the auction `id` won; returns its campaign ("" when none won).
  auto show = [&](const std::string& id) -> std::string {
    const auto answer = auction(id);
    if (!answer || answer->status != 200) return "";
    const auto bid = Json::parse(answer->body)["seatbid"][0]["bid"][0];
    const std::string query = "?auction=" + Json::parse(answer->body)["id"].get<std::string>() +
                              "&bid=" + bid["id"].get<std::string>() + "&price=1";
    for (const char* kind : {"imp", "bill"})
      client->Get(std::string("/openrtb2/notice/") + kind + query);
    return bid["crid"].get<std::string>();
  };
  EXPECT_EQ(show("a1"), "capped");        // the highest bid among those that serve a banner
  EXPECT_EQ(show("a2"), "thrifty");       // "capped" showed once today in this app
  EXPECT_EQ(auction("a3")->status, 204);  // "thrifty" spent its budget
  auto bad = client->Post("/openrtb2/auction", "{", "application/json");
  EXPECT_EQ(bad->status, 400);
  EXPECT_NE(bad->body.find("not JSON"), std::string::npos);

  const auto page = Json::parse(client->Get("/dev/auctions?limit=3")->body);
  std::vector<std::string> outcomes;
  for (const auto& entry : page["auctions"]) outcomes.push_back(entry["outcome"]);
  EXPECT_EQ(outcomes, (std::vector<std::string>{"invalid", "nobid", "bid"}));
  EXPECT_EQ(page["auctions"][2]["notices"],
            Json::parse(R"({"win":0,"bill":1,"imp":1,"click":0,"loss":0})"));
  EXPECT_EQ(page["auctions"][2]["request"]["id"], "a2");
  const auto rest = Json::parse(
      client->Get("/dev/auctions?before=" + std::to_string(page["next"].get<int>()))->body);
  ASSERT_EQ(rest["auctions"].size(), 1u);
  EXPECT_EQ(rest["auctions"][0]["campaign"], "capped");
  EXPECT_TRUE(rest["next"].is_null());
  const auto totals = Json::parse(client->Get("/dev/campaigns")->body)["campaigns"];
  // (Impressions and spend per campaign: RealAdsTest, from the SDK's own notices.)
  EXPECT_EQ(totals[0]["auctions"], 1);
  EXPECT_EQ(totals[1]["auctions"], 2);
  EXPECT_EQ(totals[2]["auctions"], 0);
}

TEST(DevServerTest, CommandLineTool) {
  test::TempDir dir;
  const std::string info = (dir.path() / "info.json").string();
  std::ofstream(info) << kAppInfo;
  std::ofstream(dir.path() / "broken.json") << "{\"adUnits\": [";

  // 1. Argument and input errors: usage (2) or unreadable input (1), saying what is wrong.
  const std::string missing = (dir.path() / "nope.json").string();
  const std::string broken = (dir.path() / "broken.json").string();
  const std::string picture = (dir.path() / "no-picture.json").string();
  std::ofstream(picture) << R"({"campaigns": [{"id": "a", "title": "A", "clickUrl": "https://a",
                                               "price": 1, "formats": ["banner"], "icon": "a.png"}]})";
  const std::string free = (dir.path() / "free.json").string();
  std::ofstream(free) << R"({"campaigns": [{"id": "a", "title": "A", "clickUrl": "https://a",
                                            "price": 0, "formats": ["banner"]}]})";
  const std::string served = "--port 0 --app-key K --app-info " + info + " --campaigns ";
  const std::tuple<std::string, int, std::string> cases[] = {
      {"--port nine --app-key K --app-info " + info, 2, "usage: tilo-devserver"},
      {"--port 0 --app-info " + info, 2, "usage: tilo-devserver"},
      {"--port 0 --app-key K --app-info " + missing, 1, missing},
      {"--port 0 --app-key K --app-info " + broken, 1, "broken.json is not valid JSON"},
      {served + missing, 1, "cannot read campaigns file " + missing},
      {served + broken, 1, "broken.json is not valid JSON"},
      {served + picture, 1, "campaigns[0].icon: cannot read " + (dir.path() / "a.png").string()},
      {served + free, 1, "campaigns[0].price: expected a number above 0"}};
  for (const auto& [arguments, expectedCode, expectedText] : cases) {
    const ChildRun run = runTool(arguments);
    EXPECT_EQ(run.exitCode, expectedCode) << arguments << "\n" << run.out;
    EXPECT_NE(run.out.find(expectedText), std::string::npos) << arguments << "\n" << run.out;
  }

  // 2. A running server announces its URL, serves, logs nothing with --quiet (each request
  //    otherwise: the package test's quick start), and stops cleanly on SIGTERM. An app info
  //    the SDK cannot decode is served with a warning. `exec` keeps the shell's process id,
  //    which it prints first.
  const std::string undecodable = (dir.path() / "undecodable.json").string();
  std::ofstream(undecodable) << R"({"adUnits": [{"tiloAdUnitId": "a"}], "feeRate": 1})";
  FILE* pipe = ::popen(
      ("echo $$; exec " TILO_TOOLS_DIR "/tilo-devserver --port 0 --app-key K --quiet --app-info " +
       undecodable + " 2>&1")
          .c_str(),
      "r");
  char line[256];
  ASSERT_TRUE(std::fgets(line, sizeof line, pipe));
  const pid_t pid = std::atoi(line);
  const std::string prefix = "tilo-devserver listening on http://127.0.0.1:";
  std::string before;
  while (std::fgets(line, sizeof line, pipe) && std::string(line).rfind(prefix, 0) != 0) {
    before += line;
  }
  ASSERT_EQ(std::string(line).rfind(prefix, 0), 0u) << line;
  EXPECT_EQ(before.find("tilo-devserver: warning: the SDK cannot decode " + undecodable), 0u);
  EXPECT_NE(before.find("adUnits[0].mediationAdUnitId: missing"), std::string::npos) << before;
  httplib::Client client("127.0.0.1", std::atoi(line + prefix.size()));
  client.set_read_timeout(10);
  EXPECT_EQ(statusOf(client.Get("/sdk/init", withKey("K"))), 200);

  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  std::string rest;
  while (std::fgets(line, sizeof line, pipe)) rest += line;
  EXPECT_EQ(rest, "tilo-devserver stopped (0 events stored)\n");
  const int status = ::pclose(pipe);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace tilo::devserver
