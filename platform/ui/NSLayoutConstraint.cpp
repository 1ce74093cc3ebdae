#include "platform/ui/NSLayoutConstraint.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/ui/LayoutItem.h"

namespace tilo::platform {
namespace {

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

const char* attributeName(NSLayoutAttribute attribute) {
  switch (attribute) {
    case NSLayoutAttribute::left:
      return "left";
    case NSLayoutAttribute::right:
      return "right";
    case NSLayoutAttribute::top:
      return "top";
    case NSLayoutAttribute::bottom:
      return "bottom";
    case NSLayoutAttribute::leading:
      return "leading";
    case NSLayoutAttribute::trailing:
      return "trailing";
    case NSLayoutAttribute::width:
      return "width";
    case NSLayoutAttribute::height:
      return "height";
    case NSLayoutAttribute::centerX:
      return "centerX";
    case NSLayoutAttribute::centerY:
      return "centerY";
    case NSLayoutAttribute::notAnAttribute:
      break;
  }
  return "notAnAttribute";
}

const char* relationSymbol(NSLayoutRelation relation) {
  switch (relation) {
    case NSLayoutRelation::lessThanOrEqual:
      return "<=";
    case NSLayoutRelation::greaterThanOrEqual:
      return ">=";
    case NSLayoutRelation::equal:
      break;
  }
  return "==";
}

std::shared_ptr<NSLayoutConstraint> NSLayoutConstraint::create(
    const std::shared_ptr<LayoutItem>& first, NSLayoutAttribute firstAttribute,
    NSLayoutRelation relation, const std::shared_ptr<LayoutItem>& second,
    NSLayoutAttribute secondAttribute, double multiplier, double constant) {
  return std::make_shared<NSLayoutConstraint>(first, firstAttribute, relation, second,
                                              secondAttribute, multiplier, constant);
}

NSLayoutConstraint::NSLayoutConstraint(const std::shared_ptr<LayoutItem>& first,
                                       NSLayoutAttribute firstAttribute, NSLayoutRelation relation,
                                       const std::shared_ptr<LayoutItem>& second,
                                       NSLayoutAttribute secondAttribute, double multiplier,
                                       double constant)
    : first_(first),
      second_(second),
      firstAttribute_(firstAttribute),
      secondAttribute_(second ? secondAttribute : NSLayoutAttribute::notAnAttribute),
      relation_(relation),
      hasSecond_(second != nullptr),
      multiplier_(multiplier),
      constant_(constant) {}

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
