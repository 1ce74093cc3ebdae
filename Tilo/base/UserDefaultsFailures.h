// The one place the SDK's stores report what went wrong with the host's preferences file.
#pragma once

namespace tilo {
namespace platform {
class UserDefaults;
}

// Logs at error level, once per store, that its file was over the read cap and moved aside
// (a fresh file takes its place), or that it exists but could not be read or written back
// exactly, so the SDK's entries live in memory only for this run; and, once per run of
// failed writes,
// that a change could not be written (it stays in memory until a write succeeds). The
// cache and the event store call it whenever they touch the store; the first time the
// host can see the log is the first such touch after initialization starts.
void reportUserDefaultsFailures(platform::UserDefaults& defaults);

}  // namespace tilo
