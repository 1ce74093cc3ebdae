#include "Tilo/views/WrappingView.h"

#include <vector>

#include "platform/ui/NSLayoutConstraint.h"

namespace tilo {

WrappingView WrappingView::wrap(const std::shared_ptr<platform::UIView>& container) {
  WrappingView wrapping{mediation::GADMediaView::create()};
  std::vector<std::shared_ptr<platform::UIView>> old;
  for (const auto& subview : container->subviews()) {
    if (std::dynamic_pointer_cast<mediation::GADMediaView>(subview)) old.push_back(subview);
  }
  for (const auto& view : old) view->removeFromSuperview();
  if (container->translatesAutoresizingMaskIntoConstraints()) {
    // Placed by its frame: without the mask's translation nothing would hold that frame
    // any more, so constraints keep the host's size and position.
    const platform::CGRect frame = container->frame();
    std::vector<std::shared_ptr<platform::NSLayoutConstraint>> keep{
        container->widthAnchor().constraintEqualToConstant(frame.size.width),
        container->heightAnchor().constraintEqualToConstant(frame.size.height)};
    if (auto superview = container->superview()) {
      keep.push_back(
          container->leftAnchor().constraintEqualToAnchor(superview->leftAnchor(), frame.minX()));
      keep.push_back(
          container->topAnchor().constraintEqualToAnchor(superview->topAnchor(), frame.minY()));
    }
    platform::NSLayoutConstraint::activateConstraints(keep);
  }
  container->setTranslatesAutoresizingMaskIntoConstraints(false);
  const auto& media = wrapping.mediaView;
  media->removeFromSuperview();
  media->setTranslatesAutoresizingMaskIntoConstraints(false);
  container->addSubview(media);
  platform::NSLayoutConstraint::activateConstraints({
      media->leadingAnchor().constraintEqualToAnchor(container->leadingAnchor()),
      media->trailingAnchor().constraintEqualToAnchor(container->trailingAnchor()),
      media->topAnchor().constraintEqualToAnchor(container->topAnchor()),
      media->bottomAnchor().constraintEqualToAnchor(container->bottomAnchor()),
  });
  return wrapping;
}

}  // namespace tilo
