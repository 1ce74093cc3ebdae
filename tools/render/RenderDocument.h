// The view-tree file of tilo-render: a window, views and constraints, built into a live
// window. Every problem (an unknown key, a wrong type, a bad value, an image that does
// not decode) is a DocumentError whose message names where it is, e.g.
//   views[3] ("title").font.size: expected a number
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/Json.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"

namespace tilo::render {

class DocumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RenderDocument {
 public:
  // Reads and builds the file (at most 16 MB, a regular file). Images named by path are
  // read relative to the file's folder.
  static RenderDocument load(const std::filesystem::path& path);
  // Builds from parsed JSON; `baseDirectory` resolves image paths.
  static RenderDocument build(const platform::Json& json,
                              const std::filesystem::path& baseDirectory);

  const std::shared_ptr<platform::UIWindow>& window() const { return window_; }
  std::shared_ptr<platform::UIView> view(const std::string& id) const;

  static const char* helpText();

 private:
  std::shared_ptr<platform::UIWindow> window_;
  std::map<std::string, std::shared_ptr<platform::UIView>> views_;
};

}  // namespace tilo::render
