// Anchors: typed handles on one attribute of a view or layout guide, from which
// constraints are made. X-axis anchors pair only with X-axis anchors, Y with Y, and
// dimensions with dimensions (or constants).
//
//   icon->leadingAnchor().constraintEqualToAnchor(card->leadingAnchor(), 20);
//   media->heightAnchor().constraintEqualToAnchor(media->widthAnchor(), 1.0, 0);  // × 1 + 0
//   title->heightAnchor().constraintGreaterThanOrEqualToConstant(20);
//
// The returned constraints are inactive; activate them one by one or in a group.
#pragma once

#include <memory>

#include "platform/ui/NSLayoutConstraint.h"

namespace tilo::platform {

class LayoutItem;

class NSLayoutAnchor {
 public:
  NSLayoutAnchor(std::weak_ptr<LayoutItem> item, NSLayoutAttribute attribute)
      : item_(std::move(item)), attribute_(attribute) {}

  std::shared_ptr<LayoutItem> item() const { return item_.lock(); }
  NSLayoutAttribute attribute() const { return attribute_; }

 protected:
  std::shared_ptr<NSLayoutConstraint> make(NSLayoutRelation relation, const NSLayoutAnchor* other,
                                           double multiplier, double constant) const {
    return NSLayoutConstraint::create(item(), attribute_, relation, other ? other->item() : nullptr,
                                      other ? other->attribute_ : NSLayoutAttribute::notAnAttribute,
                                      multiplier, constant);
  }

 private:
  std::weak_ptr<LayoutItem> item_;
  NSLayoutAttribute attribute_;
};

// The relations every anchor type offers against an anchor of the same type; `Self`
// keeps the X axis, the Y axis and dimensions apart.
template <class Self>
class NSLayoutTypedAnchor : public NSLayoutAnchor {
 public:
  using NSLayoutAnchor::NSLayoutAnchor;

  // this == anchor + constant (and the inequalities).
  std::shared_ptr<NSLayoutConstraint> constraintEqualToAnchor(const Self& anchor,
                                                              double constant = 0) const {
    return make(NSLayoutRelation::equal, &anchor, 1, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualToAnchor(
      const Self& anchor, double constant = 0) const {
    return make(NSLayoutRelation::greaterThanOrEqual, &anchor, 1, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualToAnchor(const Self& anchor,
                                                                        double constant = 0) const {
    return make(NSLayoutRelation::lessThanOrEqual, &anchor, 1, constant);
  }
};

class NSLayoutXAxisAnchor : public NSLayoutTypedAnchor<NSLayoutXAxisAnchor> {
 public:
  using NSLayoutTypedAnchor::NSLayoutTypedAnchor;
};

class NSLayoutYAxisAnchor : public NSLayoutTypedAnchor<NSLayoutYAxisAnchor> {
 public:
  using NSLayoutTypedAnchor::NSLayoutTypedAnchor;
};

class NSLayoutDimension : public NSLayoutTypedAnchor<NSLayoutDimension> {
 public:
  using NSLayoutTypedAnchor::constraintEqualToAnchor;
  using NSLayoutTypedAnchor::constraintGreaterThanOrEqualToAnchor;
  using NSLayoutTypedAnchor::constraintLessThanOrEqualToAnchor;
  using NSLayoutTypedAnchor::NSLayoutTypedAnchor;

  std::shared_ptr<NSLayoutConstraint> constraintEqualToConstant(double constant) const {
    return make(NSLayoutRelation::equal, nullptr, 1, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualToConstant(
      double constant) const {
    return make(NSLayoutRelation::greaterThanOrEqual, nullptr, 1, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualToConstant(double constant) const {
    return make(NSLayoutRelation::lessThanOrEqual, nullptr, 1, constant);
  }
  // this == anchor × multiplier + constant (and the inequalities).
  std::shared_ptr<NSLayoutConstraint> constraintEqualToAnchor(const NSLayoutDimension& anchor,
                                                              double multiplier,
                                                              double constant) const {
    return make(NSLayoutRelation::equal, &anchor, multiplier, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintGreaterThanOrEqualToAnchor(
      const NSLayoutDimension& anchor, double multiplier, double constant) const {
    return make(NSLayoutRelation::greaterThanOrEqual, &anchor, multiplier, constant);
  }
  std::shared_ptr<NSLayoutConstraint> constraintLessThanOrEqualToAnchor(
      const NSLayoutDimension& anchor, double multiplier, double constant) const {
    return make(NSLayoutRelation::lessThanOrEqual, &anchor, multiplier, constant);
  }
};

}  // namespace tilo::platform
