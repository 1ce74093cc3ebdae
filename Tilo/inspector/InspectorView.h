// The ad inspector's screen: a header with its close button, a tab per page, the page's
// sections in a scroll view, and a strip under them where a test banner or native ad
// shows. It only draws and reports taps; AdInspector decides what they do.
//
//   auto view = InspectorView::create();
//   view->onSelectPage = [](std::size_t page) { ... };
//   view->show(0, inspectorPages()[0].build(snapshot), shownPages(snapshot));
//
// Colours are the system's adaptive ones, so the window's appearance (light or dark)
// carries through; sizes are in points, so any scale draws the same layout. Accessibility
// identifiers name what tests and hosts tap: "inspector.close", "inspector.tab.<page>",
// "inspector.test.<unit>", "inspector.preview".
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Tilo/inspector/InspectorPages.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIScrollView.h"
#include "platform/ui/UIStackView.h"
#include "platform/ui/UIView.h"

namespace tilo::inspector {

class InspectorView final : public platform::UIView {
 public:
  static std::shared_ptr<InspectorView> create();
  void initializeView() override;
  const char* className() const override { return "InspectorView"; }

  std::function<void()> onClose;
  std::function<void(std::size_t page)> onSelectPage;
  std::function<void(const std::string& adUnitId)> onTestAd;

  // Draws `content` as the selected page's, with a tab for each page `shown` (one flag per
  // page of inspectorPages()); the scroll position stays when the page does.
  void show(std::size_t selectedPage, const InspectorPageContent& content,
            const std::vector<bool>& shown);
  // A test ad under the page, centred at `size` points (a width of 0 spans the screen),
  // with its caption; null removes it.
  void setPreview(std::shared_ptr<platform::UIView> ad, platform::CGSize size,
                  const std::string& caption);
  const std::shared_ptr<platform::UIScrollView>& scrollView() const { return scroll_; }

 private:
  std::shared_ptr<platform::UIView> makeSection(const InspectorSection& section);
  std::shared_ptr<platform::UIView> makeRow(const InspectorRow& row);

  std::vector<std::shared_ptr<platform::UIButton>> tabs_;
  std::shared_ptr<platform::UIScrollView> scroll_;
  std::shared_ptr<platform::UIStackView> sections_;
  std::shared_ptr<platform::UIView> preview_;
  std::shared_ptr<platform::UILabel> previewCaption_;
  std::shared_ptr<platform::NSLayoutConstraint> previewHeight_;
  std::shared_ptr<platform::UIView> previewAd_;
  std::size_t selected_ = static_cast<std::size_t>(-1);
};

}  // namespace tilo::inspector
