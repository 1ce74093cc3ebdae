#include "platform/ui/NSLayoutConstraint.h"

namespace tilo::platform {

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

}  // namespace tilo::platform
