// Records, through inotify, which crash-marker flag files appear and disappear in the
// markers folder, so a test can see a marker that was set and cleared within one call.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Tilo/telemetry/MarkerFiles.h"

namespace tilo::test {

class MarkerWatch {
 public:
  MarkerWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    std::filesystem::create_directories(markersDirectory());
    inotify_add_watch(fd_, markersDirectory().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE);
  }
  ~MarkerWatch() { close(fd_); }
  MarkerWatch(const MarkerWatch&) = delete;
  MarkerWatch& operator=(const MarkerWatch&) = delete;

  // "+name" for every write or rename into place, "-name" for every removal, in order,
  // since the last call: of every flag, or of the one file named `only` (a flag or not);
  // temporary files are left out.
  std::vector<std::string> take(const std::string& only = {}) {
    std::vector<std::string> out;
    alignas(inotify_event) char buffer[8192];
    for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
      for (char* p = buffer; p < buffer + n;) {
        auto* event = reinterpret_cast<inotify_event*>(p);
        const std::string name = event->len ? event->name : "";
        if (only.empty() ? name.ends_with(".flag") : name == only) {
          out.push_back((event->mask & IN_DELETE ? "-" : "+") + name);
        }
        p += sizeof(inotify_event) + event->len;
      }
    }
    return out;
  }

 private:
  int fd_;
};

}  // namespace tilo::test
