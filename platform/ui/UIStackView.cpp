#include "platform/ui/UIStackView.h"

#include <algorithm>
#include <cmath>

namespace tilo::platform {
namespace {

// Priorities of the stack's own helper constraints.
constexpr UILayoutPriority kProportionalPriority = 999;   // below the views' required sizes
constexpr UILayoutPriority kCanvasFitPriority = 49;       // shrink across the axis to fit
constexpr UILayoutPriority kHiddenPlacementPriority = 1;  // where collapsed views sit

}  // namespace

std::shared_ptr<UIStackView> UIStackView::create(
    const std::vector<std::shared_ptr<UIView>>& arrangedSubviews) {
  auto stack = makeView<UIStackView>();
  for (const auto& view : arrangedSubviews) stack->addArrangedSubview(view);
  return stack;
}

void UIStackView::initializeView() {
  UIView::initializeView();
  setNeedsUpdateConstraints();
}

bool UIStackView::isArranged(const UIView* view) const {
  return std::any_of(arranged_.begin(), arranged_.end(),
                     [view](const auto& v) { return v.get() == view; });
}

void UIStackView::addArrangedSubview(const std::shared_ptr<UIView>& view) {
  insertArrangedSubview(view, arranged_.size());
}

void UIStackView::insertArrangedSubview(const std::shared_ptr<UIView>& view, std::size_t index) {
  if (!view || view.get() == this) return;
  removeArrangedSubview(view.get());
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  if (view->superview().get() != this) UIView::addSubview(view);
  if (view->superview().get() != this) return;  // refused (an ancestor of the stack)
  arranged_.insert(
      arranged_.begin() + static_cast<std::ptrdiff_t>(std::min(index, arranged_.size())), view);
  setNeedsUpdateConstraints();
}

void UIStackView::removeArrangedSubview(const UIView* view) {
  auto it = std::find_if(arranged_.begin(), arranged_.end(),
                         [view](const auto& v) { return v.get() == view; });
  if (it == arranged_.end()) return;
  arranged_.erase(it);
  customSpacing_.erase(view);
  setNeedsUpdateConstraints();
}

void UIStackView::willRemoveSubview(UIView* subview) {
  UIView::willRemoveSubview(subview);
  removeArrangedSubview(subview);
}

void UIStackView::setAxis(UILayoutConstraintAxis axis) {
  axis_ = axis;
  setNeedsUpdateConstraints();
}

void UIStackView::setAlignment(UIStackViewAlignment alignment) {
  alignment_ = alignment;
  setNeedsUpdateConstraints();
}

void UIStackView::setDistribution(UIStackViewDistribution distribution) {
  distribution_ = distribution;
  setNeedsUpdateConstraints();
}

void UIStackView::setSpacing(double spacing) {
  spacing_ = std::isfinite(spacing) ? spacing : 0;
  setNeedsUpdateConstraints();
}

void UIStackView::setCustomSpacing(double spacing, const UIView* afterView) {
  if (!afterView || !std::isfinite(spacing)) return;
  customSpacing_[afterView] = spacing;
  setNeedsUpdateConstraints();
}

double UIStackView::customSpacingAfterView(const UIView* view) const {
  auto found = customSpacing_.find(view);
  return found == customSpacing_.end() ? spacing_ : found->second;
}

void UIStackView::subviewHiddenDidChange(UIView& subview) {
  UIView::subviewHiddenDidChange(subview);
  if (isArranged(&subview)) setNeedsUpdateConstraints();
}

void UIStackView::subviewIntrinsicSizeDidChange(UIView& subview) {
  UIView::subviewIntrinsicSizeDidChange(subview);
  if (distribution_ == UIStackViewDistribution::fillProportionally && isArranged(&subview)) {
    setNeedsUpdateConstraints();
  }
}

void UIStackView::updateConstraints() {
  UIView::updateConstraints();
  NSLayoutConstraint::deactivateConstraints(made_);
  made_.clear();

  bool horizontal = axis_ == UILayoutConstraintAxis::horizontal;
  const auto lead = horizontal ? NSLayoutAttribute::leading : NSLayoutAttribute::top;
  const auto trail = horizontal ? NSLayoutAttribute::trailing : NSLayoutAttribute::bottom;
  const auto size = horizontal ? NSLayoutAttribute::width : NSLayoutAttribute::height;
  const auto crossLead = horizontal ? NSLayoutAttribute::top : NSLayoutAttribute::leading;
  const auto crossTrail = horizontal ? NSLayoutAttribute::bottom : NSLayoutAttribute::trailing;
  const auto crossCenter = horizontal ? NSLayoutAttribute::centerY : NSLayoutAttribute::centerX;
  const auto crossSize = horizontal ? NSLayoutAttribute::height : NSLayoutAttribute::width;
  std::shared_ptr<LayoutItem> stack = shared_from_this();

  auto make = [&](const std::shared_ptr<UIView>& view, NSLayoutAttribute a, NSLayoutRelation r,
                  const std::shared_ptr<LayoutItem>& other, NSLayoutAttribute b, double multiplier,
                  double constant, UILayoutPriority priority = UILayoutPriorityRequired) {
    auto constraint = NSLayoutConstraint::create(view, a, r, other, b, multiplier, constant);
    constraint->setPriority(priority);
    made_.push_back(constraint);
  };
  const auto eq = NSLayoutRelation::equal;
  const auto ge = NSLayoutRelation::greaterThanOrEqual;
  const auto le = NSLayoutRelation::lessThanOrEqual;

  std::vector<std::shared_ptr<UIView>> visible;
  for (const auto& view : arranged_) {
    if (view->superview().get() != this) continue;
    if (view->isHidden()) {
      make(view, lead, eq, stack, lead, 1, 0, kHiddenPlacementPriority);
      make(view, crossLead, eq, stack, crossLead, 1, 0, kHiddenPlacementPriority);
    } else {
      visible.push_back(view);
    }
  }

  if (!visible.empty()) {
    double gaps = 0;
    make(visible.front(), lead, eq, stack, lead, 1, 0);
    for (std::size_t i = 0; i + 1 < visible.size(); ++i) {
      double gap = customSpacingAfterView(visible[i].get());
      gaps += gap;
      make(visible[i + 1], lead, eq, visible[i], trail, 1, gap);
    }
    make(visible.back(), trail, eq, stack, trail, 1, 0);

    if (distribution_ == UIStackViewDistribution::fillEqually) {
      for (std::size_t i = 1; i < visible.size(); ++i) {
        make(visible[i], size, eq, visible.front(), size, 1, 0);
      }
    } else if (distribution_ == UIStackViewDistribution::fillProportionally) {
      std::vector<double> natural;
      double total = 0;
      for (const auto& view : visible) {
        CGSize intrinsic = view->intrinsicContentSize();
        double extent = horizontal ? intrinsic.width : intrinsic.height;
        natural.push_back(extent > 0 ? extent : 0);
        total += natural.back();
      }
      if (total > 0) {
        for (std::size_t i = 0; i < visible.size(); ++i) {
          double share = natural[i] / total;
          make(visible[i], size, eq, stack, size, share, -gaps * share, kProportionalPriority);
        }
      }
    }

    for (const auto& view : visible) {
      switch (alignment_) {
        case UIStackViewAlignment::fill:
          make(view, crossLead, eq, stack, crossLead, 1, 0);
          make(view, crossTrail, eq, stack, crossTrail, 1, 0);
          break;
        case UIStackViewAlignment::leading:
          make(view, crossLead, eq, stack, crossLead, 1, 0);
          make(view, crossTrail, le, stack, crossTrail, 1, 0);
          break;
        case UIStackViewAlignment::trailing:
          make(view, crossTrail, eq, stack, crossTrail, 1, 0);
          make(view, crossLead, ge, stack, crossLead, 1, 0);
          break;
        default:  // centre and the baselines
          make(view, crossCenter, eq, stack, crossCenter, 1, 0);
          make(view, crossLead, ge, stack, crossLead, 1, 0);
          break;
      }
    }
    if (alignment_ != UIStackViewAlignment::fill) {
      auto fit = NSLayoutConstraint::create(stack, crossSize, eq, nullptr,
                                            NSLayoutAttribute::notAnAttribute, 1, 0);
      fit->setPriority(kCanvasFitPriority);
      made_.push_back(fit);
    }
  }
  NSLayoutConstraint::activateConstraints(made_);
}

}  // namespace tilo::platform
