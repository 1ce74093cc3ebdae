// The host's constraints in the engine: translated into the solver, dropped when they
// conflict with required ones, retried when room frees up, and described in reports.
#include "platform/ui/LayoutEngine.h"

#include <cstdio>

#include "platform/ui/LayoutItem.h"
#include "platform/ui/UIDiagnostics.h"
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

}  // namespace

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
