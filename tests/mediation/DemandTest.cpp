// Real demand below the SDK: an exchange's answers read as hostile input, the notices'
// macros, and loads against a loopback exchange that misbehaves on the wire.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "mediation/AdSource.h"
#include "mediation/EmbeddedCreatives.h"
#include "mediation/GADInterstitialAd.h"
#include "mediation/demand/BidNotices.h"
#include "mediation/demand/BidResponseDecoder.h"
#include "mediation/demand/Demand.h"
#include "mediation/demand/DemandActivity.h"
#include "mediation/demand/DemandLog.h"
#include "mediation/demand/OpenRtbSource.h"
#include "mediation/demand/PrivacySignals.h"
#include "platform/Json.h"
#include "platform/TestEnvironment.h"
#include "support/LoopbackHttpServer.h"

using namespace tilo::mediation;
using namespace tilo::mediation::demand;
using tilo::platform::Json;

namespace {

const BidExpectation kExpected{"req-1",
                               NativeRequestShape::forFormat("interstitial", std::nullopt)};

// A valid answer; `edit` changes the bid, `editAd` the Native response inside its adm.
std::string answer(const std::function<void(Json&)>& edit = {},
                   const std::function<void(Json&)>& editAd = {}, const std::string& images = "") {
  const std::string base = images.empty() ? "https://cdn.example.com" : images;
  Json ad{{"ver", "1.2"},
          {"assets", Json::array({{{"id", 1}, {"title", {{"text", "Sky\x01Harbor"}}}},
                                  {{"id", 2}, {"img", {{"url", base + "/media.png"}, {"w", 480}}}},
                                  {{"id", 3}, {"img", {{"url", base + "/icon.png"}}}},
                                  {{"id", 12}, {"data", {{"value", "not asked for"}}}}})},
          {"link",
           {{"url", "https://example.com/go"},
            {"clicktrackers", {"https://t.example.com/c?p=${AUCTION_PRICE}"}}}},
          {"eventtrackers",
           Json::array({{{"event", 1}, {"method", 1}, {"url", "https://t.example.com/i"}},
                        {{"event", 1}, {"method", 2}, {"url", "https://t.example.com/i.js"}}})},
          {"imptrackers", {"https://t.example.com/i"}}};
  if (editAd) editAd(ad);
  Json bid{{"id", "b1"},
           {"impid", "1"},
           {"price", 2.5},
           {"adm", tilo::platform::dumpCompact(ad)},
           {"nurl", base + "/win?p=${AUCTION_PRICE}"},
           {"exp", 30}};
  if (edit) edit(bid);
  return tilo::platform::dumpCompact(
      Json{{"id", "req-1"}, {"seatbid", Json::array({{{"seat", "house"}, {"bid", {bid}}}})}});
}

TEST(BidResponseDecoderTest, HostileAnswersAreRefusedNamingWhatIsWrong) {
  using Outcome = BidDecoding::Outcome;
  auto adm = [](const char* text) { return [=](Json& bid) { bid["adm"] = text; }; };
  const struct {
    const char* name;
    std::string body;
    Outcome outcome;
    const char* problem;
  } cases[] = {
      {"malformed JSON", R"({"id": "req-1", "seatbid": [)", Outcome::invalid, "not JSON"},
      {"other id", R"({"id": "req-2"})", Outcome::invalid, "id is not the request's"},
      {"other currency", R"({"id": "req-1", "cur": "EUR"})", Outcome::invalid, "cur is not"},
      {"other impid", answer([](Json& b) { b["impid"] = "2"; }), Outcome::invalid,
       "impid names no"},
      {"zero price", answer([](Json& b) { b["price"] = 0; }), Outcome::invalid, "price is not"},
      {"text price", answer([](Json& b) { b["price"] = "2.5"; }), Outcome::invalid, "price is not"},
      {"infinite price",
       R"({"id":"req-1","seatbid":[{"bid":[{"id":"b","impid":"1","price":1e999}]}]})",
       Outcome::invalid, "price is not"},
      {"no title", answer({}, [](Json& a) { a["assets"].erase(0); }), Outcome::invalid,
       "required asset title"},
      {"no main image", answer({}, [](Json& a) { a["assets"].erase(1); }), Outcome::invalid,
       "required asset main image"},
      {"win notice by ftp", answer([](Json& b) { b["nurl"] = "ftp://t.example.com/w"; }),
       Outcome::invalid, "nurl is not an http(s) URL"},
      {"tracker with a control character",
       answer({}, [](Json& a) { a["imptrackers"] = {"https://t.example.com/i\r\nX: y"}; }),
       Outcome::invalid, "imptrackers[0] is not an http(s) URL"},
      {"HTML creative", answer(adm("<html><body>ad</body></html>")), Outcome::invalid,
       "HTML and script creatives are not drawn"},
      {"no seatbid", R"({"id": "req-1"})", Outcome::noBid, ""},
      {"empty seatbid", R"({"id": "req-1", "seatbid": []})", Outcome::noBid, ""},
  };
  for (const auto& c : cases) {
    const BidDecoding decoded = BidResponseDecoder::decode(c.body, kExpected);
    EXPECT_EQ(decoded.outcome, c.outcome) << c.name << ": " << decoded.problem;
    EXPECT_NE(decoded.problem.find(c.problem), std::string::npos)
        << c.name << ": " << decoded.problem;
    EXPECT_EQ(decoded.bid.has_value(), c.outcome == Outcome::bid) << c.name;
  }
  Json many = Json::parse(answer());
  for (int i = 0; i < 16; ++i) many["seatbid"][0]["bid"].push_back(many["seatbid"][0]["bid"][0]);
  EXPECT_NE(BidResponseDecoder::decode(many.dump(), kExpected).problem.find("at most 16"),
            std::string::npos);
}

TEST(BidResponseDecoderTest, AUsableAnswerKeepsWhatTheSdkDrawsAndFires) {
  // With or without the wrapper older exchanges put around the Native response; the
  // higher of two bids wins, and the first of two equal ones.
  for (bool wrapped : {false, true}) {
    Json body = Json::parse(answer({}, [&](Json& a) {
      if (wrapped) a = Json{{"native", a}};
    }));
    Json cheaper = body["seatbid"][0]["bid"][0];
    cheaper["id"] = "b0";
    cheaper["price"] = 1.25;
    body["seatbid"][0]["bid"].insert(body["seatbid"][0]["bid"].begin(), cheaper);
    cheaper["id"] = "b2";
    cheaper["price"] = 2.5;
    body["seatbid"][0]["bid"].push_back(cheaper);
    const BidDecoding decoded = BidResponseDecoder::decode(body.dump(), kExpected);
    ASSERT_EQ(decoded.outcome, BidDecoding::Outcome::bid) << decoded.problem;
    const WinningBid& bid = *decoded.bid;
    const NativeResponse& ad = bid.native;
    // The control character of the title is gone; asset 12 answers nothing the request
    // asked; each pixel once, and the JavaScript tracker is not run.
    EXPECT_EQ(
        Json::array({bid.bidId, bid.price.description(), bid.seat.value_or("-"), bid.expSeconds,
                     ad.title.value_or("-"), ad.mainImage->width, ad.icon->url,
                     ad.callToAction.has_value(), ad.impressionTrackers, ad.clickUrl}),
        Json::parse(R"(["b1", "2.5", "house", 30, "Sky Harbor", 480,
                  "https://cdn.example.com/icon.png", false, ["https://t.example.com/i"],
                  "https://example.com/go"])"));
  }
}

TEST(BidNoticesTest, OnlyKnownMacrosAreReplacedAndTheirValuesEncoded) {
  const std::map<std::string, std::string, std::less<>> values{{"AUCTION_PRICE", "2.5"},
                                                               {"AUCTION_SEAT_ID", "a&b c"}};
  const struct {
    const char* url;
    const char* expected;
  } cases[] = {
      {"https://t/w?p=${AUCTION_PRICE}", "https://t/w?p=2.5"},
      {"https://t/w?s=${AUCTION_SEAT_ID}&p=${AUCTION_PRICE}", "https://t/w?s=a%26b%20c&p=2.5"},
      {"https://t/w?x=${AUCTION_FOO}", "https://t/w?x=${AUCTION_FOO}"},
      {"https://t/w?x=${AUCTION_PRICE", "https://t/w?x=${AUCTION_PRICE"},
  };
  for (const auto& c : cases) EXPECT_EQ(BidNotices::substitute(c.url, values), c.expected);
}

TEST(BidNoticesTest, ABidNeverTakenIsNeverLost) {
  WinningBid bid;
  bid.lurl = "http://127.0.0.1:1/loss";
  const int before = DemandActivity::inFlight();
  BidNotices(bid, "req-1").expired();
  EXPECT_EQ(DemandActivity::inFlight(), before) << "a loss notice went out";
}

// Loads against a loopback exchange whose answer each case scripts.
class DemandWireTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AdSource::shared().reset();
    PrivacySignals::shared().reset();
    const auto& png = kEmbeddedCreativeFiles[0];
    picture.assign(reinterpret_cast<const char*>(png.data), png.size);
    auto& http = server.http();
    http.Post("/auction", [this](const httplib::Request& req, httplib::Response& res) {
      const Json request = Json::parse(req.body);
      std::string media;
      {
        std::lock_guard lock(mutex);
        requests.push_back(request);
        media = image;
      }
      env.mainExecutor()->post([] {});  // wakes a test waiting in runUntil for the request
      if (hold) return server.holdUntilShutdown();
      res.status = status;
      if (status != 200) return;
      std::string body = answer([&](Json& bid) { bid["nurl"] = server.url("/win"); },
                                [&](Json& ad) {
                                  ad["assets"][1]["img"]["url"] = server.url("/img/" + media);
                                  ad["assets"][2]["img"]["url"] = server.url("/img/ok");
                                });
      const auto id = request["id"].get<std::string>();
      body.replace(body.find("req-1"), 5, id);
      res.set_content(body, "application/json");
    });
    http.Get("/win", [this](const httplib::Request&, httplib::Response&) { ++wins; });
    http.Get(R"(/img/(\w+))", [this](const httplib::Request& req, httplib::Response& res) {
      const std::string name = req.matches[1];
      if (name == "ok") return res.set_content(picture, "image/png");
      if (name == "here") return res.set_redirect("/img/ok");
      if (name == "elsewhere") {
        return res.set_redirect("http://localhost:" + std::to_string(server.port()) + "/img/ok");
      }
      if (name == "garbage") return res.set_content("GIF89a not a picture", "image/gif");
      res.status = 404;
    });
    server.start();
    ASSERT_TRUE(Demand::setDemandUrl(server.url("/auction")));
  }
  void TearDown() override {
    (void)Demand::setDemandUrl(std::nullopt);
    AdSource::shared().reset();
  }

  void setImage(const char* name) {
    std::lock_guard lock(mutex);
    image = name;
  }
  // Loads one interstitial and returns the error, or nullopt when it filled; with
  // `pastTmax`, lets the mock clock pass the exchange's deadline once the request is out.
  std::optional<NSError> load(bool pastTmax = false) {
    bool done = false;
    std::optional<NSError> error;
    GADInterstitialAd::loadWithAdUnitID("gad/inter", GADRequest::create(),
                                        [&](auto ad, auto failure) {
                                          done = true;
                                          error = failure;
                                          loaded = ad;
                                        });
    if (pastTmax) {
      EXPECT_TRUE(env.runUntil([&] {
        std::lock_guard lock(mutex);
        return !requests.empty();
      }));
      env.advance(OpenRtbSource::kTmaxMs / 1000.0);
    }
    EXPECT_TRUE(env.runUntil([&] { return done && (hold || DemandActivity::inFlight() == 0); }));
    return error;
  }

  tilo::platform::TestEnvironment env;
  std::string picture;
  std::mutex mutex;
  std::vector<Json> requests;
  std::atomic<int> status{200}, wins{0};
  std::atomic<bool> hold{false};
  std::string image = "ok";  // the main image the answer names; guarded by `mutex`
  std::shared_ptr<GADInterstitialAd> loaded;
  // Last, so it stops (and its handlers end) before the members they read go.
  tilo::test::LoopbackHttpServer server;
};

