#include "platform/ui/LayoutEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/ui/LayoutItem.h"
#include "platform/ui/UIDiagnostics.h"
#include "platform/ui/UILayoutGuide.h"
#include "platform/ui/UIView.h"
#include "platform/ui/UIWindow.h"
#include "platform/ui/solver/Constraint.h"
#include "platform/ui/solver/Expression.h"

namespace tilo::platform {

namespace {

using solver::Expression;

Expression attributeExpression(const LayoutItem::Variables& v, NSLayoutAttribute attribute) {
  switch (attribute) {
    case NSLayoutAttribute::left:
    case NSLayoutAttribute::leading:
      return v.left;
    case NSLayoutAttribute::right:
    case NSLayoutAttribute::trailing:
      return v.left + v.width;
    case NSLayoutAttribute::top:
      return v.top;
    case NSLayoutAttribute::bottom:
      return v.top + v.height;
    case NSLayoutAttribute::centerX:
      return v.left + v.width * 0.5;
    case NSLayoutAttribute::centerY:
      return v.top + v.height * 0.5;
    case NSLayoutAttribute::width:
      return v.width;
    case NSLayoutAttribute::height:
      return v.height;
    case NSLayoutAttribute::notAnAttribute:
      break;
  }
  return Expression(0);
}

solver::Relation solverRelation(NSLayoutRelation relation) {
  switch (relation) {
    case NSLayoutRelation::lessThanOrEqual:
      return solver::Relation::lessOrEqual;
    case NSLayoutRelation::greaterThanOrEqual:
      return solver::Relation::greaterOrEqual;
    case NSLayoutRelation::equal:
      break;
  }
  return solver::Relation::equal;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

bool isWindow(const UIView& view) {
  return static_cast<const UIView*>(view.windowPointer()) == &view;
}

// A root that is not a window but lays itself out keeps its size only as a faint wish,
// so that its content can size it.
constexpr UILayoutPriority kRootSizePriority = 1;

}  // namespace

double strengthForPriority(UILayoutPriority priority) {
  if (!(priority < UILayoutPriorityRequired)) return solver::strength::required;
  double p = std::clamp(static_cast<double>(priority), 1.0, 999.999);
  return std::pow(10.0, 8.0 * (p - 1.0) / 999.0);
}

LayoutEngine::LayoutEngine(UIView& root) : root_(root) {}

LayoutEngine::~LayoutEngine() = default;

void LayoutEngine::invalidate() {
  valid_ = false;
  dirty_ = true;
}

void LayoutEngine::constraintActivated(NSLayoutConstraint& constraint) {
  if (!valid_) return;
  auto first = constraint.first_.lock();
  auto second = constraint.second_.lock();
  if (!first || !isMember(first.get()) || (second && !isMember(second.get()))) {
    invalidate();  // new members: rebuild
    return;
  }
  addUser(constraint);
  dirty_ = true;
}

void LayoutEngine::constraintDeactivated(NSLayoutConstraint& constraint) {
  if (!valid_) return;
  dirty_ = true;
  auto found = installed_.find(&constraint);
  if (found != installed_.end()) {
    solver_.removeConstraint(found->second);
    owners_.erase(found->second);
    installed_.erase(found);
    retryDropped();
    return;
  }
  dropped_.erase(std::remove_if(dropped_.begin(), dropped_.end(),
                                [&](const auto& c) { return c.get() == &constraint; }),
                 dropped_.end());
}

void LayoutEngine::constraintChanged(NSLayoutConstraint& constraint) {
  if (!valid_) return;
  dirty_ = true;
  auto found = installed_.find(&constraint);
  if (found != installed_.end()) {
    solver_.removeConstraint(found->second);
    owners_.erase(found->second);
    installed_.erase(found);
    addUser(constraint);
    retryDropped();
    return;
  }
  auto it = std::find_if(dropped_.begin(), dropped_.end(),
                         [&](const auto& c) { return c.get() == &constraint; });
  if (it != dropped_.end()) {
    auto keep = *it;
    dropped_.erase(it);
    addUser(constraint);
  }
}

void LayoutEngine::frameChanged(UIView& view) {
  if (!valid_) return;
  if (!records_.count(&view)) return;  // nothing in the solver depends on it
  pendingFrames_.insert(&view);
  dirty_ = true;
}

void LayoutEngine::intrinsicSizeChanged(UIView& view) {
  if (!valid_) return;
  if (!records_.count(&view)) return;
  pendingContent_.insert(&view);
  dirty_ = true;
}

void LayoutEngine::solve() {
  if (solving_ || !needsSolve()) return;
  solving_ = true;
  try {
    if (valid_) applyPending();
    if (!valid_) rebuild();
    for (int pass = 1;; ++pass) {
      solver_.updateVariables();
      if (pass >= maxPasses || !refreshDependents()) break;
      applyPending();
      if (!valid_) rebuild();
    }
    writeFrames();
  } catch (...) {
    // A view's measurement threw (no fonts installed): start over next time.
    solving_ = rebuilding_ = false;
    invalidate();
    throw;
  }
  dirty_ = false;
  solving_ = false;
}

std::vector<std::shared_ptr<NSLayoutConstraint>> LayoutEngine::droppedConstraints() const {
  return dropped_;
}

void LayoutEngine::rebuild() {
  rebuilding_ = true;
  solver_.reset();
  records_.clear();
  memberViews_.clear();
  installed_.clear();
  owners_.clear();
  internals_.clear();
  pendingFrames_.clear();
  pendingContent_.clear();
  dropped_.clear();
  valid_ = true;  // from here on, a failure invalidates again

  std::vector<UIView*> views;  // pre-order: parents before children
  std::vector<UIView*> stack{&root_};
  while (!stack.empty()) {
    UIView* view = stack.back();
    stack.pop_back();
    views.push_back(view);
    for (auto it = view->subviews_.rbegin(); it != view->subviews_.rend(); ++it) {
      stack.push_back(it->get());
    }
  }
  std::vector<NSLayoutConstraint*> constraints;
  std::unordered_set<const NSLayoutConstraint*> seen;
  std::unordered_set<const LayoutItem*> referenced;
  for (UIView* view : views) {
    for (auto& constraint : view->constraints_) {
      if (!seen.insert(constraint.get()).second) continue;
      auto first = constraint->first_.lock();
      auto second = constraint->second_.lock();
      if (!first || (constraint->hasSecond_ && !second)) continue;
      constraints.push_back(constraint.get());
      referenced.insert(first.get());
      if (second) referenced.insert(second.get());
    }
  }
  if (views.size() > UIView::kMaxLayoutViews ||
      constraints.size() > UIView::kMaxLayoutConstraints) {
    UIDiagnostics::report(
        {UIDiagnostic::Kind::limitExceeded,
         "Unable to lay out " + root_.layoutName() + ": " + std::to_string(views.size()) +
             " views and " + std::to_string(constraints.size()) +
             " constraints, more than the limit of " + std::to_string(UIView::kMaxLayoutViews) +
             " views and " + std::to_string(UIView::kMaxLayoutConstraints) + " constraints",
         {}});
    rebuilding_ = false;
    return;  // no members: nothing is solved or written
  }
  std::sort(constraints.begin(), constraints.end(),
            [](const auto* a, const auto* b) { return a->activationOrder_ < b->activationOrder_; });

  // Members: the root, views laid out by constraints, referenced items, and the
  // ancestors of all of these (their positions chain up to the root).
  std::unordered_set<const UIView*> members;
  for (auto it = views.rbegin(); it != views.rend(); ++it) {
    UIView* view = *it;
    bool member = view == &root_ || !view->translatesMask_ || referenced.count(view) ||
                  (view->safeAreaGuide_ && referenced.count(view->safeAreaGuide_.get()));
    for (std::size_t i = 0; !member && i < view->subviews_.size(); ++i) {
      member = members.count(view->subviews_[i].get()) != 0;
    }
    if (member) members.insert(view);
  }
  std::vector<UILayoutGuide*> guides;
  for (UIView* view : views) {
    if (!members.count(view)) continue;
    memberViews_.push_back(view);
    records_[view].view = view;
    if (view->safeAreaGuide_ && referenced.count(view->safeAreaGuide_.get())) {
      records_[view->safeAreaGuide_.get()].guide = view->safeAreaGuide_.get();
      guides.push_back(view->safeAreaGuide_.get());
    }
  }
  for (UIView* view : memberViews_) {
    Record& record = records_[view];
    if (view == &root_ || view->translatesMask_) addFrameConstraints(record);
    if (!view->translatesMask_) addContentConstraints(record);
  }
  for (UILayoutGuide* guide : guides) {
    addGuideConstraints(records_[guide], guideInsets(*guide, false));
  }
  for (NSLayoutConstraint* constraint : constraints) addUser(*constraint);
  dirty_ = true;
  rebuilding_ = false;
}

void LayoutEngine::applyPending() {
  auto frames = std::move(pendingFrames_);
  pendingFrames_.clear();
  for (UIView* view : frames) {
    auto found = records_.find(view);
    if (found == records_.end()) continue;
    if (view == &root_ || view->translatesMask_) addFrameConstraints(found->second);
    if (!valid_) return;
  }
  auto content = std::move(pendingContent_);
  pendingContent_.clear();
  for (UIView* view : content) {
    auto found = records_.find(view);
    if (found == records_.end() || view->translatesMask_) continue;
    addContentConstraints(found->second);
    if (!valid_) return;
  }
}

bool LayoutEngine::refreshDependents() {
  bool changed = false;
  for (UIView* view : memberViews_) {
    if (view->translatesMask_ || !view->hasWidthDependentIntrinsicSize()) continue;
    double width = view->layoutVariables().width.value();
    if (view->updateIntrinsicSizeForLayoutWidth(width)) {
      pendingContent_.insert(view);
      changed = true;
    }
  }
  for (auto& [item, record] : records_) {
    if (!record.guide) continue;
    UIEdgeInsets insets = guideInsets(*record.guide, true);
    if (insets != record.insets) {
      addGuideConstraints(record, insets);
      changed = true;
    }
  }
  return changed;
}

void LayoutEngine::writeFrames() {
  double scale = isWindow(root_) ? static_cast<UIWindow&>(root_).scale() : 0;
  // Edges snap to the window's pixel grid, as the platform does; without a window, away
  // from floating-point noise.
  auto snap = [scale](double value) {
    double grid = scale > 0 ? scale : 1e6;
    double snapped = std::round(value * grid) / grid;
    return snapped == 0 ? 0.0 : snapped;
  };
  for (UIView* view : memberViews_) {
    bool isRoot = view == &root_;
    if (isRoot ? (view->translatesMask_ || isWindow(*view)) : view->translatesMask_) continue;
    const auto& v = view->layoutVariables();
    double left = v.left.value(), top = v.top.value();
    double right = left + v.width.value(), bottom = top + v.height.value();
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) ||
        !std::isfinite(bottom)) {
      continue;
    }
    double width = std::max(0.0, snap(right) - snap(left));
    double height = std::max(0.0, snap(bottom) - snap(top));
    CGRect frame;
    if (isRoot) {
      frame = {view->frame_.origin, {width, height}};
    } else {
      UIView* superview = view->superview_;
      const auto& s = superview->layoutVariables();
      frame = {snap(left) - snap(s.left.value()) + superview->boundsOrigin_.x,
               snap(top) - snap(s.top.value()) + superview->boundsOrigin_.y, width, height};
    }
    view->setFrameFromEngine(frame);
  }
}

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

