#include "support/RecordingTiloApi.h"

#include <stdexcept>

namespace tilo::test {

void RecordingTiloApi::sendEvents(std::string body, std::function<void(Answer)> completion) {
  auto parsed = platform::Json::parse(body);
  std::optional<Answer> answer;
  {
    std::lock_guard lock(mutex_);
    bodies_.push_back(std::move(parsed));
    completions_.push_back(autoAnswer_ ? nullptr : completion);
    answer = autoAnswer_;
  }
  if (answer) completion(*answer);
}

std::size_t RecordingTiloApi::uploadCount() const {
  std::lock_guard lock(mutex_);
  return bodies_.size();
}

platform::Json RecordingTiloApi::body(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return bodies_.at(index);
}

std::vector<std::string> RecordingTiloApi::eventIds(std::size_t index) const {
  std::vector<std::string> ids;
  const platform::Json upload = body(index);
  for (const auto& event : upload.at("events")) ids.push_back(event.at("eventId"));
  return ids;
}

std::vector<platform::Json> RecordingTiloApi::allEvents() const {
  std::lock_guard lock(mutex_);
  std::vector<platform::Json> events;
  for (const auto& body : bodies_) {
    for (const auto& event : body.at("events")) events.push_back(event);
  }
  return events;
}

void RecordingTiloApi::complete(std::size_t index, Answer answer) {
  std::function<void(Answer)> completion;
  {
    std::lock_guard lock(mutex_);
    completion = std::exchange(completions_.at(index), nullptr);
  }
  if (!completion) throw std::logic_error("upload already answered");
  completion(std::move(answer));
}

}  // namespace tilo::test
