// tilo-render FILE [--png OUT.png] [--dump OUT.json|-]: lays out a view tree described in
// JSON and writes the picture and the layout dump. The format is in --help.
#include <cstdio>
#include <iostream>
#include <string>

#include "platform/FileSystem.h"
#include "platform/ui/LayoutDump.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/ViewRenderer.h"
#include "tools/render/RenderDocument.h"

using namespace tilo::platform;
using tilo::render::DocumentError;
using tilo::render::RenderDocument;

namespace {

int usage(const std::string& problem) {
  std::cerr << "tilo-render: " << problem << "\n"
            << "usage: tilo-render FILE [--png OUT.png] [--dump OUT.json|-] (see --help)\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string file, png, dump;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::cout << RenderDocument::helpText();
      return 0;
    }
    if (argument == "--png" || argument == "--dump") {
      if (i + 1 >= argc) return usage(argument + " needs a file name");
      (argument == "--png" ? png : dump) = argv[++i];
    } else if (!argument.empty() && argument[0] == '-') {
      return usage("unknown option " + argument);
    } else if (file.empty()) {
      file = argument;
    } else {
      return usage("more than one input file");
    }
  }
  if (file.empty()) return usage("no input file");
  if (png.empty() && dump.empty()) return usage("nothing to write: give --png and/or --dump");

  // Layout reports (dropped constraints) go to standard error as they happen; a tree
  // beyond a limit is an error of the file.
  bool limitExceeded = false;
  UIDiagnostics::setHandler([&limitExceeded](const UIDiagnostic& diagnostic) {
    std::cerr << "tilo-render: " << diagnostic.message << "\n";
    limitExceeded = limitExceeded || diagnostic.kind == UIDiagnostic::Kind::limitExceeded;
  });
  try {
    RenderDocument document = RenderDocument::load(file);
    auto window = document.window();
    window->layoutIfNeeded();
    if (limitExceeded) return 1;
    if (!png.empty()) {
      std::string error;
      if (!ViewRenderer::writePNG(*window, png, &error)) {
        std::cerr << "tilo-render: " << error << "\n";
        return 1;
      }
    }
    if (!dump.empty()) {
      std::string text = layoutDumpString(*window) + "\n";
      if (dump == "-") {
        std::cout << text;
      } else if (!FileSystem::atomicWrite(dump, text)) {
        std::cerr << "tilo-render: cannot write " << dump << "\n";
        return 1;
      }
    }
    return 0;
  } catch (const DocumentError& error) {
    std::cerr << "tilo-render: " << file << ": " << error.what() << "\n";
    return 1;
  } catch (const std::exception& error) {
    std::cerr << "tilo-render: " << error.what() << "\n";
    return 1;
  }
}
