#include "platform/ui/DisplayList.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "platform/ui/ContentHash.h"
#include "platform/ui/PixelSize.h"
#include "platform/ui/UIViewController.h"
#include "platform/ui/UIVisualEffectView.h"

namespace tilo::platform {
namespace {

// The whole pixels a rectangle touches (anti-aliased edges included).
PixelRect outward(const CGRect& rect) {
  auto clamp = [](double value) {
    constexpr double limit = 1 << 30;  // far beyond any canvas, and safe to add to
    return std::clamp(value, -limit, limit);
  };
  const double left = std::floor(clamp(rect.minX())), top = std::floor(clamp(rect.minY()));
  const double right = std::ceil(clamp(rect.maxX())), bottom = std::ceil(clamp(rect.maxY()));
  return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
          static_cast<int>(bottom - top)};
}

}  // namespace

// Where the superview's bounds origin lies, in window points, and what it passes down.
struct DisplayList::Walk {
  double x = 0;
  double y = 0;
  PixelRect clip;
  double alpha = 1;
  std::uint64_t chain = 0;  // digest of the ancestors' order, clips and opacity
  UIUserInterfaceStyle appearance = UIUserInterfaceStyle::light;
};

DisplayList DisplayList::capture(const UIView& root, double scale, double uptime) {
  DisplayList list;
  capture(root, scale, uptime, list);
  return list;
}

void DisplayList::capture(const UIView& root, double scale, double uptime, DisplayList& list) {
  list.entries_.clear();
  int width = 0, height = 0;
  viewPixelSize(root, scale, width, height);
  list.canvas_ = {0, 0, width, height};
  list.scale_ = scale;
  list.uptime_ = uptime;
  Walk top;
  top.clip = list.canvas_;
  top.appearance = root.effectiveAppearance();
  if (!list.canvas_.isEmpty()) list.visit(root, top, 0, true);
}

std::uint64_t DisplayList::digest(const UIView& root, double scale, double uptime,
                                  UIUserInterfaceStyle appearance, const UIView* stop,
                                  bool* blurs) {
  DisplayList list;
  list.stop_ = stop;
  int width = 0, height = 0;
  viewPixelSize(root, scale, width, height);
  list.canvas_ = {0, 0, width, height};
  list.scale_ = scale;
  list.uptime_ = uptime;
  Walk top;
  top.clip = list.canvas_;
  top.appearance = appearance;
  if (!list.canvas_.isEmpty() && &root != stop) list.visit(root, top, 0, true);
  ContentHash hash;
  hash.add(static_cast<int>(appearance));
  hash.add(list.canvas_.width);
  hash.add(list.canvas_.height);
  hash.add(scale);
  bool blurred = false;
  for (const Entry& entry : list.entries_) {
    hash.add(entry.serial);
    hash.add(entry.extent.x);
    hash.add(entry.extent.y);
    hash.add(entry.extent.width);
    hash.add(entry.extent.height);
    hash.add(entry.digest);
    blurred = blurred || !entry.reach.isEmpty();
  }
  if (blurs) *blurs = blurred;
  return hash.value();
}

void DisplayList::visit(const UIView& view, const Walk& parent, std::size_t index, bool isRoot) {
  // As ViewRenderer draws: hidden and transparent subtrees are skipped, a running
  // transition moves and fades its controller's view, the root ignores its own origin.
  if (stopped_) return;
  if (&view == stop_) {
    stopped_ = true;
    return;
  }
  if (view.isHidden()) return;
  double alpha = view.alpha();
  double offsetY = 0;
  if (const UIViewController* controller = view.viewController()) {
    auto transition = controller->transitionAppearance(uptime_);
    alpha *= transition.alpha;
    offsetY = transition.offsetY;
  }
  if (alpha <= 0) return;
  const CGRect frame = view.frame();
  const double x = isRoot ? parent.x : parent.x + frame.x();
  const double y = isRoot ? parent.y : parent.y + frame.y() + offsetY;
  const double s = scale_;
  const CGRect box{x * s, y * s, frame.width() * s, frame.height() * s};
  const CALayer& layer = view.layer();
  const double opacity = parent.alpha * alpha;

  ContentHash hash;
  hash.add(parent.chain);
  hash.add(static_cast<std::uint64_t>(index));
  hash.add(box);
  hash.add(opacity);
  const auto& background = view.backgroundColor();
  hash.add(background.has_value());
  if (background) hash.add(background->resolved(parent.appearance));
  hash.add(layer.cornerRadius());
  hash.add(layer.masksToBounds());
  hash.add(layer.borderWidth());
  if (layer.borderWidth() > 0) hash.add(layer.borderColor().resolved(parent.appearance));
  const UIBlurEffect* blur = nullptr;
  if (const auto* effectView = dynamic_cast<const UIVisualEffectView*>(&view)) {
    blur = effectView->effect().get();
    if (blur) {
      hash.add(blur->blurRadius());
      hash.add(blur->tintColor().resolved(parent.appearance));
    }
  }
  const CGRect bounds = view.bounds();
  PixelRect extent = outward(box);
  const CGRect content = view.hashDrawnContent(hash, parent.appearance);
  if (!content.isEmpty()) {
    extent = extent.united(
        outward({(x - bounds.x() + content.x()) * s, (y - bounds.y() + content.y()) * s,
                 content.width() * s, content.height() * s}));
  }
  // One more pixel around: smoothing and bilinear filtering bleed past exact edges.
  extent = extent.grownBy(1).intersected(parent.clip);
  if (!extent.isEmpty()) {
    Entry entry{view.serialNumber(), extent, hash.value(), {}};
    if (blur) {
      // A blur reads about 2.5 sigma beyond its box; 3 sigma leaves room.
      const double sigma = blur->blurRadius() * s;
      entry.reach = extent.grownBy(static_cast<int>(std::ceil(3 * std::min(sigma, 1e6))) + 2)
                        .intersected(canvas_);
    }
    entries_.push_back(entry);
  }

  if (view.subviews().empty()) return;
  Walk child;
  child.x = x - bounds.x();
  child.y = y - bounds.y();
  child.clip =
      layer.masksToBounds() ? parent.clip.intersected(outward(box).grownBy(1)) : parent.clip;
  child.alpha = opacity;
  child.appearance = parent.appearance;
  ContentHash chain;
  chain.add(parent.chain);
  chain.add(static_cast<std::uint64_t>(index));
  chain.add(view.serialNumber());
  chain.add(opacity);
  chain.add(layer.masksToBounds());
  if (layer.masksToBounds()) {
    chain.add(box);
    chain.add(layer.cornerRadius());
  }
  child.chain = chain.value();
  // One level of recursion per level of the tree: bounded by UIView::kMaxTreeDepth.
  const auto& subviews = view.subviews();
  for (std::size_t i = 0; i < subviews.size(); ++i) visit(*subviews[i], child, i, false);
}

