// The templates' building blocks: colours written as hex text and the padded label.
#include <gtest/gtest.h>

#include "Tilo/views/HexColor.h"
#include "Tilo/views/PaddingLabel.h"
#include "platform/TestEnvironment.h"
#include "platform/ui/UILabel.h"

namespace tilo::test {
namespace {

using platform::RGBA;
using platform::UIUserInterfaceStyle;

RGBA rgba(std::string_view text) {
  return hexColor(text).resolved(UIUserInterfaceStyle::light);
}

TEST(HexColor, ReadsTheLow24BitsAfterTrimmingAndOneHash) {
  // 1. (The templates' own colours are drawn in the golden images.)
  // 2. White space and line breaks around it, lower case, no hash.
  EXPECT_EQ(rgba(" \n\tff8000\r\n"), (RGBA{1, 128 / 255.0, 0, 1}));
  // 3. Only one hash is skipped: a second one leaves no digits, black.
  EXPECT_EQ(rgba("##FFFFFF"), (RGBA{0, 0, 0, 1}));
  // 4. Eight digits are one number: its low 24 bits are the colour, alpha stays 1.
  EXPECT_EQ(rgba("#11223344"), (RGBA{0x22 / 255.0, 0x33 / 255.0, 0x44 / 255.0, 1}));
  // 5. Short numbers fill from blue upwards; reading stops at the first other character.
  EXPECT_EQ(rgba("#FF"), (RGBA{0, 0, 1, 1}));
  EXPECT_EQ(rgba("#12zz"), (RGBA{0, 0, 0x12 / 255.0, 1}));
  // 6. Hostile text: empty, NUL inside, a number past 64 bits.
  EXPECT_EQ(rgba(""), (RGBA{0, 0, 0, 1}));
  EXPECT_EQ(rgba(std::string_view("#AB\0CD", 6)), (RGBA{0, 0, 0xAB / 255.0, 1}));
  EXPECT_EQ(rgba("#" + std::string(40, '7')), (RGBA{1, 1, 1, 1}));
}

TEST(PaddingLabel, AddsItsInsetsToSizes) {
  platform::TestEnvironment env;
  auto plain = platform::UILabel::create();
  auto padded = PaddingLabel::create();
  for (auto* label : {plain.get(), static_cast<platform::UILabel*>(padded.get())}) {
    label->setText("Install");
    label->setFont(platform::UIFont::systemFont(12, platform::UIFontWeight::semibold));
  }
  // 1. Intrinsic size and sizeThatFits grow by left + right and top + bottom.
  const auto natural = plain->intrinsicContentSize();
  ASSERT_GT(natural.width, 0);
  EXPECT_EQ(padded->intrinsicContentSize(),
            (platform::CGSize{natural.width + 16, natural.height + 8}));
  EXPECT_EQ(padded->sizeThatFits({200, 100}),
            (platform::CGSize{plain->sizeThatFits({200, 100}).width + 16,
                              plain->sizeThatFits({200, 100}).height + 8}));
  // 2. Other insets count too, and an empty label is just its insets. (That the text is drawn
  //    inside them: the line banner's golden image.)
  padded->setTextInsets({1, 2, 3, 4});
  EXPECT_EQ(padded->intrinsicContentSize(),
            (platform::CGSize{natural.width + 6, natural.height + 4}));
  padded->setText("");
  EXPECT_EQ(padded->intrinsicContentSize(), (platform::CGSize{6, 4}));
}

}  // namespace
}  // namespace tilo::test
