// The line banner's layout on top of the native view: an "AD" badge, the headline, a thin
// divider and a call-to-action pill in one horizontal stack, centred in the view and
// never closer than 20 points to either side, with an invisible full-size button as the
// platform's call-to-action view. The host gives the view its size; loading, refresh,
// visibility and callbacks are those of TiloAdNativeView. Hosts use
// TiloAdLineBannerView, which also fills the line's own views.
//
// Main thread only.
#pragma once

#include <memory>

#include "Tilo/views/PaddingLabel.h"
#include "Tilo/views/TiloAdNativeView.h"
#include "Tilo/views/TiloLineNativeAdConfiguration.h"
#include "platform/ui/UIStackView.h"

namespace tilo {

class TILO_EXPORT TemplateAdLineBannerView : public TiloAdNativeView {
 public:
  TemplateAdLineBannerView(TiloAdUnit unit, bool autoLoad,
                           std::shared_ptr<TiloServiceProtocol> service);
  const char* className() const override { return "TemplateAdLineBannerView"; }
  void initializeView() override;

  const std::shared_ptr<TiloLineNativeAdConfiguration>& configuration() const {
    return configuration_;
  }
  // Applies the configuration at once (null keeps the current one).
  void setConfiguration(std::shared_ptr<TiloLineNativeAdConfiguration> configuration);

  // Made on first use, with the configuration in force then.
  const std::shared_ptr<platform::UIButton>& adMarkButton();
  const std::shared_ptr<platform::UILabel>& internalTitleLabel();
  const std::shared_ptr<PaddingLabel>& fakeCTALabel();
  const std::shared_ptr<platform::UIButton>& internalCallToActionButton() const {
    return internalCallToActionButton_;
  }
  const std::shared_ptr<platform::UIView>& dividerView() const { return dividerView_; }
  const std::shared_ptr<platform::UIStackView>& textStackView() const { return textStackView_; }

 private:
  void layout();
  void applyConfiguration();

  std::shared_ptr<TiloLineNativeAdConfiguration> configuration_;
  std::shared_ptr<platform::UIButton> adMarkButton_;
  std::shared_ptr<platform::UILabel> internalTitleLabel_;
  std::shared_ptr<platform::UIButton> internalCallToActionButton_;
  std::shared_ptr<platform::UIView> dividerView_;
  std::shared_ptr<PaddingLabel> fakeCTALabel_;
  std::shared_ptr<platform::UIStackView> textStackView_;
};

}  // namespace tilo
