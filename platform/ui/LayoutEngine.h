// Solves the Auto Layout constraints of one view tree (owned by the tree's root view) and
// writes the results into the frames of the views that do not translate their
// autoresizing mask. Internal to platform/ui; main thread only.
//
// The engine keeps one incremental solver. Variables are each item's left, top, width
// and height in the root's coordinates. Into it go, in this order: the root's position
// (and its size when the code sets it), the frames of views that translate their mask
// (as required equalities to their superview), safe-area guides bound to their views,
// content-size constraints of views with an intrinsic size (hugging as <=, compression
// resistance as >=), and then the user's constraints in the order they were activated.
// A user constraint that conflicts with the required ones before it is dropped and
// reported once. Only views that take part are in the solver: the root, views laid out
// by constraints, views a constraint names, and their ancestors.
//
// Priorities map to strengths exponentially: priority p < 1000 has strength
// 10^(8·(p−1)/999), so one point of priority is a factor of about 1.019, 750 outweighs 250
// ten thousand times, and 999 (about 10^8) stays well below `required`, which 1000 maps
// to, without the huge ratios that would cost the simplex its precision.
//
// A tree of more than UIView::kMaxLayoutViews views or UIView::kMaxLayoutConstraints
// active constraints is not laid
// out at all (its frames stay as they are) and one limitExceeded report per rebuild says
// why: the caps bound the time and memory a layout can take (a column of 2,048 chained
// labels: about 0.1 s; the solver keeps such chains at about n cells, not n²).
//
// After a solve, labels whose intrinsic height depends on their width learn the width
// they got, safe-area guides of views learn how far the window's insets reach into them,
// and the system is solved again until nothing changes (at most eight passes).
#pragma once

#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/ui/CGGeometry.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIEdgeInsets.h"
#include "platform/ui/solver/Solver.h"

namespace tilo::platform {

class LayoutItem;
class UILayoutGuide;
class UIView;

double strengthForPriority(UILayoutPriority priority);

class LayoutEngine {
 public:
  explicit LayoutEngine(UIView& root);
  ~LayoutEngine();
  LayoutEngine(const LayoutEngine&) = delete;
  LayoutEngine& operator=(const LayoutEngine&) = delete;

  // The tree changed shape: rebuild everything at the next solve.
  void invalidate();
  bool needsSolve() const { return !valid_ || dirty_; }

  void constraintActivated(NSLayoutConstraint& constraint);
  void constraintDeactivated(NSLayoutConstraint& constraint);
  void constraintChanged(NSLayoutConstraint& constraint);
  // The code set a frame, or a view's intrinsic size changed.
  void frameChanged(UIView& view);
  void intrinsicSizeChanged(UIView& view);

  // Solves if anything changed and writes frames.
  void solve();

  // Active constraints currently left out of the solution.
  std::vector<std::shared_ptr<NSLayoutConstraint>> droppedConstraints() const;

  static constexpr int maxPasses = 8;

 private:
  enum class InternalKind { root, autoresizing, content, guide };
  struct Internal {
    InternalKind kind;
    const LayoutItem* item;
    NSLayoutAttribute attribute;
    const LayoutItem* other;  // the item the constant is relative to, if any
    NSLayoutRelation relation;
    double constant;
    UILayoutPriority priority;
  };
  struct Record {
    UIView* view = nullptr;                   // a member view, or
    UILayoutGuide* guide = nullptr;           // a member guide
    std::vector<solver::Constraint> frame;    // root, autoresizing or guide binding
    std::vector<solver::Constraint> content;  // intrinsic size
    CGSize intrinsic{-1, -1};
    UIEdgeInsets insets;
  };

  // True when `view` is the window of its tree.
  static bool isWindow(const UIView& view);
  void rebuild();
  void applyPending();
  bool refreshDependents();
  void writeFrames();
  void addFrameConstraints(Record& record);
  void addContentConstraints(Record& record);
  void addGuideConstraints(Record& record, const UIEdgeInsets& insets);
  void removeAll(std::vector<solver::Constraint>& list);
  void addInternal(std::vector<solver::Constraint>& list, const Internal& internal,
                   const solver::Constraint& constraint);
  void addUser(NSLayoutConstraint& constraint);
  void retryDropped();
  bool isMember(const LayoutItem* item) const { return records_.count(item) != 0; }
  UIEdgeInsets guideInsets(const UILayoutGuide& guide, bool fromSolver) const;
  std::string describe(const solver::Constraint& constraint) const;
  void reportDrop(NSLayoutConstraint& constraint, const std::vector<solver::Constraint>& conflicts);

  UIView& root_;
  solver::Solver solver_;
  bool valid_ = false;
  bool dirty_ = true;
  bool solving_ = false;
  bool rebuilding_ = false;
  std::unordered_map<const LayoutItem*, Record> records_;
  std::vector<UIView*> memberViews_;  // top-down
  std::unordered_map<const NSLayoutConstraint*, solver::Constraint> installed_;
  std::unordered_map<solver::Constraint, NSLayoutConstraint*> owners_;
  std::unordered_map<solver::Constraint, Internal> internals_;
  std::vector<std::shared_ptr<NSLayoutConstraint>> dropped_;
  std::unordered_set<UIView*> pendingFrames_;
  std::unordered_set<UIView*> pendingContent_;
};

}  // namespace tilo::platform
