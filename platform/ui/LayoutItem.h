// Something Auto Layout positions: a view, or a layout guide of a view. It owns the four
// solver variables of its rectangle (left, top, width, height, in the coordinates of the
// root of its view tree) and hands out the anchors constraints are made from.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/NSLayoutAnchor.h"
#include "platform/ui/solver/Variable.h"

namespace tilo::platform {

class UIView;

class LayoutItem {
 public:
  virtual ~LayoutItem() = default;

  NSLayoutXAxisAnchor leadingAnchor() { return {weakItem(), NSLayoutAttribute::leading}; }
  NSLayoutXAxisAnchor trailingAnchor() { return {weakItem(), NSLayoutAttribute::trailing}; }
  NSLayoutXAxisAnchor leftAnchor() { return {weakItem(), NSLayoutAttribute::left}; }
  NSLayoutXAxisAnchor rightAnchor() { return {weakItem(), NSLayoutAttribute::right}; }
  NSLayoutXAxisAnchor centerXAnchor() { return {weakItem(), NSLayoutAttribute::centerX}; }
  NSLayoutYAxisAnchor topAnchor() { return {weakItem(), NSLayoutAttribute::top}; }
  NSLayoutYAxisAnchor bottomAnchor() { return {weakItem(), NSLayoutAttribute::bottom}; }
  NSLayoutYAxisAnchor centerYAnchor() { return {weakItem(), NSLayoutAttribute::centerY}; }
  NSLayoutDimension widthAnchor() { return {weakItem(), NSLayoutAttribute::width}; }
  NSLayoutDimension heightAnchor() { return {weakItem(), NSLayoutAttribute::height}; }

  // The view itself, or the view a guide belongs to.
  virtual UIView* owningViewForLayout() = 0;
  // How constraints name the item: the accessibility identifier, else the class and a
  // serial number ("UILabel#12"); guides add ".safeArea".
  virtual std::string layoutName() const = 0;

  struct Variables {
    solver::Variable left;
    solver::Variable top;
    solver::Variable width;
    solver::Variable height;
  };
  const Variables& layoutVariables() const { return variables_; }

 protected:
  // Empty until the item is owned by a shared_ptr (not inside constructors).
  virtual std::weak_ptr<LayoutItem> weakItem() = 0;

 private:
  Variables variables_;
};

}  // namespace tilo::platform
