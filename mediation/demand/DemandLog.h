// The last kCapacity exchanges with the exchange, for an in-game ad inspector: what was
// asked (the request, cut to kMaxRequestChars, its consent strings masked) and what came
// back (the outcome, the winning seat, price and creative, or the reason of a failure).
//
//   for (const DemandRecord& record : DemandLog::shared().recent()) show(record);
//
// Costs nothing beyond the ring: each record is made from what the load had at hand.
// Any thread.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tilo::mediation::demand {

struct DemandRecord {
  double at = 0;  // the environment clock's wall time when the answer came
  std::string requestId;
  std::string format;
  std::string adUnitId;
  std::string request;  // JSON text, cut and masked
  long status = 0;      // HTTP status; 0 when no answer came
  std::string outcome;  // "bid", "no bid", "invalid", "error"
  std::string detail;   // the reason of an invalid answer or an error
  std::optional<std::string> seat, price, currency, creativeId, bidId;
  double latencyMs = 0;
};

class DemandLog {
 public:
  static constexpr std::size_t kCapacity = 10;
  static constexpr std::size_t kMaxRequestChars = 2048;

  static DemandLog& shared();

  void add(DemandRecord record);
  // Oldest first.
  std::vector<DemandRecord> recent() const;

  // `request` with every occurrence of `secret` shown as its first four characters and
  // "…", then cut to kMaxRequestChars.
  static std::string masked(std::string request, const std::vector<std::string>& secrets);

 private:
  mutable std::mutex mutex_;
  std::deque<DemandRecord> records_;
};

}  // namespace tilo::mediation::demand
