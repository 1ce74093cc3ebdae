#include "Tilo/inspector/InspectorPages.h"

#include <cstdio>

#include "Tilo/inspector/InspectorText.h"

namespace tilo::inspector {
namespace {

InspectorRow row(std::string title, std::string value, std::string detail = {},
                 RowTone tone = RowTone::plain) {
  return InspectorRow{std::move(title), std::move(value), std::move(detail), tone, {}};
}

std::string id(const std::string& text) {
  return shownText(text, kMaxIdentifierCharacters);
}

std::string message(const std::string& text) {
  return shownText(text, kMaxMessageCharacters);
}

std::string count(std::uint64_t value) {
  return std::to_string(value);
}

// ---- SDK -------------------------------------------------------------------------------

InspectorRow stateRow(const InspectorSnapshot& snapshot) {
  switch (snapshot.state) {
    case SdkState::notStarted:
      return row("State", "Not started", "No SDK call has built it yet");
    case SdkState::notInitialized:
      return row("State", "Not initialized", "Waiting for tilo_initialize", RowTone::pending);
    case SdkState::initializing:
      return row("State", "Initializing…", "", RowTone::pending);
    case SdkState::failed:
      return row("State", "Failed", message(snapshot.startup.error.value_or("")), RowTone::bad);
    case SdkState::initialized:
      break;
  }
  return row("State", "Initialized", "", RowTone::good);
}

InspectorPageContent sdkPage(const InspectorSnapshot& snapshot) {
  InspectorSection sdk{"SDK", {row("Version", snapshot.version), stateRow(snapshot)}, {}};
  const auto& startup = snapshot.startup;
  if (startup.started) {
    sdk.rows.push_back(row("Initialization started", shownTime(startup.startedAt)));
    if (startup.durationMs) {
      sdk.rows.push_back(row("Initialization took", shownDuration(*startup.durationMs)));
    }
  }
  sdk.rows.push_back(row("Backend", snapshot.backendUrl.empty() ? "–" : id(snapshot.backendUrl)));
  sdk.rows.push_back(row("App key", snapshot.appKey.empty() ? "–" : id(snapshot.appKey)));
  sdk.rows.push_back(row("Log level", snapshot.logLevel));

  InspectorSection test{
      "Test mode",
      {snapshot.demandUrl ? row("Ads from", "Exchange", "Test ads with a scenario or a Test ad")
                          : row("Ads from", "Test source", "No ad network is reachable on Linux"),
       row("Scenario", message(snapshot.scenario))},
      {}};

  InspectorSection privacy{"Privacy, as sent", {}, {}};
  if (!startup.started) {
    privacy.rows.push_back(row("Not sent yet", "", "Sent to the networks at initialization"));
  } else {
    const auto& sent = startup.privacy;
    auto text = [](const std::optional<std::string>& value) {
      return value ? id(*value) : std::string("not set");
    };
    privacy.rows = {row("User consent (GDPR)", shownChoice(sent.hasUserConsent)),
                    row("GDPR consent string", text(sent.gdprConsentString)),
                    row("Do not sell (CCPA)", shownChoice(sent.doNotSell)),
                    row("CCPA string", text(sent.ccpaString)),
                    row("Child-directed", shownChoice(sent.isChildDirected)),
                    row("Tracking authorized", sent.isTrackingAuthorized ? "yes" : "no",
                        "Host's answer: " + snapshot.trackingAuthorization)};
    privacy.footer = "As the last initialization handed them to the networks; strings masked.";
  }
  return {{std::move(sdk), std::move(test), std::move(privacy)}};
}

// ---- Ad units ----------------------------------------------------------------------------

InspectorRow loadRow(const RecentLoad& load) {
  std::string value;
  std::string detail;
  RowTone tone = RowTone::plain;
  switch (load.outcome) {
    case LoadOutcome::loading:
      value = "Loading…";
      tone = RowTone::pending;
      break;
    case LoadOutcome::filled:
      value = "Filled";
      tone = RowTone::good;
      detail = load.network ? id(*load.network) : "network unknown";
      if (load.revenue) detail += " · " + id(*load.revenue);
      break;
    case LoadOutcome::failed:
      value = "Failed";
      tone = RowTone::bad;
      detail = load.errorCode ? std::to_string(*load.errorCode) + " " : std::string();
      detail += message(load.errorMessage);
      break;
  }
  if (load.latencyMs) value += " in " + shownDuration(*load.latencyMs);
  return row(shownTime(load.startedAt), std::move(value), std::move(detail), tone);
}

InspectorSection unitSection(const InspectorUnit& unit) {
  InspectorSection section{id(unit.adUnitId), {}, {}};
  section.rows.push_back(row("Format", id(unit.format), unit.name.empty() ? "" : id(unit.name)));
  if (unit.inAppInfo) section.rows.push_back(row("Mediation unit", id(unit.mediationAdUnitId)));
  if (unit.refreshInterval) {
    const double seconds = *unit.refreshInterval;
    char text[32];
    std::snprintf(text, sizeof text, "%.0f s", seconds < 1 ? 1.0 : seconds);
    section.rows.push_back(row("Refresh", seconds <= 0 ? "off" : text));
  }
  if (unit.inAppInfo) {
    InspectorRow test = row("Test ad", unit.testAd.empty() ? "Tap to show" : unit.testAd);
    test.tone = unit.testAd.rfind("Failed", 0) == 0 ? RowTone::bad
                : unit.testAd.empty()               ? RowTone::plain
                                                    : RowTone::pending;
    test.testAdUnit = unit.adUnitId;
    section.rows.push_back(std::move(test));
  } else {
    section.footer = "Not in the backend's ad units: loaded by its id alone.";
  }
  if (unit.loads.empty()) {
    section.rows.push_back(row("Last loads", "none yet"));
  }
  for (auto load = unit.loads.rbegin(); load != unit.loads.rend(); ++load) {
    section.rows.push_back(loadRow(*load));
  }
  return section;
}

InspectorPageContent unitsPage(const InspectorSnapshot& snapshot) {
  InspectorPageContent content;
  if (snapshot.units.empty()) {
    content.sections.push_back(
        {"Ad units",
         {row("No ad units yet", "", "The backend's units appear once the SDK has initialized")},
         {}});
    return content;
  }
  for (std::size_t i = 0; i < snapshot.units.size() && i < kMaxUnitsShown; ++i) {
    content.sections.push_back(unitSection(snapshot.units[i]));
  }
  if (snapshot.units.size() > kMaxUnitsShown) {
    content.sections.back().footer =
        count(snapshot.units.size() - kMaxUnitsShown) + " more units not shown";
  }
  return content;
}

// ---- Networks ----------------------------------------------------------------------------

InspectorPageContent networksPage(const InspectorSnapshot& snapshot) {
  InspectorSection section{"Networks, in start order", {}, {}};
  if (snapshot.networks.empty()) {
    section.rows.push_back(row("Not started yet", "", "Networks start when the SDK initializes"));
    return {{std::move(section)}};
  }
  for (const auto& network : snapshot.networks) {
    std::string detail;
    for (const auto& call : network.privacyCalls) {
      detail += (detail.empty() ? "" : " · ") + call;
    }
    if (detail.empty()) detail = "no privacy value forwarded";
    const bool ready = network.ready.value_or(false);
    section.rows.push_back(row(id(network.name),
                               !network.ready ? "Starting…"
                               : ready        ? "Ready in " + shownDuration(network.latencyMs)
                                       : "Not ready after " + shownDuration(network.latencyMs),
                               message(detail),
                               !network.ready ? RowTone::pending
                               : ready        ? RowTone::good
                                              : RowTone::bad));
  }
  section.footer = "Privacy values as each adapter handed them to its SDK; strings masked.";
  return {{std::move(section)}};
}

// ---- Analytics ---------------------------------------------------------------------------

InspectorPageContent analyticsPage(const InspectorSnapshot& snapshot) {
  InspectorSection events{"Events", {}, {}};
  if (!snapshot.analytics) {
    events.rows.push_back(row("Not started yet", "", "The event logger starts with the SDK"));
  } else {
    const auto& stats = *snapshot.analytics;
    events.rows = {row("Queued", count(stats.queued)), row("Sent", count(stats.sent)),
                   row("Dropped", count(stats.dropped), stats.dropped ? "Queue was full" : "",
                       stats.dropped ? RowTone::bad : RowTone::plain)};
    if (!stats.lastUploadAt) {
      events.rows.push_back(row("Last upload", "none yet"));
    } else if (stats.lastUploadSucceeded) {
      events.rows.push_back(row("Last upload", "OK at " + shownTime(*stats.lastUploadAt),
                                count(stats.lastUploadEvents) + " events", RowTone::good));
    } else {
      events.rows.push_back(row("Last upload", "Failed at " + shownTime(*stats.lastUploadAt),
                                message(stats.lastUploadError), RowTone::bad));
    }
  }
  InspectorSection crashes{"Crash report of the last start", {}, {}};
  if (!snapshot.crashCheckDone) {
    crashes.rows.push_back(row("Not checked yet", "", "Checked when the SDK initializes"));
  } else if (snapshot.crashReportCount == 0) {
    crashes.rows.push_back(row("None", "", "The previous run ended cleanly", RowTone::good));
  } else {
    for (const auto& report : snapshot.crashReports) {
      crashes.rows.push_back(row(id(report.checkpoint), shownTime(report.crashedAt),
                                 message(report.metadata), RowTone::bad));
    }
    if (snapshot.crashReportCount > snapshot.crashReports.size()) {
      crashes.footer =
          count(snapshot.crashReportCount - snapshot.crashReports.size()) + " more not shown";
    }
  }
  return {{std::move(events), std::move(crashes)}};
}

// ---- Demand ------------------------------------------------------------------------------

bool hasExchange(const InspectorSnapshot& snapshot) {
  return snapshot.demandUrl.has_value();
}

// Without its query, which may carry an exchange's token.
std::string shownUrl(const std::string& url) {
  const auto query = url.find_first_of("?#");
  return id(query == std::string::npos ? url : url.substr(0, query) + "?…");
}

InspectorSection demandSection(const mediation::demand::DemandRecord& record) {
  std::string value;
  std::string detail;
  RowTone tone = RowTone::bad;
  auto join = [&detail](const std::optional<std::string>& part, const char* label) {
    if (!part || part->empty()) return;
    detail += (detail.empty() ? "" : " · ") + std::string(label) + *part;
  };
  if (record.outcome == "bid") {
    value = "Bid " + record.price.value_or("?") + " " + record.currency.value_or("");
    tone = RowTone::good;
    join(record.seat, "");
    join(record.creativeId, "creative ");
    join(record.bidId, "bid ");
  } else {
    value = record.outcome == "no bid"    ? "No bid"
            : record.outcome == "invalid" ? "Invalid answer"
                                          : "Error";
    if (record.outcome == "no bid") tone = RowTone::plain;
    if (record.status) detail = "HTTP " + std::to_string(record.status);
    if (!record.detail.empty()) detail += (detail.empty() ? "" : " · ") + record.detail;
  }
  if (record.latencyMs > 0) value += " in " + shownDuration(record.latencyMs);
  InspectorSection section{shownTime(record.at) + "  " + id(record.adUnitId), {}, {}};
  section.rows.push_back(row(id(record.format), message(value), message(detail), tone));
  section.rows.push_back(row("Request", "", shownText(record.request, 2 * kMaxMessageCharacters)));
  return section;
}

InspectorPageContent demandPage(const InspectorSnapshot& snapshot) {
  InspectorSection exchange{
      "Exchange",
      {row("Auction URL", "", snapshot.demandUrl ? shownUrl(*snapshot.demandUrl) : "–")},
      "A unit's test ad never asks it: test ads are never paid impressions."};
  InspectorPageContent content{{std::move(exchange)}};
  if (snapshot.demand.empty()) {
    content.sections.push_back({"Last requests", {row("None yet", "", "Sent as ads load")}, {}});
    return content;
  }
  for (auto record = snapshot.demand.rbegin(); record != snapshot.demand.rend(); ++record) {
    content.sections.push_back(demandSection(*record));
  }
  content.sections.back().footer = "The last " + count(mediation::demand::DemandLog::kCapacity) +
                                   " requests, newest first; consent strings masked, requests cut.";
  return content;
}

constexpr InspectorPage kPages[] = {
    {"sdk", "SDK", sdkPage},
    {"units", "Ad units", unitsPage},
    {"networks", "Networks", networksPage},
    {"analytics", "Analytics", analyticsPage},
    {"demand", "Demand", demandPage, hasExchange},
};

}  // namespace

std::span<const InspectorPage> inspectorPages() {
  return kPages;
}

std::vector<bool> shownPages(const InspectorSnapshot& snapshot) {
  std::vector<bool> shown;
  for (const auto& page : kPages) shown.push_back(!page.shownFor || page.shownFor(snapshot));
  return shown;
}

}  // namespace tilo::inspector
