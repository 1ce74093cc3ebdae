// A screen the host shows; full-screen ads are presented from one (or from none, in which
// case the platform picks the top screen itself).
#pragma once

#include <memory>
#include <string>

namespace tilo::platform {

class UIViewController {
 public:
  static std::shared_ptr<UIViewController> create(std::string title = {}) {
    return std::make_shared<UIViewController>(std::move(title));
  }
  explicit UIViewController(std::string title = {}) : title_(std::move(title)) {}
  virtual ~UIViewController() = default;

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }

 private:
  std::string title_;
};

}  // namespace tilo::platform
