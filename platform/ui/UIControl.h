// A view that turns touches into actions: target-action per control event.
//
//   button->addTarget(weakSelf.lock(), &Popup::handleCloseButtonTapped,
//                     UIControlEvents::touchUpInside);           // holds the target weakly
//   auto id = button->addAction([](UIControl&) { ... }, UIControlEvents::touchUpInside);
//   button->removeAction(id);
//
// A tap (UIWindow::tap) on an enabled control sends touchDown then touchUpInside to its
// actions, in the order they were added, and counts as handled even when no action is
// registered. A disabled control ignores the tap, which then travels up to its superview.
// Warning: an action closure must not hold its own control strongly (use a weak_ptr).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/UIView.h"

namespace tilo::platform {

// Raw values as the platform's (bit masks).
enum class UIControlEvents : std::uint64_t {
  touchDown = 1u << 0,
  touchUpInside = 1u << 6,
  valueChanged = 1u << 12,
  primaryActionTriggered = 1u << 13,
};

// Raw values as the platform's (bit masks); normal is no bit.
enum class UIControlState : std::uint32_t {
  normal = 0,
  highlighted = 1u << 0,
  disabled = 1u << 1,
  selected = 1u << 2,
};

class UIControl : public UIView {
 public:
  using Action = std::function<void(UIControl&)>;
  using ActionId = std::uint64_t;

  using UIView::UIView;
  const char* className() const override { return "UIControl"; }

  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool isSelected() const { return selected_; }
  void setSelected(bool selected);
  bool isHighlighted() const { return highlighted_; }
  UIControlState state() const;

  ActionId addAction(Action action, UIControlEvents events);
  template <class T>
  ActionId addTarget(const std::shared_ptr<T>& target, void (T::*method)(),
                     UIControlEvents events) {
    std::weak_ptr<T> weak = target;
    return addAction(
        [weak, method](UIControl&) {
          if (auto strong = weak.lock()) ((*strong).*method)();
        },
        events);
  }
  void removeAction(ActionId id);
  void removeAllActions() { actions_.clear(); }
  // How many actions listen to any of `events`.
  std::size_t actionCount(UIControlEvents events) const;
  void sendActionsForControlEvents(UIControlEvents events);

  bool handleTap(const CGPoint& point) override;

 protected:
  // Enabled, selected or highlighted changed (subclasses restyle; call the base).
  virtual void stateDidChange() {}

 private:
  struct Entry {
    ActionId id;
    std::uint64_t events;
    Action action;
  };

  bool enabled_ = true;
  bool selected_ = false;
  bool highlighted_ = false;
  ActionId nextId_ = 1;
  std::vector<Entry> actions_;
};

}  // namespace tilo::platform