void LayoutEngine::addUser(NSLayoutConstraint& constraint) {
  auto first = constraint.first_.lock();
  auto second = constraint.second_.lock();
  if (!first || (constraint.hasSecond_ && !second)) return;
  if (!isMember(first.get()) || (second && !isMember(second.get()))) {
    if (!rebuilding_) invalidate();  // a rebuild takes in every item of the tree
    return;
  }
  Expression lhs = attributeExpression(first->layoutVariables(), constraint.firstAttribute_);
  Expression rhs =
      second ? attributeExpression(second->layoutVariables(), constraint.secondAttribute_) *
                       constraint.multiplier_ +
                   Expression(constraint.constant_)
             : Expression(constraint.constant_);
  solver::Constraint built(lhs - rhs, solverRelation(constraint.relation_),
                           strengthForPriority(constraint.priority_));
  auto status = solver_.addConstraint(built);
  if (status == solver::SolverStatus::ok) {
    installed_[&constraint] = built;
    owners_[built] = &constraint;
    constraint.dropped_ = false;
    constraint.dropReported_ = false;
    return;
  }
  if (status == solver::SolverStatus::unsatisfiableConstraint) {
    constraint.dropped_ = true;
    dropped_.push_back(constraint.shared_from_this());
    if (!constraint.dropReported_) {
      constraint.dropReported_ = true;
      reportDrop(constraint, solver_.conflictingConstraints());
    }
    return;
  }
  UIDiagnostics::report(
      {UIDiagnostic::Kind::invalidValue,
       "Unable to solve " + constraint.description() + ": " + solver::describe(status),
       {constraint.description()}});
}

