// Why the SDK cannot start: no app key in Info.plist, or no usable key file.
//
//   if (auto started = TiloAds::sharedOrError(); !started) {
//     report(started.error()->description());   // the fixed line, then where the SDK looked
//   }
//
// message() is the line integrators know from the dashboard's documentation; details()
// names the folder or file involved, so the host can tell which of its bundles is wrong.
#pragma once

#include <string>

namespace tilo {

class ConfigurationError {
 public:
  explicit ConfigurationError(std::string message, std::string details = {})
      : message_(std::move(message)),
        details_(std::move(details)),
        description_(details_.empty() ? message_ : message_ + " (" + details_ + ")") {}

  const std::string& message() const { return message_; }
  const std::string& details() const { return details_; }
  // message(), then " (details)" when there are any.
  const std::string& description() const { return description_; }

 private:
  std::string message_;
  std::string details_;
  std::string description_;
};

}  // namespace tilo
