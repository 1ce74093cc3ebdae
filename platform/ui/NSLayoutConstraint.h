// One Auto Layout relation between two layout attributes:
//   first.attribute  (==, <= or >=)  multiplier × second.attribute + constant
// or, without a second item, first.attribute (relation) constant.
//
//   auto width = banner->widthAnchor().constraintEqualToConstant(320);
//   width->setPriority(UILayoutPriorityDefaultHigh);
//   NSLayoutConstraint::activateConstraints({width, ...});
//   width->setConstant(300);   // re-solved incrementally at the next layout
//
// An active constraint is held by the views it names and holds them weakly; deactivate
// it (or remove one of the views from the other's hierarchy) to release it. Activation
// refuses, with a report through UIDiagnostics, a constraint whose items share no
// common ancestor, whose item is gone, or whose numbers are not finite; it then stays
// inactive. A required constraint that conflicts with required constraints activated
// before it is dropped from the solution (isDropped()), reported once and listed in the
// layout dump; it stays active and is tried again when the layout is rebuilt.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tilo::platform {

class LayoutItem;
class UIView;

// Raw values as the platform's.
enum class NSLayoutAttribute {
  notAnAttribute = 0,
  left = 1,
  right = 2,
  top = 3,
  bottom = 4,
  leading = 5,   // = left: layout is left to right only
  trailing = 6,  // = right
  width = 7,
  height = 8,
  centerX = 9,
  centerY = 10,
};

enum class NSLayoutRelation { lessThanOrEqual = -1, equal = 0, greaterThanOrEqual = 1 };

enum class UILayoutConstraintAxis { horizontal = 0, vertical = 1 };

// 1 (weakest) … 1000 (required).
using UILayoutPriority = float;
inline constexpr UILayoutPriority UILayoutPriorityRequired = 1000;
inline constexpr UILayoutPriority UILayoutPriorityDefaultHigh = 750;
inline constexpr UILayoutPriority UILayoutPriorityDefaultLow = 250;
inline constexpr UILayoutPriority UILayoutPriorityFittingSizeLevel = 50;

const char* attributeName(NSLayoutAttribute attribute);
const char* relationSymbol(NSLayoutRelation relation);  // "==", "<=", ">="

class NSLayoutConstraint : public std::enable_shared_from_this<NSLayoutConstraint> {
 public:
  // An inactive constraint. `second` may be null (then `secondAttribute` is ignored).
  static std::shared_ptr<NSLayoutConstraint> create(const std::shared_ptr<LayoutItem>& first,
                                                    NSLayoutAttribute firstAttribute,
                                                    NSLayoutRelation relation,
                                                    const std::shared_ptr<LayoutItem>& second,
                                                    NSLayoutAttribute secondAttribute,
                                                    double multiplier, double constant);

  static void activateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& list);
  static void deactivateConstraints(const std::vector<std::shared_ptr<NSLayoutConstraint>>& list);

  bool isActive() const { return active_; }
  void setActive(bool active);

  double constant() const { return constant_; }
  // A value that is not finite is refused with a report; the old constant stays.
  void setConstant(double constant);
  UILayoutPriority priority() const { return priority_; }
  // Clipped into 1…1000 (NaN refused with a report).
  void setPriority(UILayoutPriority priority);
  double multiplier() const { return multiplier_; }
  NSLayoutRelation relation() const { return relation_; }
  std::shared_ptr<LayoutItem> firstItem() const { return first_.lock(); }
  std::shared_ptr<LayoutItem> secondItem() const { return second_.lock(); }
  NSLayoutAttribute firstAttribute() const { return firstAttribute_; }
  NSLayoutAttribute secondAttribute() const { return secondAttribute_; }
  bool hasSecondItem() const { return hasSecond_; }
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }

  // Left out of the solution because it conflicted with required constraints.
  bool isDropped() const { return dropped_; }
  // For example "<NSLayoutConstraint banner.width == 320 @1000>" or
  // "<NSLayoutConstraint title.leading == icon.trailing + 12 @1000>".
  std::string description() const;

  NSLayoutConstraint(const std::shared_ptr<LayoutItem>& first, NSLayoutAttribute firstAttribute,
                     NSLayoutRelation relation, const std::shared_ptr<LayoutItem>& second,
                     NSLayoutAttribute secondAttribute, double multiplier, double constant);

 private:
  friend class LayoutEngine;

  friend class UIView;
  // The views the constraint is stored on while active (the items' owning views); kept
  // as pointers so that a dying view can still deactivate it.
  UIView* firstView() const { return firstView_; }
  UIView* secondView() const { return secondView_; }

  std::weak_ptr<LayoutItem> first_;
  std::weak_ptr<LayoutItem> second_;
  NSLayoutAttribute firstAttribute_;
  NSLayoutAttribute secondAttribute_;
  NSLayoutRelation relation_;
  bool hasSecond_;
  double multiplier_;
  double constant_;
  UILayoutPriority priority_ = UILayoutPriorityRequired;
  std::string identifier_;
  bool active_ = false;
  bool dropped_ = false;
  bool dropReported_ = false;
  std::uint64_t activationOrder_ = 0;
  UIView* firstView_ = nullptr;
  UIView* secondView_ = nullptr;
};

}  // namespace tilo::platform