TEST_F(DemandWireTest, EveryFailureIsANamedLoadErrorAndNothingIsTaken) {
  const struct {
    const char* name;
    int status;
    const char* image;
    long code;
    const char* description;
  } cases[] = {
      {"no bid", 204, "ok", GADErrorNoFill, "No ad to show"},
      {"server error", 500, "ok", GADErrorNetworkError, "answered HTTP 500"},
      {"picture elsewhere", 200, "elsewhere", GADErrorMediationDataError,
       "redirects to another server"},
      {"picture missing", 200, "missing", GADErrorMediationDataError, "answered HTTP 404"},
      // (A picture's size limits: AdSourceTest's image files, through the same check.)
      {"picture not decodable", 200, "garbage", GADErrorMediationDataError, "not a PNG or JPEG"},
  };
  for (const auto& c : cases) {
    status = c.status;
    setImage(c.image);
    const auto error = load();
    ASSERT_TRUE(error) << c.name;
    EXPECT_EQ(*error, (NSError{kGADErrorDomain, c.code, error->localizedDescription})) << c.name;
    EXPECT_NE(error->localizedDescription.find(c.description), std::string::npos)
        << c.name << ": " << error->localizedDescription;
  }
  EXPECT_EQ(wins, 0) << "a bid that is not shown is never taken";

  // A redirect on the same server is followed; the bid is then taken, once.
  status = 200;
  setImage("here");
  EXPECT_FALSE(load());
  EXPECT_TRUE(loaded);
  EXPECT_TRUE(env.runUntil([&] { return wins == 1 && DemandActivity::inFlight() == 0; }));

  // An exchange that is down: the transport's own error.
  ASSERT_TRUE(Demand::setDemandUrl("http://127.0.0.1:1/auction"));
  const auto down = load().value_or(NSError{});
  EXPECT_EQ(down, (NSError{kNSURLErrorDomain, -1004, down.localizedDescription}));

  // Absent privacy choices send nothing; tracking not authorized limits it.
  std::lock_guard lock(mutex);
  ASSERT_FALSE(requests.empty());
  EXPECT_FALSE(requests[0].contains("regs"));
  EXPECT_FALSE(requests[0].contains("user"));
  EXPECT_EQ(requests[0]["device"]["lmt"], 1);
}

