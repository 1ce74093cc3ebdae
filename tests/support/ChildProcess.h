// A program run to its end in a child process, its output captured in files.
//
//   ChildRun run = runChild({TILO_TOOLS_DIR "/tilo-demo", "--formats", "banner"},
//                           {"TILO_DEMO_SKIP_IDLE=1"});
//   EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
#pragma once

#include <string>
#include <vector>

namespace tilo::test {

struct ChildRun {
  int exitCode = -1;  // when it exited
  int signal = 0;     // when a signal ended it
  std::string out;    // standard output, with standard error when merged
  std::string err;    // standard error, unless merged
};

// Runs `argv` (argv[0] a path) with this process's environment changed by `variables`:
// "NAME=value" sets, a bare "NAME" removes. A child still running after `seconds` is
// killed and fails the calling test, so that a hung child is a failure, not a hung suite.
ChildRun runChild(std::vector<std::string> argv, const std::vector<std::string>& variables = {},
                  bool mergeErrors = false, int seconds = 60);

}  // namespace tilo::test
