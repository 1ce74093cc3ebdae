#include "Tilo/telemetry/DiagnosticsRecorder.h"

#include <algorithm>

#include "platform/Environment.h"

namespace tilo {
namespace {

// Cut at a UTF-8 boundary, so that a cut text stays valid.
std::string cut(std::string text) {
  if (text.size() <= DiagnosticsRecorder::kMaxTextBytes) return text;
  std::size_t end = DiagnosticsRecorder::kMaxTextBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

double uptime() {
  return platform::Environment::current().clock().uptime();
}

std::optional<std::string> maskedOptional(const std::optional<std::string>& value) {
  if (!value) return std::nullopt;
  return maskSecret(*value);
}

}  // namespace

std::string maskSecret(const std::string& secret) {
  if (secret.empty()) return {};
  if (secret.size() <= 8) return "••••";
  // Four bytes may end inside a character: keep whole ones only.
  std::size_t end = 4;
  while (end > 0 && (static_cast<unsigned char>(secret[end]) & 0xC0) == 0x80) --end;
  return secret.substr(0, end) + "••••";
}

DiagnosticsRecorder& DiagnosticsRecorder::shared() {
  // Never destroyed: pool threads may record while the process exits.
  static auto* const recorder = new DiagnosticsRecorder();
  return *recorder;
}

UnitActivity& DiagnosticsRecorder::unitLocked(const std::string& adUnitId, TiloAdFormat format) {
  const std::string key = cut(adUnitId);
  auto found = std::find_if(units_.begin(), units_.end(),
                            [&](const Unit& unit) { return unit.activity.adUnitId == key; });
  if (found == units_.end()) {
    if (units_.size() >= kMaxUnits) {
      units_.erase(std::min_element(units_.begin(), units_.end(), [](const Unit& a, const Unit& b) {
        return a.lastActive < b.lastActive;
      }));
    }
    units_.push_back({UnitActivity{key, std::string(rawValue(format)), {}}, 0});
    found = units_.end() - 1;
  }
  found->lastActive = ++activity_;
  return found->activity;
}

void DiagnosticsRecorder::adEvent(AdLogEventType type, const TiloAdInfo& adInfo,
                                  const std::optional<AdResError>& error) {
  if (type != AdLogEventType::adRequest && type != AdLogEventType::adResponse &&
      type != AdLogEventType::adResponseError) {
    return;
  }
  const double wall = platform::now();
  const double up = uptime();
  std::lock_guard lock(mutex_);
  auto& unit = unitLocked(adInfo.adUnitId, adInfo.adFormat);
  if (type == AdLogEventType::adRequest) {
    if (unit.loads.size() >= kLoadsPerUnit) unit.loads.erase(unit.loads.begin());
    unit.loads.push_back(RecentLoad{wall, LoadOutcome::loading, {}, {}, {}, {}, {}, up});
    return;
  }
  auto load = std::find_if(unit.loads.begin(), unit.loads.end(), [](const RecentLoad& recent) {
    return recent.outcome == LoadOutcome::loading;
  });
  if (load == unit.loads.end()) {
    // An answer whose request is no longer remembered still counts as a load.
    if (unit.loads.size() >= kLoadsPerUnit) unit.loads.erase(unit.loads.begin());
    unit.loads.push_back(RecentLoad{wall, LoadOutcome::loading, {}, {}, {}, {}, {}, up});
    load = unit.loads.end() - 1;
  }
  load->outcome = type == AdLogEventType::adResponse ? LoadOutcome::filled : LoadOutcome::failed;
  load->latencyMs = (up - load->startedUptime) * 1000;
  if (adInfo.adNetwork) load->network = cut(*adInfo.adNetwork);
  if (error) {
    load->errorCode = error->code;
    load->errorMessage = cut(error->message);
  }
}

void DiagnosticsRecorder::revenuePaid(const std::string& adUnitId, const TiloRevenueInfo& revenue) {
  const std::string text = revenue.value.description() + " " + revenue.currencyCode;
  std::lock_guard lock(mutex_);
  const std::string key = cut(adUnitId);
  for (auto& unit : units_) {
    if (unit.activity.adUnitId != key) continue;
    auto& loads = unit.activity.loads;
    auto newest = std::find_if(loads.rbegin(), loads.rend(), [](const RecentLoad& load) {
      return load.outcome == LoadOutcome::filled;
    });
    if (newest != loads.rend()) newest->revenue = cut(text);
    return;
  }
}

void DiagnosticsRecorder::startupBegan(const PrivacySettings& privacy) {
  PrivacySettings masked = privacy;
  masked.gdprConsentString = maskedOptional(privacy.gdprConsentString);
  masked.ccpaString = maskedOptional(privacy.ccpaString);
  std::lock_guard lock(mutex_);
  startup_ = StartupRecord{true, platform::now(), {}, {}, std::move(masked), uptime()};
  networks_.clear();
  networkStartedUptime_.clear();
}

void DiagnosticsRecorder::startupEnded(const std::optional<std::string>& error) {
  const double up = uptime();
  std::lock_guard lock(mutex_);
  if (!startup_.started) return;
  startup_.durationMs = (up - startup_.startedUptime) * 1000;
  if (error) startup_.error = cut(*error);
}

void DiagnosticsRecorder::networkStarting(const std::string& name) {
  const double up = uptime();
  std::lock_guard lock(mutex_);
  networkStartedUptime_[name] = up;
}

void DiagnosticsRecorder::networkStarted(const std::string& name, bool ready,
                                         std::vector<std::string> privacyCalls) {
  const double up = uptime();
  std::lock_guard lock(mutex_);
  const auto started = networkStartedUptime_.find(name);
  const double latency = started == networkStartedUptime_.end() ? 0 : (up - started->second) * 1000;
  for (auto& call : privacyCalls) call = cut(std::move(call));
  networks_.push_back(NetworkStart{name, ready, latency, std::move(privacyCalls)});
}

void DiagnosticsRecorder::crashCheckDone(std::vector<CrashReportSummary> reports) {
  std::lock_guard lock(mutex_);
  crashCheckDone_ = true;
  crashReportCount_ = reports.size();
  if (reports.size() > kMaxCrashReports) reports.resize(kMaxCrashReports);
  for (auto& report : reports) report.metadata = cut(std::move(report.metadata));
  crashReports_ = std::move(reports);
}

DiagnosticsRecorder::Snapshot DiagnosticsRecorder::snapshot() const {
  std::lock_guard lock(mutex_);
  Snapshot snapshot;
  snapshot.units.reserve(units_.size());
  for (const auto& unit : units_) snapshot.units.push_back(unit.activity);
  snapshot.startup = startup_;
  snapshot.networks = networks_;
  snapshot.crashCheckDone = crashCheckDone_;
  snapshot.crashReports = crashReports_;
  snapshot.crashReportCount = crashReportCount_;
  return snapshot;
}

void DiagnosticsRecorder::reset() {
  std::lock_guard lock(mutex_);
  units_.clear();
  startup_ = {};
  networks_.clear();
  networkStartedUptime_.clear();
  crashCheckDone_ = false;
  crashReports_.clear();
  crashReportCount_ = 0;
}

}  // namespace tilo
