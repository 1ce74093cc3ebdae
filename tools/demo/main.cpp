// tilo-demo: the sample host application of the Tilo SDK (see DemoApp.h).
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "Tilo/entry/TiloAds.h"
#include "tools/demo/DemoApp.h"
#include "tools/demo/DemoOptions.h"

int main(int argc, char** argv) {
  using namespace tilo::demo;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (argc == 2 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  DemoOptions options;
  try {
    options = DemoOptions::parse(args);
  } catch (const UsageError& error) {
    std::cerr << "tilo-demo: " << error.what() << "\n";
    std::cerr << kUsage;
    return 2;
  }
  int code;
  try {
    DemoApp app(std::move(options), args, std::cout);
    code = app.run();
  } catch (const std::exception& error) {
    std::cout << std::flush;
    std::cerr << "tilo-demo: " << error.what() << "\n";
    code = 1;
  }
  // Saves what is left and joins every SDK thread before the statics go.
  tilo::TiloAds::shutdownShared();
  std::cout << std::flush;
  return code;
}
