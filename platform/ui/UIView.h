// The view tree: a rectangle in its superview, ordered subviews, drawing properties, Auto
// Layout participation, hit-testing and a tap hook.
//
//   auto card = UIView::create();
//   card->setBackgroundColor(UIColor::systemGroupedBackgroundColor());
//   card->layer().setCornerRadius(16);
//   card->setTranslatesAutoresizingMaskIntoConstraints(false);
//   window->addSubview(card);
//   NSLayoutConstraint::activateConstraints({
//       card->leftAnchor().constraintEqualToAnchor(window->leftAnchor(), 20),
//       card->rightAnchor().constraintEqualToAnchor(window->rightAnchor(), -20),
//       card->centerYAnchor().constraintEqualToAnchor(window->centerYAnchor()),
//       card->heightAnchor().constraintEqualToConstant(200)});
//   window->layoutIfNeeded();   // card->frame() is now {20, 322, 350, 200}
//
// Views are reference types made by factories (`create`, or makeView<T>(...) for
// subclasses), used on the main thread only. A superview holds its subviews strongly; a
// subview refers to its superview and window weakly.
//
// Subclassing: override the hooks below and call the base first. A subclass builds its
// own subviews and constraints in initializeView(), which makeView calls right after
// construction (shared_from_this does not work inside constructors, so anchors taken
// there are dead). A subclass may redirect addSubview into a container of its own and
// add the container itself with UIView::addSubview.
//
// Depth: a tree is at most kMaxTreeDepth views deep, its root included. addSubview (and
// every insert) that would make it deeper is refused with a limitExceeded report, so that
// the traversals that recurse over the tree (drawing, dumps, hit tests, destruction) run
// on a bounded stack.
//
// Layout: setNeedsLayout marks a view; layoutIfNeeded (on any view of the tree) solves
// the constraints of the whole tree, writes the frames of views that do not translate
// their autoresizing mask, and calls layoutSubviews top-down on every marked view (a
// view is marked when its size changes). Rendering lays out first.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/CALayer.h"
#include "platform/ui/CGGeometry.h"
#include "platform/ui/LayoutItem.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIColor.h"
#include "platform/ui/UIEdgeInsets.h"
#include "platform/ui/UILayoutGuide.h"

namespace tilo::platform {

class ContentHash;
class DrawContext;
class LayoutEngine;
class UIViewController;
class UIWindow;

// Raw values as the platform's.
enum class UIViewContentMode {
  scaleToFill = 0,
  scaleAspectFit = 1,   // whole image inside, letterboxed
  scaleAspectFill = 2,  // fills the bounds, cropped (when clipping)
  redraw = 3,
  center = 4,  // natural size, centred
};

class UIView : public LayoutItem, public std::enable_shared_from_this<UIView> {
 public:
  static std::shared_ptr<UIView> create(const CGRect& frame = {});
  explicit UIView(const CGRect& frame = {});
  ~UIView() override;
  UIView(const UIView&) = delete;
  UIView& operator=(const UIView&) = delete;

  // Runs once, right after construction, when the view is owned by a shared_ptr.
  virtual void initializeView() {}
  // The platform class name shown in dumps and constraint descriptions.
  virtual const char* className() const { return "UIView"; }

  // Geometry, in points. The frame is in the superview's bounds coordinates.
  CGRect frame() const { return frame_; }
  // A frame with a non-finite number is refused with a report; negative sizes become 0.
  virtual void setFrame(const CGRect& frame);
  CGRect bounds() const { return {boundsOrigin_, frame_.size}; }
  void setBounds(const CGRect& bounds);  // keeps the centre
  CGPoint center() const { return {frame_.midX(), frame_.midY()}; }
  void setCenter(const CGPoint& center);

  // The most views from a root down to its deepest leaf, both included.
  static constexpr std::size_t kMaxTreeDepth = 256;
  // The largest tree that layout solves: beyond it the tree is not laid out, with a
  // limitExceeded report (see LayoutEngine).
  static constexpr std::size_t kMaxLayoutViews = 2048;
  static constexpr std::size_t kMaxLayoutConstraints = 8192;

  // Hierarchy.
  std::shared_ptr<UIView> superview() const;
  const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
  // Adds `view` on top (moving it from its old superview). Adding a view to itself or to
  // one of its descendants is ignored; one that would make the tree deeper than
  // kMaxTreeDepth is refused with a report.
  virtual void addSubview(const std::shared_ptr<UIView>& view);
  void insertSubviewAtIndex(const std::shared_ptr<UIView>& view, std::size_t index);
  void insertSubviewAboveSubview(const std::shared_ptr<UIView>& view, const UIView* sibling);
  void insertSubviewBelowSubview(const std::shared_ptr<UIView>& view, const UIView* sibling);
  void removeFromSuperview();
  void bringSubviewToFront(const UIView* view);
  void sendSubviewToBack(const UIView* view);
  bool isDescendantOfView(const UIView* view) const;  // true for the view itself
  std::shared_ptr<UIWindow> window() const;
  UIWindow* windowPointer() const { return window_; }
  // The topmost ancestor (the view itself when it has no superview).
  UIView* rootView();

