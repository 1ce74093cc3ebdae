#include "platform/ui/UIControl.h"

#include <algorithm>

namespace tilo::platform {

UIControlState UIControl::state() const {
  std::uint32_t bits = 0;
  if (highlighted_) bits |= static_cast<std::uint32_t>(UIControlState::highlighted);
  if (!enabled_) bits |= static_cast<std::uint32_t>(UIControlState::disabled);
  if (selected_) bits |= static_cast<std::uint32_t>(UIControlState::selected);
  return static_cast<UIControlState>(bits);
}

void UIControl::setEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  stateDidChange();
}

void UIControl::setSelected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  stateDidChange();
}

UIControl::ActionId UIControl::addAction(Action action, UIControlEvents events) {
  if (!action) return 0;
  ActionId id = nextId_++;
  actions_.push_back({id, static_cast<std::uint64_t>(events), std::move(action)});
  return id;
}

void UIControl::removeAction(ActionId id) {
  actions_.erase(std::remove_if(actions_.begin(), actions_.end(),
                                [id](const Entry& entry) { return entry.id == id; }),
                 actions_.end());
}

std::size_t UIControl::actionCount(UIControlEvents events) const {
  auto bits = static_cast<std::uint64_t>(events);
  return static_cast<std::size_t>(
      std::count_if(actions_.begin(), actions_.end(),
                    [bits](const Entry& entry) { return entry.events & bits; }));
}

void UIControl::sendActionsForControlEvents(UIControlEvents events) {
  auto bits = static_cast<std::uint64_t>(events);
  auto self = shared_from_this();  // an action may release the control
  auto actions = actions_;         // and may add or remove actions
  for (auto& entry : actions) {
    if (entry.events & bits) entry.action(*this);
  }
}

bool UIControl::handleTap(const CGPoint&) {
  if (!enabled_) return false;
  highlighted_ = true;
  stateDidChange();
  sendActionsForControlEvents(UIControlEvents::touchDown);
  highlighted_ = false;
  stateDidChange();
  sendActionsForControlEvents(UIControlEvents::touchUpInside);
  sendActionsForControlEvents(UIControlEvents::primaryActionTriggered);
  return true;
}

}  // namespace tilo::platform
