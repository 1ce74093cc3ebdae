// A label that keeps a margin around its text: the call-to-action pill of the line
// banner. The margin counts in its natural size and in sizeThatFits, and the text is
// drawn (and shrunk to fit) inside it.
//
//   auto pill = platform::makeView<PaddingLabel>();
//   pill->setText("Install");     // intrinsic size: the text's plus 16 × 8
#pragma once

#include <memory>

#include "Tilo/base/TiloExport.h"
#include "platform/ui/UIEdgeInsets.h"
#include "platform/ui/UILabel.h"

namespace tilo {

class TILO_EXPORT PaddingLabel : public platform::UILabel {
 public:
  static std::shared_ptr<PaddingLabel> create() { return platform::makeView<PaddingLabel>(); }
  explicit PaddingLabel(const platform::CGRect& frame = {}) : UILabel(frame) {}
  const char* className() const override { return "PaddingLabel"; }

  const platform::UIEdgeInsets& textInsets() const { return textInsets_; }
  void setTextInsets(const platform::UIEdgeInsets& insets);

  void drawTextInRect(const platform::DrawContext& context,
                      const platform::CGRect& rect) const override;
  platform::CGRect hashDrawnContent(platform::ContentHash& hash,
                                    platform::UIUserInterfaceStyle appearance) const override;
  platform::CGSize intrinsicContentSize() const override;
  platform::CGSize sizeThatFits(const platform::CGSize& size) const override;

 private:
  platform::UIEdgeInsets textInsets_{4, 8, 4, 8};
};

}  // namespace tilo