  // Hooks, called around moves (base first when overriding).
  virtual void willMoveToSuperview(UIView* newSuperview);
  virtual void didMoveToSuperview();
  virtual void willMoveToWindow(UIWindow* newWindow);
  virtual void didMoveToWindow();
  virtual void didAddSubview(UIView* subview);
  virtual void willRemoveSubview(UIView* subview);

  // Appearance.
  bool isHidden() const { return hidden_; }
  virtual void setHidden(bool hidden);
  double alpha() const { return alpha_; }
  void setAlpha(double alpha);  // clipped into 0…1; NaN refused with a report
  const std::optional<UIColor>& backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<UIColor> color) { backgroundColor_ = std::move(color); }
  bool clipsToBounds() const { return layer_.masksToBounds(); }
  void setClipsToBounds(bool clips) { layer_.setMasksToBounds(clips); }
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
  // Its own tint, else the superview's, else system blue.
  UIColor tintColor() const;
  const std::optional<UIColor>& ownTintColor() const { return tintColor_; }
  void setTintColor(std::optional<UIColor> color);
  // How image content fits the bounds (image views use it).
  UIViewContentMode contentMode() const { return contentMode_; }
  void setContentMode(UIViewContentMode mode) { contentMode_ = mode; }
  CALayer& layer() { return layer_; }
  const CALayer& layer() const { return layer_; }
  const std::string& accessibilityIdentifier() const { return accessibilityIdentifier_; }
  void setAccessibilityIdentifier(std::string identifier);
  // The window's appearance, light when the view is in no window.
  UIUserInterfaceStyle effectiveAppearance() const;

  // Auto Layout.
  bool translatesAutoresizingMaskIntoConstraints() const { return translatesMask_; }
  void setTranslatesAutoresizingMaskIntoConstraints(bool translates);
  void setNeedsLayout();
  bool needsLayout() const { return needsLayout_; }
  // Lays out the whole tree this view belongs to, if anything asks for it.
  void layoutIfNeeded();
  // Positions subviews; the base applies nothing (the engine has written the frames).
  virtual void layoutSubviews() {}
  void setNeedsUpdateConstraints();
  // Runs before the constraints are solved when marked; subclasses (re)make their own
  // constraints here.
  virtual void updateConstraints() {}

  static constexpr double noIntrinsicMetric = -1;
  // The natural size of the content; noIntrinsicMetric in a dimension that has none.
  virtual CGSize intrinsicContentSize() const { return {noIntrinsicMetric, noIntrinsicMetric}; }
  void invalidateIntrinsicContentSize();
  // The size the view would like within `size`; the base answers its current size.
  virtual CGSize sizeThatFits(const CGSize& size) const;
  void sizeToFit();
  UILayoutPriority contentHuggingPriority(UILayoutConstraintAxis axis) const;
  void setContentHuggingPriority(UILayoutPriority priority, UILayoutConstraintAxis axis);
  UILayoutPriority contentCompressionResistancePriority(UILayoutConstraintAxis axis) const;
  void setContentCompressionResistancePriority(UILayoutPriority priority,
                                               UILayoutConstraintAxis axis);
  std::shared_ptr<UILayoutGuide> safeAreaLayoutGuide();
  // How far the window's safe-area insets reach into this view, as of the last layout.
  UIEdgeInsets safeAreaInsets() const;
  // The active constraints that name this view or its guide.
  const std::vector<std::shared_ptr<NSLayoutConstraint>>& constraints() const {
    return constraints_;
  }

  // The active constraints of this view's whole tree that the last layout had to leave
  // out (they conflicted with required constraints activated before them).
  std::vector<std::shared_ptr<NSLayoutConstraint>> droppedConstraints();

  // Coordinates. `view` null means the window (the root of the tree when there is none).
  CGPoint convertPointToView(const CGPoint& point, const UIView* view) const;
  CGPoint convertPointFromView(const CGPoint& point, const UIView* view) const;
  CGRect convertRect(const CGRect& rect, const UIView* toView) const;
  CGRect convertRectFromView(const CGRect& rect, const UIView* fromView) const;

  // Touches. hitTest takes a point in this view's bounds coordinates and returns the
  // deepest view that takes touches there: hidden views, views with alpha below 0.01 and
  // views with user interaction off are skipped with their subviews, and so are points
  // outside a view's bounds (subviews that stick out are not hit there).
  virtual std::shared_ptr<UIView> hitTest(const CGPoint& point);
  virtual bool pointInside(const CGPoint& point) const;
  // A tap (touch down and up inside) at `point` in bounds coordinates. Return true when
  // handled; unhandled taps travel up the superview chain. The base handles nothing.
  virtual bool handleTap(const CGPoint& point);

