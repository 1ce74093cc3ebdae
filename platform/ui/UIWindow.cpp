#include "platform/ui/UIWindow.h"

#include <cmath>

#include "platform/ui/FirstWindow.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UIScrollView.h"

namespace tilo::platform {
namespace {

bool finiteNonNegative(double value) {
  return std::isfinite(value) && value >= 0;
}

// Views live on the main thread, so does this.
std::weak_ptr<UIWindow>& keyWindowSlot() {
  static std::weak_ptr<UIWindow> window;
  return window;
}

}  // namespace

std::shared_ptr<UIWindow> UIWindow::create(CGSize size, double scale, UIEdgeInsets insets) {
  if (!problemWith(size, insets).empty() || !(scale >= kMinScale && scale <= kMaxScale))
    return nullptr;
  auto window = makeView<UIWindow>(size, scale, insets);
  noteWindowCreated();
  return window;
}

std::string UIWindow::problemWith(CGSize size, UIEdgeInsets insets) {
  if (!std::isfinite(size.width) || !std::isfinite(size.height) || size.width <= 0 ||
      size.height <= 0) {
    return "a window needs a positive, finite size in points (got " + std::to_string(size.width) +
           " x " + std::to_string(size.height) + ")";
  }
  if (!finiteNonNegative(insets.top) || !finiteNonNegative(insets.left) ||
      !finiteNonNegative(insets.bottom) || !finiteNonNegative(insets.right) ||
      insets.top + insets.bottom > size.height || insets.left + insets.right > size.width) {
    return "safe-area insets must be finite, not negative, and fit inside the window";
  }
  return {};
}

UIWindow::UIWindow(CGSize size, double scale, UIEdgeInsets insets)
    : UIView(CGRect{{0, 0}, size}), scale_(scale), safeArea_(insets) {}

UIWindow::~UIWindow() = default;

void UIWindow::initializeView() {
  UIView::initializeView();
  window_ = this;  // a window is its own window
}

bool UIWindow::setSize(CGSize size) {
  if (!problemWith(size, safeArea_).empty()) return false;
  UIView::setFrame({{0, 0}, size});
  return true;
}

void UIWindow::setFrame(const CGRect& frame) {
  if (auto problem = problemWith(frame.size, safeArea_); !problem.empty()) {
    UIDiagnostics::report({UIDiagnostic::Kind::invalidValue, std::move(problem), {}});
    return;
  }
  UIView::setFrame({{0, 0}, frame.size});
}

bool UIWindow::setSafeAreaInsets(UIEdgeInsets insets) {
  if (!problemWith(size(), insets).empty()) return false;
  if (insets == safeArea_) return true;
  safeArea_ = insets;
  // Guides follow the insets: rebuild the layout.
  structureDidChange();
  setNeedsLayout();
  return true;
}

void UIWindow::setAppearance(UIUserInterfaceStyle appearance) {
  appearance_ = appearance == UIUserInterfaceStyle::dark ? UIUserInterfaceStyle::dark
                                                         : UIUserInterfaceStyle::light;
}

void UIWindow::makeKeyWindow() {
  keyWindowSlot() = std::static_pointer_cast<UIWindow>(shared_from_this());
}

bool UIWindow::isKeyWindow() const {
  return keyWindowSlot().lock().get() == this && !isClosed();
}

std::shared_ptr<UIWindow> UIWindow::keyWindow() {
  auto window = keyWindowSlot().lock();
  return window && !window->isClosed() ? window : nullptr;
}

Subscription UIWindow::observeClose(std::function<void()> onClose) {
  return closed_->publisher().sink([onClose = std::move(onClose)](const bool& closed) {
    if (closed) onClose();
  });
}

bool UIWindow::tap(const CGPoint& point) {
  layoutIfNeeded();
  auto hit = hitTest(point);
  for (auto view = hit; view; view = view->superview()) {
    if (view->handleTap(view->convertPointFromView(point, nullptr))) return true;
  }
  return false;
}

bool UIWindow::scroll(const CGPoint& point, const CGPoint& delta) {
  layoutIfNeeded();
  for (auto view = hitTest(point); view; view = view->superview()) {
    auto* scrollView = dynamic_cast<UIScrollView*>(view.get());
    if (scrollView && scrollView->scrollBy(delta.y)) return true;
  }
  return false;
}

}  // namespace tilo::platform
