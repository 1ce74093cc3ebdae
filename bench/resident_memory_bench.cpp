// Resident memory a host pays for the SDK: a separate process (tilo-resident-host) that
// loads libtilo.so with dlopen reads its own VmRSS before and after the load, after
// initialization against a development backend here, and after some idle seconds of the
// main loop. Targets: loading adds at most 3 MB; initialized and idle, at most 8 MB above
// the host's own. Then the mappings holding the most, to say where the megabytes are.
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
  int out[2];
  if (::pipe(out) != 0) return 1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> args{TILO_RESIDENT_HOST, TILO_LIBRARY,       bundle.string(),
                                container.string(), server->baseUrl(), idle};
  std::vector<char*> argvChild;
  for (auto& arg : args) argvChild.push_back(arg.data());
  argvChild.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argvChild[0], &actions, nullptr, argvChild.data(), environ) != 0) {
    std::fprintf(stderr, "resident memory bench: cannot start %s\n", TILO_RESIDENT_HOST);
    return 1;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string output;
  char chunk[4096];
  for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;) output.append(chunk, n);
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  server->stop();
  std::filesystem::remove_all(bundle);
  std::filesystem::remove_all(container);

  std::map<std::string, long> rss;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string kind, step;
    long kb = 0;
    words >> kind;
    if (kind == "rss" && words >> step >> kb) {
      rss[step] = kb;
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
  return 0;
}