void LayoutEngine::retryDropped() {
  if (dropped_.empty()) return;
  auto retry = std::move(dropped_);
  dropped_.clear();
  for (auto& constraint : retry) {
    if (constraint->active_) addUser(*constraint);
  }
}

std::string LayoutEngine::describe(const solver::Constraint& constraint) const {
  if (auto owner = owners_.find(constraint); owner != owners_.end()) {
    return owner->second->description();
  }
  auto found = internals_.find(constraint);
  if (found == internals_.end()) return "<NSLayoutConstraint (internal)>";
  const Internal& i = found->second;
  const char* type = i.kind == InternalKind::autoresizing ? "NSAutoresizingMaskLayoutConstraint"
                     : i.kind == InternalKind::content    ? "NSContentSizeLayoutConstraint"
                                                          : "NSLayoutConstraint";
  std::string text = std::string("<") + type + " " + i.item->layoutName() + "." +
                     attributeName(i.attribute) + " " + relationSymbol(i.relation) + " ";
  if (i.other) {
    text += i.other->layoutName() + "." + attributeName(i.attribute);
    if (i.constant > 0) text += " + " + number(i.constant);
    if (i.constant < 0) text += " - " + number(-i.constant);
  } else {
    text += number(i.constant);
  }
  return text + " @" + number(i.priority) + ">";
}

void LayoutEngine::reportDrop(NSLayoutConstraint& constraint,
                              const std::vector<solver::Constraint>& conflicts) {
  std::vector<std::string> involved;
  std::string message = "Unable to simultaneously satisfy constraints.\n";
  for (const auto& conflict : conflicts) {
    involved.push_back(describe(conflict));
    message += "    " + involved.back() + "\n";
  }
  involved.push_back(constraint.description());
  message += "    " + involved.back() + "\nWill attempt to recover by breaking constraint\n    " +
             involved.back();
  UIDiagnostics::report({UIDiagnostic::Kind::unsatisfiableConstraints, message, involved});
}

}  // namespace tilo::platform