  // Draws the view's own content (after the background, before the subviews); `rect` is
  // the bounds. The base draws nothing.
  virtual void drawRect(const DrawContext& context, const CGRect& rect) const;
  // For renders that redraw only what changed: mixes into `hash` everything drawRect reads
  // beyond what every view has (frame, colours, layer, alpha), and returns where it paints
  // in bounds coordinates (empty when nothing). A subclass that draws overrides both; one
  // that adds state to its parent's drawing calls the base and hashes that state.
  virtual CGRect hashDrawnContent(ContentHash& hash, UIUserInterfaceStyle appearance) const;

  // Views a control creates for itself (a button's title label): hidden from layout
  // dumps, which describe them on their owner.
  bool isPrivateSubview() const { return privateSubview_; }
  void setPrivateSubview(bool isPrivate) { privateSubview_ = isPrivate; }

  // The view controller whose view this is, if any.
  UIViewController* viewController() const { return viewController_; }

  UIView* owningViewForLayout() override { return this; }
  std::string layoutName() const override;
  std::uint64_t serialNumber() const { return serial_; }

 protected:
  std::weak_ptr<LayoutItem> weakItem() override { return weak_from_this(); }
  // Called on the superview when a subview's hidden flag or intrinsic size changes.
  virtual void subviewHiddenDidChange(UIView& subview);
  virtual void subviewIntrinsicSizeDidChange(UIView& subview);
  // Lets a multi-line label report the height it needs at the width layout gave it.
  // Returns true when its intrinsic size changed.
  virtual bool updateIntrinsicSizeForLayoutWidth(double width);
  // True for views whose intrinsic height depends on their width.
  virtual bool hasWidthDependentIntrinsicSize() const { return false; }

 private:
  friend class LayoutEngine;
  friend class NSLayoutConstraint;
  friend class UIViewController;
  friend class UIWindow;

  void insertSubview(const std::shared_ptr<UIView>& view, std::size_t index);
  void detachFromSuperview(bool notify);
  void propagateWindow(UIWindow* window);
  void structureDidChange();
  void frameDidChange(const CGRect& old, bool fromEngine);
  void markTreeNeedsLayout();
  // Deactivates active constraints that join this subtree to views outside it.
  void deactivateConstraintsLeavingSubtree();
  LayoutEngine* engineIfBuilt();
  LayoutEngine& engine();
  void performLayout();
  void layoutPass(bool& anyLaidOut);
  void setFrameFromEngine(const CGRect& frame);
  CGPoint pointToRoot(const CGPoint& point) const;
  CGPoint pointFromRoot(const CGPoint& point) const;
  const UIView* rootOf() const;

  CGRect frame_;
  CGPoint boundsOrigin_;
  UIView* superview_ = nullptr;  // the superview holds us while this is set
  UIWindow* window_ = nullptr;   // likewise, through the tree
  std::vector<std::shared_ptr<UIView>> subviews_;
  bool hidden_ = false;
  double alpha_ = 1;
  std::optional<UIColor> backgroundColor_;
  std::optional<UIColor> tintColor_;
  bool userInteractionEnabled_ = true;
  CALayer layer_;
  UIViewContentMode contentMode_ = UIViewContentMode::scaleToFill;
  std::string accessibilityIdentifier_;
  bool translatesMask_ = true;
  bool needsLayout_ = true;
  bool needsUpdateConstraints_ = false;
  bool treeNeedsLayout_ = true;  // meaningful on roots
  bool inLayout_ = false;
  bool privateSubview_ = false;
  UILayoutPriority hugging_[2] = {UILayoutPriorityDefaultLow, UILayoutPriorityDefaultLow};
  UILayoutPriority compression_[2] = {UILayoutPriorityDefaultHigh, UILayoutPriorityDefaultHigh};
  std::unique_ptr<UILayoutGuide> safeAreaGuide_;
  std::vector<std::shared_ptr<NSLayoutConstraint>> constraints_;
  // On roots, built at the first layout. Deleted where the engine's type is known, so that
  // this header and the view's own source need not include the engine, which sits above.
  struct LayoutEngineDeleter {
    void operator()(LayoutEngine* engine) const;
  };
  std::unique_ptr<LayoutEngine, LayoutEngineDeleter> engine_;
  UIViewController* viewController_ = nullptr;
  std::uint64_t serial_;
};

// Makes a view of type T and runs its initializeView().
template <class T, class... Args>
std::shared_ptr<T> makeView(Args&&... args) {
  auto view = std::make_shared<T>(std::forward<Args>(args)...);
  view->initializeView();
  return view;
}

}  // namespace tilo::platform
