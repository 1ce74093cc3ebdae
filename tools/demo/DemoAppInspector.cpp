// tilo-demo --inspector DIR: the ad inspector's pages as a player would see them at the
// end of the run, one picture per page it shows.
#include <filesystem>
#include <system_error>

#include "Tilo/inspector/AdInspector.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/ViewRenderer.h"
#include "tools/demo/DemoApp.h"

namespace tilo::demo {

bool DemoApp::writeInspectorPages() {
  out_ << "\nad inspector\n";
  const std::filesystem::path dir = *options_.inspector;
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  auto window = makeWindow();
  auto inspector = inspector::AdInspector::open(window, {});
  if (!inspector) {
    out_ << "  error: the inspector did not open\n";
    return false;
  }
  const std::string suffix =
      options_.appearance == platform::UIUserInterfaceStyle::dark ? "-dark" : "";
  bool ok = true;
  const auto pages = inspector::inspectorPages();
  for (std::size_t index = 0; index < pages.size(); ++index) {
    if (!inspector->isPageShown(index)) continue;  // Demand: only with an exchange
    inspector->selectPage(index);
    const auto png = dir / (std::string("inspector-") + pages[index].identifier + suffix + ".png");
    std::string problem;
    if (platform::ViewRenderer::writePNG(*window, png.string(), &problem)) {
      out_ << "  page " << pages[index].title << ": " << png.string() << "\n";
    } else {
      out_ << "  error: " << png.string() << ": " << problem << "\n";
      ok = false;
    }
  }
  inspector->close();
  return ok;
}

}  // namespace tilo::demo
