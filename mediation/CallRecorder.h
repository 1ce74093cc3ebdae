// Every call the SDK makes on an outside network SDK, in order, for tests and debug output.
//
//   CallRecorder::shared().clear();
//   network.applyPrivacy(settings);
//   EXPECT_EQ(CallRecorder::shared().calls(), (std::vector<RecordedCall>{
//       {"IronSource", "setConsent:", "false"}}));
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tilo::mediation {

struct RecordedCall {
  std::string sdk;     // the class called, e.g. "IronSource"
  std::string method;  // its selector, e.g. "setMetaDataWithKey:value:"
  std::string value;   // the arguments as text, e.g. "do_not_sell=YES"

  bool operator==(const RecordedCall&) const = default;
};

class CallRecorder {
 public:
  static CallRecorder& shared();

  void record(std::string sdk, std::string method, std::string value = {});
  std::vector<RecordedCall> calls() const;
  // The calls on one class only.
  std::vector<RecordedCall> callsTo(std::string_view sdk) const;
  void clear();
  // One "sdk method value" line per call.
  std::string describe() const;

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedCall> calls_;
};

// Argument texts: "true"/"false" for flags, decimal digits for numbers.
inline std::string boolText(bool value) {
  return value ? "true" : "false";
}

}  // namespace tilo::mediation
