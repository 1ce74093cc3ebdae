// tilo-devserver: the development backend as a process. Runs until SIGINT or SIGTERM.
#include <signal.h>

#include <charconv>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/Json.h"
#include "tools/devserver/DevServer.h"

namespace {

constexpr const char* kUsage =
    "usage: tilo-devserver --port N --app-key K --app-info FILE [--db FILE]\n"
    "                      [--fail-first N] [--fail-status CODE] [--delay-ms N]\n"
    "  --port 0 picks a free port; without --db events are kept in memory.\n";

int usage(const std::string& problem) {
  std::cerr << "tilo-devserver: " << problem << "\n" << kUsage;
  return 2;
}

bool parseInt(std::string_view text, int min, int max, int& out) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) {
    return false;
  }
  out = value;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  tilo::devserver::DevServerOptions options;
  std::string appInfoPath;
  bool havePort = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view flag = argv[i];
    if (flag == "--help" || flag == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (i + 1 >= argc) return usage("missing value for " + std::string(flag));
    const std::string_view value = argv[++i];
    bool ok = true;
    if (flag == "--port") {
      ok = parseInt(value, 0, 65535, options.port);
      havePort = ok;
    } else if (flag == "--app-key") {
      options.appKey = value;
      ok = !value.empty();
    } else if (flag == "--app-info") {
      appInfoPath = value;
    } else if (flag == "--db") {
      options.dbPath = value;
    } else if (flag == "--fail-first") {
      ok = parseInt(value, 0, 1'000'000, options.failFirst);
    } else if (flag == "--fail-status") {
      ok = parseInt(value, 100, 599, options.failStatus);
    } else if (flag == "--delay-ms") {
      ok = parseInt(value, 0, 600'000, options.delayMs);
    } else {
      return usage("unknown option " + std::string(flag));
    }
    if (!ok) return usage("invalid value for " + std::string(flag) + ": " + std::string(value));
  }
  if (!havePort) return usage("--port is required");
  if (options.appKey.empty()) return usage("--app-key is required");
  if (appInfoPath.empty()) return usage("--app-info is required");

  std::ifstream file(appInfoPath, std::ios::binary);
  std::stringstream content;
  if (!file || !(content << file.rdbuf())) {
    std::cerr << "tilo-devserver: cannot read app info file " << appInfoPath << ": "
              << std::strerror(errno) << "\nPass a readable JSON file with --app-info.\n";
    return 1;
  }
  options.appInfoJson = content.str();
  try {
    tilo::platform::parseJson(options.appInfoJson);
  } catch (const tilo::platform::DecodingError& error) {
    std::cerr << "tilo-devserver: app info file " << appInfoPath
              << " is not valid JSON: " << error.what()
              << "\nFix the file, or pass another one with --app-info.\n";
    return 1;
  }

  // Blocked before the server threads start, so they inherit the mask and only sigwait sees
  // the signals.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string error;
  const auto server = tilo::devserver::DevServer::start(options, &error);
  if (!server) {
    std::cerr << "tilo-devserver: " << error << "\n";
    return 1;
  }
  std::cout << "tilo-devserver listening on " << server->baseUrl() << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  server->stop();
  std::cout << "tilo-devserver stopped (" << server->storedEvents().size() << " events stored)"
            << std::endl;
  return 0;
}
