#include "mediation/demand/DemandLog.h"

namespace tilo::mediation::demand {

DemandLog& DemandLog::shared() {
  static auto* const log = new DemandLog();  // kept for the process
  return *log;
}

void DemandLog::add(DemandRecord record) {
  std::lock_guard lock(mutex_);
  if (records_.size() == kCapacity) records_.pop_front();
  records_.push_back(std::move(record));
}

std::vector<DemandRecord> DemandLog::recent() const {
  std::lock_guard lock(mutex_);
  return {records_.begin(), records_.end()};
}

std::string DemandLog::masked(std::string request, const std::vector<std::string>& secrets) {
  for (const auto& secret : secrets) {
    if (secret.empty()) continue;
    const std::string shown = secret.substr(0, 4) + "\u2026";
    for (auto at = request.find(secret); at != std::string::npos;
         at = request.find(secret, at + shown.size())) {
      request.replace(at, secret.size(), shown);
    }
  }
  if (request.size() > kMaxRequestChars) {
    std::size_t cut = kMaxRequestChars;
    while (cut > 0 && (static_cast<unsigned char>(request[cut]) & 0xC0) == 0x80) --cut;
    request.resize(cut);
    request += "\u2026";
  }
  return request;
}

}  // namespace tilo::mediation::demand
