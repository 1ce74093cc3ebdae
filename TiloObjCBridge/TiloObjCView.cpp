#include "TiloObjCBridge/TiloObjCView.h"

#include <cmath>

namespace tilo::bridge {

platform::UIColor colorFrom(tilo_color color) {
  auto component = [color](int shift) { return ((color >> shift) & 0xffu) / 255.0; };
  return platform::UIColor(component(24), component(16), component(8), component(0));
}

bool isValidRect(const tilo_rect& rect) {
  return std::isfinite(rect.x) && std::isfinite(rect.y) && std::isfinite(rect.width) &&
         std::isfinite(rect.height) && rect.width >= 0 && rect.height >= 0;
}

void pinToEdges(const std::shared_ptr<platform::UIView>& inner,
                const std::shared_ptr<platform::UIView>& outer) {
  inner->setTranslatesAutoresizingMaskIntoConstraints(false);
  platform::NSLayoutConstraint::activateConstraints({
      inner->topAnchor().constraintEqualToAnchor(outer->topAnchor()),
      inner->leadingAnchor().constraintEqualToAnchor(outer->leadingAnchor()),
      inner->trailingAnchor().constraintEqualToAnchor(outer->trailingAnchor()),
      inner->bottomAnchor().constraintEqualToAnchor(outer->bottomAnchor()),
  });
}

void TiloObjCView::placeAt(const std::shared_ptr<platform::UIView>& container,
                           const platform::CGRect& frame) {
  unplace();
  setTranslatesAutoresizingMaskIntoConstraints(true);
  setFrame(frame);
  container->addSubview(shared_from_this());
}

void TiloObjCView::placePinned(platform::UIWindow& window,
                               const std::shared_ptr<platform::UIView>& container, bool top,
                               double height) {
  unplace();
  setTranslatesAutoresizingMaskIntoConstraints(false);
  container->addSubview(shared_from_this());
  auto guide = window.safeAreaLayoutGuide();
  placement_ = {
      leadingAnchor().constraintEqualToAnchor(guide->leadingAnchor()),
      trailingAnchor().constraintEqualToAnchor(guide->trailingAnchor()),
      heightAnchor().constraintEqualToConstant(height),
      top ? topAnchor().constraintEqualToAnchor(guide->topAnchor())
          : bottomAnchor().constraintEqualToAnchor(guide->bottomAnchor()),
  };
  platform::NSLayoutConstraint::activateConstraints(placement_);
}

void TiloObjCView::unplace() {
  platform::NSLayoutConstraint::deactivateConstraints(placement_);
  placement_.clear();
  if (superview()) removeFromSuperview();
}

void TiloObjCView::willDestroy() {
  handleDestroyed();
  unplace();
}

FoundView findView(const void* handle) {
  FoundView result{TILO_STATUS_INVALID_HANDLE, nullptr};
  for (HandleType type :
       {HandleType::bannerView, HandleType::nativeView, HandleType::lineBannerView}) {
    auto found = HandleTable::shared().find(handle, type);
    if (found.status == TILO_STATUS_OK) {
      return {TILO_STATUS_OK, std::static_pointer_cast<TiloObjCView>(found.object)};
    }
    // A live handle of another kind answers so for each view kind; anything else is no
    // handle at all.
    if (found.status != TILO_STATUS_WRONG_HANDLE_TYPE) return {found.status, nullptr};
    result.status = found.status;
  }
  return result;
}

}  // namespace tilo::bridge
