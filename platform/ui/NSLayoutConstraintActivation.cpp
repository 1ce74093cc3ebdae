// A constraint joining and leaving its views' tree: the views keep their active
// constraints and the root's layout engine follows every change. Apart from
// NSLayoutConstraint.cpp (the constraint as a value) so that the constraint, which the
// views and the engine include, includes neither of them.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/ui/LayoutEngine.h"
#include "platform/ui/LayoutItem.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UIView.h"

namespace tilo::platform {
namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::uint64_t nextActivation = 0;

enum class Axis { none, horizontal, vertical, dimension };

Axis axisOf(NSLayoutAttribute attribute) {
  switch (attribute) {
    case NSLayoutAttribute::left:
    case NSLayoutAttribute::right:
    case NSLayoutAttribute::leading:
    case NSLayoutAttribute::trailing:
    case NSLayoutAttribute::centerX:
      return Axis::horizontal;
    case NSLayoutAttribute::top:
    case NSLayoutAttribute::bottom:
    case NSLayoutAttribute::centerY:
      return Axis::vertical;
    case NSLayoutAttribute::width:
    case NSLayoutAttribute::height:
      return Axis::dimension;
    default:
      return Axis::none;
  }
}

std::string finite(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

void refuse(UIDiagnostic::Kind kind, const std::string& why, const NSLayoutConstraint& c) {
  UIDiagnostics::report({kind, why + ": " + c.description(), {c.description()}});
}

}  // namespace

void NSLayoutConstraint::activateConstraints(
    const std::vector<std::shared_ptr<NSLayoutConstraint>>& list) {
  for (const auto& constraint : list) {
    if (constraint) constraint->setActive(true);
  }
}

void NSLayoutConstraint::deactivateConstraints(
    const std::vector<std::shared_ptr<NSLayoutConstraint>>& list) {
  for (const auto& constraint : list) {
    if (constraint) constraint->setActive(false);
  }
}

void NSLayoutConstraint::setActive(bool active) {
  if (active_ == active) return;
  if (!active) {
    UIView* root = firstView_->rootView();
    if (root->engine_) root->engine_->constraintDeactivated(*this);
    auto self = shared_from_this();
    for (UIView* view : {firstView_, secondView_}) {
      if (!view) continue;
      auto& list = view->constraints_;
      list.erase(std::remove(list.begin(), list.end(), self), list.end());
    }
    active_ = false;
    dropped_ = false;
    dropReported_ = false;
    firstView_ = secondView_ = nullptr;
    root->treeNeedsLayout_ = true;
    return;
  }
  auto first = first_.lock();
  auto second = second_.lock();
  if (!first || (hasSecond_ && !second)) {
    refuse(UIDiagnostic::Kind::invalidValue,
           "Unable to activate a constraint whose item no longer exists (or whose anchor was "
           "taken before the view was owned)",
           *this);
    return;
  }
  Axis firstAxis = axisOf(firstAttribute_);
  bool compatible = firstAxis != Axis::none && (hasSecond_ ? axisOf(secondAttribute_) == firstAxis
                                                           : firstAxis == Axis::dimension);
  if (!compatible) {
    refuse(UIDiagnostic::Kind::invalidValue,
           "Unable to activate a constraint between incompatible attributes", *this);
    return;
  }
  if (!std::isfinite(constant_) || !std::isfinite(multiplier_)) {
    refuse(UIDiagnostic::Kind::invalidValue,
           "Unable to activate a constraint with a non-finite constant or multiplier", *this);
    return;
  }
  UIView* a = first->owningViewForLayout();
  UIView* b = second ? second->owningViewForLayout() : nullptr;
  if (b && a->rootView() != b->rootView()) {
    refuse(UIDiagnostic::Kind::noCommonAncestor,
           "Unable to activate constraint because its items " + first->layoutName() + " and " +
               second->layoutName() +
               " have no common ancestor; a constraint may only join views of one hierarchy",
           *this);
    return;
  }
  active_ = true;
  activationOrder_ = ++nextActivation;
  firstView_ = a;
  secondView_ = b == a ? nullptr : b;
  auto self = shared_from_this();
  a->constraints_.push_back(self);
  if (secondView_) secondView_->constraints_.push_back(self);
  UIView* root = a->rootView();
  if (root->engine_) root->engine_->constraintActivated(*this);
  root->treeNeedsLayout_ = true;
}

void NSLayoutConstraint::setConstant(double constant) {
  if (!std::isfinite(constant)) {
    refuse(UIDiagnostic::Kind::invalidValue,
           "A constraint constant must be finite; " + finite(constant) + " ignored", *this);
    return;
  }
  if (constant == constant_) return;
  constant_ = constant;
  if (active_) {
    UIView* root = firstView_->rootView();
    if (root->engine_) root->engine_->constraintChanged(*this);
    root->treeNeedsLayout_ = true;
  }
}

void NSLayoutConstraint::setPriority(UILayoutPriority priority) {
  if (std::isnan(priority)) {
    refuse(UIDiagnostic::Kind::invalidValue, "A constraint priority must be a number", *this);
    return;
  }
  priority = std::clamp(priority, 1.0f, 1000.0f);
  if (priority == priority_) return;
  priority_ = priority;
  if (active_) {
    UIView* root = firstView_->rootView();
    if (root->engine_) root->engine_->constraintChanged(*this);
    root->treeNeedsLayout_ = true;
  }
}

// Here rather than beside the constraint's other members: it names the items.
std::string NSLayoutConstraint::description() const {
  auto name = [](const std::shared_ptr<LayoutItem>& item) {
    return item ? item->layoutName() : std::string("(gone)");
  };
  std::string text = "<NSLayoutConstraint ";
  if (!identifier_.empty()) text += "'" + identifier_ + "' ";
  text += name(first_.lock()) + "." + attributeName(firstAttribute_) + " " +
          relationSymbol(relation_) + " ";
  if (hasSecond_) {
    text += name(second_.lock()) + "." + attributeName(secondAttribute_);
    if (multiplier_ != 1) text += " * " + number(multiplier_);
    if (constant_ > 0 || std::isnan(constant_)) text += " + " + number(constant_);
    if (constant_ < 0) text += " - " + number(-constant_);
  } else {
    text += number(constant_);
  }
  return text + " @" + number(priority_) + ">";
}

}  // namespace tilo::platform
