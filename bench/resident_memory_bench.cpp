// Resident memory a host pays for the SDK: a separate process (tilo-resident-host) that
// loads libtilo.so with dlopen reads its own VmRSS before and after the load, after
// initialization against a development backend here, and after some idle seconds of the
// main loop. Targets: loading adds at most 3 MB; initialized and idle, at most 8 MB above
// the host's own, and at most 4 MB above the floor: what libcurl and libcrypto add when used
// once each without the SDK. Then the mappings holding the most, to say where the megabytes
// are.
//
//   bench_resident_memory_bench [IDLE_SECONDS]   (default 5; other arguments are ignored)
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/support/BenchSdk.h"
#include "tools/devserver/DevServer.h"

namespace {

// Runs tilo-resident-host with `args`; what it printed, its wait status in `status`.
std::string runHost(std::vector<std::string> args, int* status) {
  *status = -1;
  int out[2];
  if (::pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  args.insert(args.begin(), TILO_RESIDENT_HOST);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const bool spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string output;
  char chunk[4096];
  for (ssize_t n; spawned && (n = ::read(out[0], chunk, sizeof chunk)) > 0;) {
    output.append(chunk, n);
  }
  ::close(out[0]);
  if (spawned) ::waitpid(pid, status, 0);
  return output;
}

// The "rss <step> <kB>" lines of a host's output.
std::map<std::string, long> residentSteps(const std::string& output) {
  std::map<std::string, long> rss;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind, step;
    long kb = 0;
    if (words >> kind && kind == "rss" && words >> step >> kb) rss[step] = kb;
  }
  return rss;
}

}  // namespace

int main(int argc, char** argv) {
  std::string idle = "5";
  if (argc > 1 && argv[1][0] != '-') idle = argv[1];
  const auto bundle = tilo::bench::makeTempDir(), container = tilo::bench::makeTempDir();
  tilo::bench::writeBundle(bundle);
  tilo::devserver::DevServerOptions options;
  options.appKey = tilo::bench::kAppKey;
  options.appInfoJson = R"({"adUnits":[],"feeRate":0.1})";
  std::string error;
  auto server = tilo::devserver::DevServer::start(options, &error);
  if (!server) {
    std::fprintf(stderr, "resident memory bench: %s\n", error.c_str());
    return 1;
  }
  int status = 0;
  const std::string output = runHost(
      {TILO_LIBRARY, bundle.string(), container.string(), server->baseUrl(), idle}, &status);
  int floorStatus = 0;
  const std::string floorOutput = runHost({"--floor", server->baseUrl() + "/"}, &floorStatus);
  server->stop();
  std::filesystem::remove_all(bundle);
  std::filesystem::remove_all(container);

  auto rss = residentSteps(output);
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind, step;
    words >> kind;
    if (kind == "rss" && words >> step) {
      if (step == "loaded" || step == "idle") {
        std::printf("largest resident mappings after %s:\n", step == "loaded" ? "dlopen" : "idle");
      }
    } else if (kind == "map") {
      std::printf("  %s\n", line.c_str() + 4);
    } else if (kind == "error") {
      std::fprintf(stderr, "resident memory bench: the host said: %s\n", line.c_str());
      return 1;
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || rss.size() < 4) {
    std::fprintf(stderr, "resident memory bench: the host failed (status %d)\n", status);
    return 1;
  }
  auto mb = [&](const char* step) { return (rss[step] - rss["start"]) / 1024.0; };
  std::printf("host before loading: %.1f MB\n", rss["start"] / 1024.0);
  std::printf("added by dlopen of libtilo.so: %.1f MB (target <= 3 MB)\n", mb("loaded"));
  std::printf("added once initialized: %.1f MB\n", mb("initialized"));
  std::printf("added after %s s idle: %.1f MB (target <= 8 MB)\n", idle.c_str(), mb("idle"));
  const auto floor = residentSteps(floorOutput);
  if (!WIFEXITED(floorStatus) || WEXITSTATUS(floorStatus) != 0 || floor.size() < 2) {
    std::fprintf(stderr, "resident memory bench: the libraries alone could not be measured: %s\n",
                 floorOutput.c_str());
    return 1;
  }
  std::printf(
      "added by libcurl and libcrypto alone, without the SDK (curl_global_init, one GET, "
      "one AES-256-GCM seal): %.1f MB\n",
      (floor.at("floor") - floor.at("start")) / 1024.0);
  std::printf("idle above the libraries' floor: %.1f MB (target <= 4 MB)\n",
              mb("idle") - (floor.at("floor") - floor.at("start")) / 1024.0);
  return 0;
}