PixelRect DisplayList::damage(const DisplayList& before, const DisplayList& after) {
  if (before.canvas_ != after.canvas_ || before.scale_ != after.scale_) return after.canvas_;
  // Each changed place with where it lies in the drawing orders before and after (npos:
  // not drawn then): a blur reads only what is drawn before it.
  constexpr std::size_t npos = static_cast<std::size_t>(-1);
  struct Change {
    PixelRect rect;
    std::size_t before;
    std::size_t after;
  };
  std::vector<Change> changes;
  auto add = [&changes](const PixelRect& rect, std::size_t before, std::size_t after) {
    if (!rect.isEmpty()) changes.push_back({rect, before, after});
  };
  auto changed = [&add](const Entry& old, const Entry& now, std::size_t before, std::size_t after) {
    if (old.extent != now.extent || old.digest != now.digest) {
      add(old.extent, before, after);
      add(now.extent, before, after);
    }
  };
  // Frame after frame the lists mostly match view for view.
  const auto& a = before.entries_;
  const auto& b = after.entries_;
  std::unordered_map<std::uint64_t, std::size_t> blursBefore;  // serial to place
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!a[i].reach.isEmpty()) blursBefore.emplace(a[i].serial, i);
  }
  std::size_t common = 0;
  while (common < a.size() && common < b.size() && a[common].serial == b[common].serial) {
    changed(a[common], b[common], common, common);
    ++common;
  }
  if (common < a.size() || common < b.size()) {
    std::unordered_map<std::uint64_t, std::size_t> old;
    for (std::size_t i = common; i < a.size(); ++i) old.emplace(a[i].serial, i);
    for (std::size_t i = common; i < b.size(); ++i) {
      auto found = old.find(b[i].serial);
      if (found == old.end()) {
        add(b[i].extent, npos, i);
      } else {
        changed(a[found->second], b[i], found->second, i);
        old.erase(found);
      }
    }
    for (const auto& [serial, index] : old) add(a[index].extent, index, npos);
  }
  // A blur whose reach a change beneath it touches reads changed pixels (or, clipped to
  // the damage, a mix of fresh and stale ones): all it reads and paints is redrawn. A
  // change over it, now and before, repaints its own pixels only, the blur beneath them
  // from its layer.
  for (bool grew = !changes.empty(); grew;) {
    grew = false;
    for (std::size_t i = 0; i < b.size(); ++i) {
      const PixelRect& reach = b[i].reach;
      if (reach.isEmpty()) continue;
      const auto was = blursBefore.find(b[i].serial);
      const std::size_t iBefore = was == blursBefore.end() ? npos : was->second;
      bool touched = false, covered = false;
      for (const auto& change : changes) {
        const bool beneath =
            (change.after != npos && change.after <= i) ||
            (change.before != npos && (iBefore == npos || change.before <= iBefore));
        if (!beneath || !change.rect.intersects(reach)) continue;
        touched = true;
        covered = covered || change.rect.contains(reach);
      }
      if (touched && !covered) {
        changes.push_back({reach, i, i});
        grew = true;
      }
    }
  }
  PixelRect damage;
  for (const auto& change : changes) damage = damage.united(change.rect);
  return damage.intersected(after.canvas_);
}

}  // namespace tilo::platform
