// The constraints the engine makes for views themselves: a root's position and size, the
// frames of views that translate their mask, content sizes and safe-area guides.
#include "platform/ui/LayoutEngine.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UILayoutGuide.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/solver/Constraint.h"
#include "platform/ui/solver/Expression.h"

namespace tilo::platform {

namespace {

using solver::Expression;

// A root that is not a window but lays itself out keeps its size only as a faint wish,
// so that its content can size it.
constexpr UILayoutPriority kRootSizePriority = 1;

}  // namespace

void LayoutEngine::removeAll(std::vector<solver::Constraint>& list) {
  for (auto& constraint : list) {
    solver_.removeConstraint(constraint);
    internals_.erase(constraint);
  }
  list.clear();
}

void LayoutEngine::addInternal(std::vector<solver::Constraint>& list, const Internal& internal,
                               const solver::Constraint& constraint) {
  auto status = solver_.addConstraint(constraint);
  if (status == solver::SolverStatus::ok) {
    list.push_back(constraint);
    internals_.emplace(constraint, internal);
    return;
  }
  if (status == solver::SolverStatus::unsatisfiableConstraint && !rebuilding_) {
    // A frame or content size changed under a user constraint that now conflicts with
    // it: rebuild, so that the view's own constraints go in first and the user's one is
    // the one dropped.
    invalidate();
    return;
  }
  internals_.emplace(constraint, internal);
  std::string text = describe(constraint);
  internals_.erase(constraint);
  UIDiagnostics::report({UIDiagnostic::Kind::unsatisfiableConstraints,
                         std::string("Unable to add ") + text + ": " + solver::describe(status),
                         {text}});
}

void LayoutEngine::addFrameConstraints(Record& record) {
  removeAll(record.frame);
  UIView& view = *record.view;
  const auto& v = view.layoutVariables();
  const LayoutItem* item = &view;
  double required = solver::strength::required;
  if (&view == &root_) {
    bool fixed = view.translatesMask_ || isWindow(view);
    UILayoutPriority sizePriority = fixed ? UILayoutPriorityRequired : kRootSizePriority;
    double sizeStrength = strengthForPriority(sizePriority);
    CGSize size = view.frame_.size;
    addInternal(record.frame,
                {InternalKind::root, item, NSLayoutAttribute::left, nullptr,
                 NSLayoutRelation::equal, 0, UILayoutPriorityRequired},
                solver::Constraint(Expression(v.left), solver::Relation::equal, required));
    addInternal(record.frame,
                {InternalKind::root, item, NSLayoutAttribute::top, nullptr, NSLayoutRelation::equal,
                 0, UILayoutPriorityRequired},
                solver::Constraint(Expression(v.top), solver::Relation::equal, required));
    addInternal(record.frame,
                {InternalKind::root, item, NSLayoutAttribute::width, nullptr,
                 NSLayoutRelation::equal, size.width, sizePriority},
                solver::Constraint(v.width - size.width, solver::Relation::equal, sizeStrength));
    addInternal(record.frame,
                {InternalKind::root, item, NSLayoutAttribute::height, nullptr,
                 NSLayoutRelation::equal, size.height, sizePriority},
                solver::Constraint(v.height - size.height, solver::Relation::equal, sizeStrength));
    return;
  }
  UIView& superview = *view.superview_;
  const auto& s = superview.layoutVariables();
  CGRect frame = view.frame_;
  double x = frame.x() - superview.boundsOrigin_.x;
  double y = frame.y() - superview.boundsOrigin_.y;
  const Internal base{InternalKind::autoresizing, item, NSLayoutAttribute::left, &superview,
                      NSLayoutRelation::equal,    0,    UILayoutPriorityRequired};
  Internal left = base, top = base, width = base, height = base;
  left.constant = x;
  top.attribute = NSLayoutAttribute::top, top.constant = y;
  width.attribute = NSLayoutAttribute::width, width.other = nullptr, width.constant = frame.width();
  height.attribute = NSLayoutAttribute::height, height.other = nullptr,
  height.constant = frame.height();
  addInternal(record.frame, left,
              solver::Constraint(v.left - s.left - x, solver::Relation::equal, required));
  if (!valid_) return;
  addInternal(record.frame, top,
              solver::Constraint(v.top - s.top - y, solver::Relation::equal, required));
  if (!valid_) return;
  addInternal(record.frame, width,
              solver::Constraint(v.width - frame.width(), solver::Relation::equal, required));
  if (!valid_) return;
  addInternal(record.frame, height,
              solver::Constraint(v.height - frame.height(), solver::Relation::equal, required));
}

void LayoutEngine::addContentConstraints(Record& record) {
  removeAll(record.content);
  UIView& view = *record.view;
  CGSize size = view.intrinsicContentSize();
  record.intrinsic = size;
  const auto& v = view.layoutVariables();
  for (int axis = 0; axis < 2; ++axis) {
    double extent = axis == 0 ? size.width : size.height;
    if (!std::isfinite(extent) || extent < 0) continue;  // no intrinsic metric
    const solver::Variable& variable = axis == 0 ? v.width : v.height;
    NSLayoutAttribute attribute = axis == 0 ? NSLayoutAttribute::width : NSLayoutAttribute::height;
    UILayoutPriority hugging = view.hugging_[axis];
    UILayoutPriority compression = view.compression_[axis];
    addInternal(record.content,
                {InternalKind::content, &view, attribute, nullptr,
                 NSLayoutRelation::lessThanOrEqual, extent, hugging},
                solver::Constraint(variable - extent, solver::Relation::lessOrEqual,
                                   strengthForPriority(hugging)));
    if (!valid_) return;
    addInternal(record.content,
                {InternalKind::content, &view, attribute, nullptr,
                 NSLayoutRelation::greaterThanOrEqual, extent, compression},
                solver::Constraint(variable - extent, solver::Relation::greaterOrEqual,
                                   strengthForPriority(compression)));
    if (!valid_) return;
  }
}

void LayoutEngine::addGuideConstraints(Record& record, const UIEdgeInsets& insets) {
  removeAll(record.frame);
  record.insets = insets;
  UILayoutGuide& guide = *record.guide;
  UIView& owner = *guide.owningView();
  const auto& g = guide.layoutVariables();
  const auto& o = owner.layoutVariables();
  double required = solver::strength::required;
  const Internal base{InternalKind::guide,     &guide,      NSLayoutAttribute::left, &owner,
                      NSLayoutRelation::equal, insets.left, UILayoutPriorityRequired};
  Internal top = base, width = base, height = base;
  top.attribute = NSLayoutAttribute::top, top.constant = insets.top;
  width.attribute = NSLayoutAttribute::width, width.constant = -insets.horizontal();
  height.attribute = NSLayoutAttribute::height, height.constant = -insets.vertical();
  addInternal(record.frame, base,
              solver::Constraint(g.left - o.left - insets.left, solver::Relation::equal, required));
  addInternal(record.frame, top,
              solver::Constraint(g.top - o.top - insets.top, solver::Relation::equal, required));
  addInternal(record.frame, width,
              solver::Constraint(g.width - o.width + insets.horizontal(), solver::Relation::equal,
                                 required));
  addInternal(record.frame, height,
              solver::Constraint(g.height - o.height + insets.vertical(), solver::Relation::equal,
                                 required));
}

UIEdgeInsets LayoutEngine::guideInsets(const UILayoutGuide& guide, bool fromSolver) const {
  UIView& owner = *guide.owningView();
  if (isWindow(owner)) return static_cast<UIWindow&>(owner).windowSafeAreaInsets();
  if (!fromSolver) return owner.safeAreaInsets();
  if (!isWindow(root_)) return {};
  const UIWindow& window = static_cast<const UIWindow&>(root_);
  UIEdgeInsets safe = window.windowSafeAreaInsets();
  CGSize size = window.frame().size;
  const auto& o = owner.layoutVariables();
  double left = o.left.value(), top = o.top.value();
  double width = std::max(0.0, o.width.value()), height = std::max(0.0, o.height.value());
  auto reach = [](double inset, double extent) { return std::clamp(inset, 0.0, extent); };
  return {reach(safe.top - top, height), reach(safe.left - left, width),
          reach(top + height - (size.height - safe.bottom), height),
          reach(left + width - (size.width - safe.right), width)};
}

}  // namespace tilo::platform
