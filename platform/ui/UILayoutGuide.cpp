#include "platform/ui/UILayoutGuide.h"

#include "platform/ui/UIView.h"

namespace tilo::platform {

CGRect UILayoutGuide::layoutFrame() const {
  return owningView_->safeAreaInsets().inset(owningView_->bounds());
}

std::string UILayoutGuide::layoutName() const {
  return owningView_->layoutName() + ".safeArea";
}

std::weak_ptr<LayoutItem> UILayoutGuide::weakItem() {
  auto view = owningView_->weak_from_this().lock();
  if (!view) return {};
  return std::shared_ptr<LayoutItem>(view, this);
}

}  // namespace tilo::platform
