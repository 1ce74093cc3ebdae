// What the demo reports: the host callbacks it saw, the checks of engagement and revenue
// against the scenario, the analytics upload and what the backend stored.
#include "tools/demo/DemoApp.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "Tilo/base/TiloRevenueInfo.h"
#include "Tilo/telemetry/AdEventLogger.h"
#include "mediation/demand/BidCreative.h"
#include "mediation/demand/DemandLog.h"
#include "platform/Application.h"
#include "platform/HttpClient.h"
#include "platform/Timer.h"
#include "tools/devserver/DevServer.h"

namespace tilo::demo {
namespace {

using platform::Json;

// Strings bare, numbers with six significant digits (latencies are sums of doubles).
std::string text(const Json& value) {
  if (value.is_null()) return "-";
  if (value.is_string()) return value.get<std::string>();
  if (!value.is_number()) return platform::dumpCompact(value);
  std::ostringstream number;
  number << value.get<double>();
  return number.str();
}

}  // namespace

// The impression every shown ad makes, and the click the scenario scripts.
bool DemoApp::checkEngagement(const mediation::AdScript& script) {
  bool ok = true;
  if (!observed_.callbacks.count("onAdImpression")) {
    out_ << "  error: no impression\n";
    ok = false;
  }
  if (script.click && !observed_.callbacks.count("onAdClicked")) {
    out_ << "  error: no click\n";
    ok = false;
  }
  return ok;
}

mediation::AdScript DemoApp::expectation(const TiloAdUnitItem& item, DemoFormat format) const {
  if (!options_.realAds()) return mediation::AdSource::shared().scriptFor(item.mediationAdUnitId);
  mediation::AdScript script;
  script.waitsForClose = true;
  script.revenue = mediation::GADAdValue{};  // the bid's price: see checkRevenue
  if (format == DemoFormat::rewarded) {
    script.countdownMs = mediation::demand::BidCreative::kRewardedCountdownSeconds * 1000;
  }
  return script;
}

bool DemoApp::checkRevenue(const TiloAdUnitItem& item, const mediation::AdScript& script) {
  if (observed_.revenueEvents.empty()) {
    out_ << "  error: the plugin received no revenue event\n";
    return false;
  }
  mediation::GADAdValue paid = *script.revenue;
  if (options_.realAds()) {
    // A real ad pays its winning bid's price for one impression: CPM / 1000.
    const auto records = mediation::demand::DemandLog::shared().recent();
    const auto bid = std::find_if(records.rbegin(), records.rend(),
                                  [](const auto& record) { return record.price.has_value(); });
    if (bid == records.rend()) {
      out_ << "  error: no bid in the demand log\n";
      return false;
    }
    out_ << "  won by " << bid->seat.value_or("?") << " at " << *bid->price << " "
         << bid->currency.value_or("") << " CPM\n";
    paid = mediation::GADAdValue{
        *platform::Decimal::fromString(*bid->price) * *platform::Decimal::fromString("0.001"),
        bid->currency.value_or("USD"), 3};
  }
  // What the publisher keeps of the revenue after the unit's fee.
  const std::string expected =
      TiloRevenueInfo::fromPlatform(item.feeRate, paid.value, paid.currencyCode, paid.precision)
          .value.description();
  const Json& revenue = observed_.revenueEvents.front()["revenueInfo"];
  if (!revenue.is_object() || revenue.value("value", "") != expected) {
    out_ << "  error: the plugin's revenue is " << text(revenue) << ", expected value " << expected
         << "\n";
    return false;
  }
  return true;
}

void DemoApp::flushAnalytics() {
  out_ << "\napp enters the background: the SDK saves and uploads its analytics events\n";
  auto logger = AdEventLogger::shared();
  platform::Application::shared().setState(platform::ApplicationState::background);
  // The logger finishes on its own queue: wake the loop now and then to look.
  auto poll = platform::Timer::scheduled(0.02, /*repeats=*/true, [] {});
  if (!loop_->runUntil([&] { return !logger || logger->queuedEvents().empty(); }, kStepLimit)) {
    out_ << "warning: some events are still waiting for the backend; the SDK keeps them in its "
            "encrypted store for the next launch\n";
  }
}

std::optional<Json> DemoApp::storedEvents() {
  if (server_) return platform::parseJson(server_->storedEventsJson());
  auto answer = std::make_shared<std::optional<platform::HttpResult>>();
  platform::HttpRequest request;
  request.url = baseUrl_ + "/dev/events";
  request.timeoutSeconds = kStepLimit;
  platform::HttpClient::shared()->send(request, [answer](platform::HttpResult result) {
    platform::postToMain([answer, result] { *answer = result; });
  });
  loop_->runUntil([&] { return answer->has_value(); }, kStepLimit + 5);
  const auto* response = *answer ? std::get_if<platform::HttpResponse>(&**answer) : nullptr;
  if (!response || response->status != 200) {
    out_ << "the backend offers no event list at " << request.url << "\n";
    return std::nullopt;
  }
  try {
    return platform::parseJson(response->body);
  } catch (const platform::DecodingError& error) {
    out_ << "the event list at " << request.url << " is not JSON: " << error.localizedDescription()
         << "\n";
    return std::nullopt;
  }
}

void DemoApp::printStoredEvents() {
  auto list = storedEvents();
  if (!list || !list->contains("events") || !(*list)["events"].is_array()) return;
  const Json& events = (*list)["events"];
  std::vector<std::pair<std::string, int>> counts;
  for (const Json& event : events) {
    const std::string type = text(event.value("eventType", Json()));
    auto it = std::find_if(counts.begin(), counts.end(), [&](auto& c) { return c.first == type; });
    if (it == counts.end()) {
      counts.emplace_back(type, 1);
    } else {
      ++it->second;
    }
  }
  out_ << "\nthe backend stored " << events.size() << " events:";
  for (std::size_t i = 0; i < counts.size(); ++i) {
    out_ << (i ? ", " : " ") << counts[i].first << " " << counts[i].second;
  }
  out_ << "\n";
  for (const Json& event : events) {
    const Json payload = event.value("payload", Json::object());
    const std::string type = text(event.value("eventType", Json()));
    if (type == "marker_checkpoint") {
      out_ << "  marker_checkpoint  checkpoint " << text(payload.value("checkpoint", Json()))
           << "  metadata " << text(payload.value("metadata", Json())) << "  session "
           << text(event.value("sessionId", Json())) << "\n";
      continue;
    }
    out_ << "  " << type << "  " << text(payload.value("adFormat", Json())) << "  "
         << text(payload.value("adUnitId", Json())) << "  latency "
         << text(payload.value("latency", Json())) << "  network "
         << text(payload.value("adNetwork", Json())) << "\n";
  }
}

void DemoApp::hostCallback(const std::string& name, const std::string& detail) {
  observed_.callbacks.insert(name);
  out_ << "  " << name << (detail.empty() ? "" : " " + detail) << "\n";
  if (options_.crashAt == name) {
    out_ << "  crashing inside " << name << " (--crash-at)" << std::endl;
    std::abort();
  }
}

std::string DemoApp::describe(const std::optional<TiloAdInfo>& info) {
  if (!info) return "(no ad info)";
  std::ostringstream text;
  text << rawValue(info->adFormat) << " " << info->adUnitId << " latency "
       << (info->latency ? std::to_string(std::llround(*info->latency)) + " ms" : "-")
       << " network " << (info->adNetwork ? "\"" + *info->adNetwork + "\"" : "-");
  return text.str();
}

}  // namespace tilo::demo
