// A rectangle that takes part in Auto Layout without being a view. Every view has one,
// its safe-area layout guide: the window's is the window inset by its safe-area insets;
// any other view's is the part of the view inside the window's safe area (the whole
// view when it is in no window).
//
//   closeButton->bottomAnchor().constraintEqualToAnchor(
//       view->safeAreaLayoutGuide()->bottomAnchor(), -8);
//
// A guide belongs to its view: a shared_ptr to the guide keeps the view alive too.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/CGGeometry.h"
#include "platform/ui/LayoutItem.h"

namespace tilo::platform {

class UIView;

class UILayoutGuide : public LayoutItem {
 public:
  explicit UILayoutGuide(UIView& owningView) : owningView_(&owningView) {}

  UIView* owningView() const { return owningView_; }
  // In the owning view's coordinates, as of the last layout.
  CGRect layoutFrame() const;

  UIView* owningViewForLayout() override { return owningView_; }
  std::string layoutName() const override;

 protected:
  std::weak_ptr<LayoutItem> weakItem() override;

 private:
  UIView* owningView_;  // the view owns the guide
};

}  // namespace tilo::platform
