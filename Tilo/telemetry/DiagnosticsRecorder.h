// What the SDK remembers of its recent work for the in-app ad inspector: the last loads of
// each ad unit, how the last start-up went, each network's start and the crash reports
// the last start found.
//
//   DiagnosticsRecorder::shared().adEvent(AdLogEventType::adRequest, info, std::nullopt);
//   auto snapshot = DiagnosticsRecorder::shared().snapshot();   // the inspector, when open
//
// It is always on and bounded, whether or not an inspector ever opens: at most
// kLoadsPerUnit loads for each of kMaxUnits units (the least recently active unit goes
// first), every text cut to kMaxTextBytes, at most kMaxCrashReports reports. Recording a
// load costs one short lock; nothing else runs until someone takes a snapshot.
//
// It never holds a secret: the privacy choices it keeps have their consent strings masked
// on the way in (maskSecret), and network calls are kept as their adapters logged them,
// with the same strings masked.
//
// Threads: any. Times are the platform clock's: wall seconds for when, uptime for how long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Tilo/base/PrivacySettings.h"
#include "Tilo/base/TiloAdInfo.h"
#include "Tilo/base/TiloRevenueInfo.h"
#include "Tilo/telemetry/AdLogEvent.h"

namespace tilo {

// "abcd••••" for a secret longer than 8 bytes (its first four kept, to tell keys apart),
// "••••" for a shorter one; "" stays "".
std::string maskSecret(const std::string& secret);

enum class LoadOutcome { loading, filled, failed };

struct RecentLoad {
  double startedAt = 0;  // wall seconds
  LoadOutcome outcome = LoadOutcome::loading;
  std::optional<long> errorCode;
  std::string errorMessage;
  std::optional<double> latencyMs;  // from the request to its answer
  std::optional<std::string> network;
  std::optional<std::string> revenue;  // "0.010625 USD": paid for this load's ad
  double startedUptime = 0;

  bool operator==(const RecentLoad&) const = default;
};

struct UnitActivity {
  std::string adUnitId;
  std::string format;             // the format's raw value
  std::vector<RecentLoad> loads;  // oldest first

  bool operator==(const UnitActivity&) const = default;
};

struct StartupRecord {
  bool started = false;
  double startedAt = 0;              // wall seconds
  std::optional<double> durationMs;  // once finished
  std::optional<std::string> error;  // a failed start-up's message
  PrivacySettings privacy;           // as handed to the networks, strings masked
  double startedUptime = 0;

  bool operator==(const StartupRecord&) const = default;
};

struct NetworkStart {
  std::string name;
  std::optional<bool> ready;  // nullopt while starting
  double latencyMs = 0;
  std::vector<std::string> privacyCalls;  // "Chartboost addDataUseConsent: ..." as called

  bool operator==(const NetworkStart&) const = default;
};

struct CrashReportSummary {
  std::string checkpoint;
  double crashedAt = 0;  // wall seconds
  std::string metadata;  // the report's metadata text, "" when none
  std::string sessionId;

  bool operator==(const CrashReportSummary&) const = default;
};

class DiagnosticsRecorder {
 public:
  static constexpr std::size_t kLoadsPerUnit = 10;
  static constexpr std::size_t kMaxUnits = 64;
  static constexpr std::size_t kMaxTextBytes = 1024;
  static constexpr std::size_t kMaxCrashReports = 20;

  struct Snapshot {
    std::vector<UnitActivity> units;  // first recorded first
    StartupRecord startup;
    std::vector<NetworkStart> networks;  // in start order
    bool crashCheckDone = false;
    std::vector<CrashReportSummary> crashReports;
    std::size_t crashReportCount = 0;  // found, also beyond kMaxCrashReports
  };

  static DiagnosticsRecorder& shared();

  // adRequest starts a load of the unit, adResponse and adResponseError end its oldest
  // load still running; other kinds are ignored.
  void adEvent(AdLogEventType type, const TiloAdInfo& adInfo,
               const std::optional<AdResError>& error);
  // Revenue paid for the unit's newest filled load.
  void revenuePaid(const std::string& adUnitId, const TiloRevenueInfo& revenue);

  // A new start-up: forgets the previous one and its network starts.
  void startupBegan(const PrivacySettings& privacy);
  void startupEnded(const std::optional<std::string>& error);
  void networkStarting(const std::string& name);
  void networkStarted(const std::string& name, bool ready, std::vector<std::string> privacyCalls);
  void crashCheckDone(std::vector<CrashReportSummary> reports);

  Snapshot snapshot() const;
  // Forgets everything (a shutdown, or a test's fresh SDK).
  void reset();

 private:
  struct Unit {
    UnitActivity activity;
    std::uint64_t lastActive = 0;
  };
  UnitActivity& unitLocked(const std::string& adUnitId, TiloAdFormat format);

  mutable std::mutex mutex_;
  std::vector<Unit> units_;  // first recorded first
  std::uint64_t activity_ = 0;
  StartupRecord startup_;
  std::vector<NetworkStart> networks_;
  std::map<std::string, double> networkStartedUptime_;
  bool crashCheckDone_ = false;
  std::vector<CrashReportSummary> crashReports_;
  std::size_t crashReportCount_ = 0;
};

}  // namespace tilo
