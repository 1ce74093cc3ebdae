#include "support/ChildProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/FileSystem.h"
#include "support/TempDir.h"

extern char** environ;

namespace tilo::test {

ChildRun runChild(std::vector<std::string> argv, const std::vector<std::string>& variables,
                  bool mergeErrors, int seconds) {
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> environment;
  for (const auto& variable : variables) {
    if (variable.find('=') != std::string::npos) environment.push_back(variable);
  }
  for (char** entry = environ; *entry; ++entry) {
    bool replaced = false;
    for (const auto& variable : variables) replaced |= nameOf(variable) == nameOf(*entry);
    if (!replaced) environment.emplace_back(*entry);
  }
  std::vector<char*> envp, args;
  for (auto& entry : environment) envp.push_back(entry.data());
  for (auto& arg : argv) args.push_back(arg.data());
  envp.push_back(nullptr);
  args.push_back(nullptr);

  TempDir output;
  const auto outFile = output.path() / "stdout", errFile = output.path() / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (mergeErrors) {
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ChildRun run;
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
    return run;
  }
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << argv[0] << " did not end within " << seconds << " s";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  run.out = platform::FileSystem::readFile(outFile).value_or("");
  run.err = platform::FileSystem::readFile(errFile).value_or("");
  return run;
}

}  // namespace tilo::test
