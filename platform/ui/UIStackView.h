// Lines up its arranged subviews along an axis and makes the constraints for it itself.
//
//   auto row = UIStackView::create({badge, title, divider, pill});
//   row->setAxis(UILayoutConstraintAxis::horizontal);
//   row->setAlignment(UIStackViewAlignment::center);
//   row->setDistribution(UIStackViewDistribution::fillProportionally);
//   row->setSpacing(4);
//   row->setCustomSpacing(10, divider.get());
//
// Distributions: fill (sizes from the views' own constraints and intrinsic sizes, the
// lowest hugging priority stretching), fillEqually (equal sizes along the axis),
// fillProportionally (sizes along the axis proportional to the intrinsic sizes, at
// priority 999); equalSpacing and equalCentering are laid out as fill. Alignments place
// the views across the axis; the baseline ones centre. Hidden arranged views collapse:
// they leave the line and take no spacing (the custom spacing after a hidden view
// goes with it). Arranged views are laid out by constraints
// (translatesAutoresizingMaskIntoConstraints is turned off).
//
// The constraints are remade before the next layout whenever the arrangement, a
// property, a hidden flag or (for fillProportionally) an intrinsic size changes.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/ui/UIView.h"

namespace tilo::platform {

// Raw values as the platform's.
enum class UIStackViewDistribution {
  fill = 0,
  fillEqually = 1,
  fillProportionally = 2,
  equalSpacing = 3,
  equalCentering = 4,
};

enum class UIStackViewAlignment {
  fill = 0,
  leading = 1,
  top = 1,
  firstBaseline = 2,
  center = 3,
  trailing = 4,
  bottom = 4,
  lastBaseline = 5,
};

class UIStackView : public UIView {
 public:
  static std::shared_ptr<UIStackView> create(
      const std::vector<std::shared_ptr<UIView>>& arrangedSubviews = {});
  using UIView::UIView;
  void initializeView() override;
  const char* className() const override { return "UIStackView"; }

  const std::vector<std::shared_ptr<UIView>>& arrangedSubviews() const { return arranged_; }
  void addArrangedSubview(const std::shared_ptr<UIView>& view);
  void insertArrangedSubview(const std::shared_ptr<UIView>& view, std::size_t index);
  // Stops arranging `view`; it stays a subview.
  void removeArrangedSubview(const UIView* view);

  UILayoutConstraintAxis axis() const { return axis_; }
  void setAxis(UILayoutConstraintAxis axis);
  UIStackViewAlignment alignment() const { return alignment_; }
  void setAlignment(UIStackViewAlignment alignment);
  UIStackViewDistribution distribution() const { return distribution_; }
  void setDistribution(UIStackViewDistribution distribution);
  double spacing() const { return spacing_; }
  void setSpacing(double spacing);
  void setCustomSpacing(double spacing, const UIView* afterView);
  // The custom spacing after `view`, or `spacing()` when it has none.
  double customSpacingAfterView(const UIView* view) const;

  void updateConstraints() override;
  void willRemoveSubview(UIView* subview) override;

 protected:
  void subviewHiddenDidChange(UIView& subview) override;
  void subviewIntrinsicSizeDidChange(UIView& subview) override;

 private:
  bool isArranged(const UIView* view) const;

  std::vector<std::shared_ptr<UIView>> arranged_;
  UILayoutConstraintAxis axis_ = UILayoutConstraintAxis::horizontal;
  UIStackViewAlignment alignment_ = UIStackViewAlignment::fill;
  UIStackViewDistribution distribution_ = UIStackViewDistribution::fill;
  double spacing_ = 0;
  std::map<const UIView*, double> customSpacing_;
  std::vector<std::shared_ptr<NSLayoutConstraint>> made_;
};

}  // namespace tilo::platform
