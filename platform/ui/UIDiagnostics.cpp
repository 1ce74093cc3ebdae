#include "platform/ui/UIDiagnostics.h"

#include <deque>
#include <mutex>
#include <utility>

namespace tilo::platform {
namespace {

struct State {
  std::mutex mutex;
  UIDiagnostics::Handler handler;
  std::deque<UIDiagnostic> recorded;
};

State& state() {
  static State* instance = new State;  // never destroyed: reports may come during exit
  return *instance;
}

}  // namespace

void UIDiagnostics::setHandler(Handler handler) {
  std::lock_guard lock(state().mutex);
  state().handler = std::move(handler);
}

void UIDiagnostics::report(UIDiagnostic diagnostic) {
  Handler handler;
  {
    std::lock_guard lock(state().mutex);
    state().recorded.push_back(diagnostic);
    while (state().recorded.size() > recordLimit) state().recorded.pop_front();
    handler = state().handler;
  }
  if (handler) handler(diagnostic);
}

std::vector<UIDiagnostic> UIDiagnostics::recorded() {
  std::lock_guard lock(state().mutex);
  return {state().recorded.begin(), state().recorded.end()};
}

void UIDiagnostics::clearRecorded() {
  std::lock_guard lock(state().mutex);
  state().recorded.clear();
}

}  // namespace tilo::platform