TEST_F(DemandWireTest, AnAnswerAfterTmaxIsATimeout) {
  hold = true;
  const auto error = load(true).value_or(NSError{});
  EXPECT_EQ(error, (NSError{kNSURLErrorDomain, -1001, error.localizedDescription}));
}

// The host's choices as the exchange hears them; the log the inspector shows masks both
// consent strings.
TEST_F(DemandWireTest, TheRequestCarriesTheDeviceAndTheChoicesAndTheLogMasksThem) {
  auto& privacy = PrivacySignals::shared();
  privacy.hearChildDirected(true);
  privacy.hearGdprConsentString("CPXxRfAPXxRfAAfKABENB-CgAAAAAAAAAAYgAAAAAAAA");
  privacy.hearUsPrivacyString("1YNN");
  privacy.hearTrackingAuthorized(true);
  privacy.commit();
  EXPECT_FALSE(load());
  std::lock_guard lock(mutex);
  ASSERT_EQ(requests.size(), 1u);
  const Json& request = requests[0];
  const Json& device = request["device"];
  EXPECT_EQ(device["ua"].get<std::string>().rfind("Tilo/1.1.44 (Linux; ", 0), 0u) << device["ua"];
  EXPECT_EQ((std::tuple{device["os"], device["devicetype"], device["lmt"], device["dnt"],
                        device.contains("ifa"), request["imp"][0]["secure"]}),
            (std::tuple{Json("Linux"), Json(2), Json(0), Json(0), false, Json(0)}));
  EXPECT_EQ(
      (std::tuple{request["regs"], request["user"], request["tmax"], request["cur"],
                  request["at"]}),
      (std::tuple{Json::parse(R"({"coppa":1,"gdpr":1,"us_privacy":"1YNN"})"),
                  Json::parse(R"({"consent":"CPXxRfAPXxRfAAfKABENB-CgAAAAAAAAAAYgAAAAAAAA"})"),
                  Json(1500), Json::parse(R"(["USD"])"), Json(1)}));
  const std::string logged = DemandLog::shared().recent().back().request;
  EXPECT_NE(logged.find("\"us_privacy\":\"1YNN\u2026\""), std::string::npos) << logged;
  EXPECT_EQ(logged.find("CPXxRfAPXxRfAAfKABENB-"), std::string::npos) << logged;
}

}  // namespace
