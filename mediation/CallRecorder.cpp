#include "mediation/CallRecorder.h"

namespace tilo::mediation {

CallRecorder& CallRecorder::shared() {
  static CallRecorder recorder;
  return recorder;
}

void CallRecorder::record(std::string sdk, std::string method, std::string value) {
  std::lock_guard lock(mutex_);
  calls_.push_back({std::move(sdk), std::move(method), std::move(value)});
}

std::vector<RecordedCall> CallRecorder::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<RecordedCall> CallRecorder::callsTo(std::string_view sdk) const {
  std::vector<RecordedCall> result;
  std::lock_guard lock(mutex_);
  for (const auto& call : calls_) {
    if (call.sdk == sdk) result.push_back(call);
  }
  return result;
}

void CallRecorder::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
}

std::string CallRecorder::describe() const {
  std::string out;
  for (const auto& call : calls()) {
    out += call.sdk + " " + call.method + (call.value.empty() ? "" : " " + call.value) + "\n";
  }
  return out;
}

}  // namespace tilo::mediation
