#include "tools/render/ViewProperties.h"

#include <cmath>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIStackView.h"
#include "platform/ui/UIVisualEffectView.h"

namespace tilo::render {

using namespace tilo::platform;

const std::vector<std::pair<const char*, NSLayoutAttribute>> kAttributes = {
    {"left", NSLayoutAttribute::left},       {"right", NSLayoutAttribute::right},
    {"top", NSLayoutAttribute::top},         {"bottom", NSLayoutAttribute::bottom},
    {"leading", NSLayoutAttribute::leading}, {"trailing", NSLayoutAttribute::trailing},
    {"width", NSLayoutAttribute::width},     {"height", NSLayoutAttribute::height},
    {"centerX", NSLayoutAttribute::centerX}, {"centerY", NSLayoutAttribute::centerY},
};

UIEdgeInsets insets(Fields& fields, const std::string& key) {
  auto v = fields.numbers(key, 4);
  return {v[0], v[1], v[2], v[3]};
}

namespace {

constexpr std::uintmax_t kMaxImageBytes = 32u << 20;

UIFont font(Fields& owner, const std::string& key) {
  Fields fields(owner.get(key), owner.at(key));
  double size = fields.number("size");
  if (size <= 0 || size > 1000) fail(fields.at("size"), "expected a size above 0 and up to 1000");
  UIFontWeight weight = UIFontWeight::regular;
  if (fields.has("weight")) {
    const Json& value = fields.get("weight");
    if (value.is_string()) {
      auto named = UIFont::weightNamed(value.get<std::string>());
      if (!named) fail(fields.at("weight"), "unknown weight \"" + value.get<std::string>() + "\"");
      weight = *named;
    } else if (value.is_number() && std::isfinite(value.get<double>())) {
      weight = UIFont::weightNearest(value.get<double>());
    } else {
      fail(fields.at("weight"), "expected a weight name or a number");
    }
  }
  fields.rejectUnknown("a font");
  return UIFont::systemFont(size, weight);
}

std::string text(Fields& fields, const std::string& key) {
  std::string value = fields.string(key);
  std::size_t characters = 0;
  for (unsigned char c : value) characters += (c & 0xC0) != 0x80;
  if (characters > UILabel::maxTextLength) {
    fail(fields.at(key), std::to_string(characters) + " characters; at most " +
                             std::to_string(UILabel::maxTextLength));
  }
  return value;
}

std::shared_ptr<UIImage> image(Fields& fields, const std::string& key,
                               const std::filesystem::path& base) {
  const Json& value = fields.get(key);
  if (value.is_string()) {
    std::string name = value.get<std::string>();
    if (name.rfind("system:", 0) == 0) {
      auto symbol = UIImage::systemImageNamed(name.substr(7));
      if (!symbol) fail(fields.at(key), "no system image \"" + name.substr(7) + "\"");
      return symbol;
    }
    std::filesystem::path path = base / name;  // an absolute name replaces the base
    std::string bytes = readFile(path, kMaxImageBytes, fields.at(key));
    std::string error;
    auto decoded = UIImage::imageWithData(Bytes(bytes.begin(), bytes.end()), 1, &error);
    if (!decoded) fail(fields.at(key), path.string() + ": " + error);
    return decoded;
  }
  Fields generated(value, fields.at(key));
  double width = generated.number("width"), height = generated.number("height");
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) {
    fail(generated.where(), "a generated image needs a width and height above 0 and up to 4096");
  }
  UIColor top = UIColor::systemGrayColor(), bottom = top;
  if (generated.has("colors")) {
    const Json& colors = generated.get("colors");
    if (!colors.is_array() || colors.empty() || colors.size() > 2) {
      fail(generated.at("colors"), "expected one or two colours");
    }
    for (std::size_t i = 0; i < colors.size(); ++i) {
      auto parsed =
          colors[i].is_string() ? UIColor::fromHex(colors[i].get<std::string>()) : std::nullopt;
      if (!parsed)
        fail(generated.at("colors") + "[" + std::to_string(i) + "]", "expected \"#RRGGBB\"");
      (i == 0 ? top : bottom) = *parsed;
      if (colors.size() == 1) bottom = top;
    }
  }
  std::string caption = generated.has("caption") ? generated.string("caption") : "";
  double scale = generated.number("scale", 2);
  if (scale != 1 && scale != 2 && scale != 3) fail(generated.at("scale"), "expected 1, 2 or 3");
  generated.rejectUnknown("a generated image");
  return UIImage::generated({width, height}, top, bottom, caption, scale);
}

const std::vector<std::pair<const char*, NSTextAlignment>> kAlignments = {
    {"left", NSTextAlignment::left},       {"center", NSTextAlignment::center},
    {"right", NSTextAlignment::right},     {"justified", NSTextAlignment::justified},
    {"natural", NSTextAlignment::natural},
};

const std::vector<std::pair<const char*, NSLineBreakMode>> kLineBreaks = {
    {"byWordWrapping", NSLineBreakMode::byWordWrapping},
    {"byCharWrapping", NSLineBreakMode::byCharWrapping},
    {"byClipping", NSLineBreakMode::byClipping},
    {"byTruncatingHead", NSLineBreakMode::byTruncatingHead},
    {"byTruncatingTail", NSLineBreakMode::byTruncatingTail},
    {"byTruncatingMiddle", NSLineBreakMode::byTruncatingMiddle},
};

const std::vector<std::pair<const char*, UIViewContentMode>> kContentModes = {
    {"scaleToFill", UIViewContentMode::scaleToFill},
    {"scaleAspectFit", UIViewContentMode::scaleAspectFit},
    {"scaleAspectFill", UIViewContentMode::scaleAspectFill},
    {"center", UIViewContentMode::center},
};

const std::vector<std::pair<const char*, UIStackViewAlignment>> kStackAlignments = {
    {"fill", UIStackViewAlignment::fill},
    {"leading", UIStackViewAlignment::leading},
    {"top", UIStackViewAlignment::top},
    {"firstBaseline", UIStackViewAlignment::firstBaseline},
    {"center", UIStackViewAlignment::center},
    {"trailing", UIStackViewAlignment::trailing},
    {"bottom", UIStackViewAlignment::bottom},
    {"lastBaseline", UIStackViewAlignment::lastBaseline},
};

const std::vector<std::pair<const char*, UIStackViewDistribution>> kDistributions = {
    {"fill", UIStackViewDistribution::fill},
    {"fillEqually", UIStackViewDistribution::fillEqually},
    {"fillProportionally", UIStackViewDistribution::fillProportionally},
    {"equalSpacing", UIStackViewDistribution::equalSpacing},
    {"equalCentering", UIStackViewDistribution::equalCentering},
};

const std::vector<std::pair<const char*, UIBlurEffectStyle>> kBlurStyles = {
    {"extraLight", UIBlurEffectStyle::extraLight},
    {"light", UIBlurEffectStyle::light},
    {"dark", UIBlurEffectStyle::dark},
    {"regular", UIBlurEffectStyle::regular},
    {"prominent", UIBlurEffectStyle::prominent},
    {"systemUltraThinMaterial", UIBlurEffectStyle::systemUltraThinMaterial},
    {"systemThinMaterial", UIBlurEffectStyle::systemThinMaterial},
    {"systemMaterial", UIBlurEffectStyle::systemMaterial},
    {"systemThickMaterial", UIBlurEffectStyle::systemThickMaterial},
    {"systemChromeMaterial", UIBlurEffectStyle::systemChromeMaterial},
};

const std::vector<std::pair<const char*, UILayoutConstraintAxis>> kAxes = {
    {"horizontal", UILayoutConstraintAxis::horizontal},
    {"vertical", UILayoutConstraintAxis::vertical},
};

}  // namespace

std::shared_ptr<UIView> makeView(const std::string& className, Fields& fields) {
  if (className == "UIView") return UIView::create();
  if (className == "UILabel") return UILabel::create();
  if (className == "UIButton") return UIButton::create();
  if (className == "UIImageView") return UIImageView::create();
  if (className == "UIStackView") return UIStackView::create();
  if (className == "UIVisualEffectView") {
    UIBlurEffectStyle style = UIBlurEffectStyle::systemUltraThinMaterial;
    if (fields.has("blurStyle")) {
      const Json& value = fields.get("blurStyle");
      if (value.is_number_integer()) {
        int raw = value.get<int>();
        if (raw < 0 || raw > 20 || raw == 3)
          fail(fields.at("blurStyle"), "no blur style " + std::to_string(raw));
        style = static_cast<UIBlurEffectStyle>(raw);
      } else {
        style = fields.choice("blurStyle", kBlurStyles);
      }
    }
    return UIVisualEffectView::create(UIBlurEffect::effectWithStyle(style));
  }
  fail(fields.at("class"), "\"" + className +
                               "\" is not one of UIView, UILabel, UIButton, UIImageView, "
                               "UIStackView, UIVisualEffectView");
}

void applyCommon(UIView& view, Fields& fields) {
  if (fields.has("frame")) {
    auto f = fields.numbers("frame", 4);
    if (f[2] < 0 || f[3] < 0) fail(fields.at("frame"), "width and height must not be negative");
    view.setFrame({f[0], f[1], f[2], f[3]});
  }
  view.setTranslatesAutoresizingMaskIntoConstraints(fields.has("frame"));
  if (fields.has("translatesAutoresizingMaskIntoConstraints")) {
    view.setTranslatesAutoresizingMaskIntoConstraints(
        fields.boolean("translatesAutoresizingMaskIntoConstraints"));
  }
  if (fields.has("backgroundColor")) view.setBackgroundColor(fields.color("backgroundColor"));
  if (fields.has("alpha")) {
    double alpha = fields.number("alpha");
    if (alpha < 0 || alpha > 1) fail(fields.at("alpha"), "expected a number from 0 to 1");
    view.setAlpha(alpha);
  }
  if (fields.has("hidden")) view.setHidden(fields.boolean("hidden"));
  if (fields.has("cornerRadius")) view.layer().setCornerRadius(fields.number("cornerRadius"));
  if (fields.has("borderWidth")) view.layer().setBorderWidth(fields.number("borderWidth"));
  if (fields.has("borderColor")) view.layer().setBorderColor(fields.color("borderColor"));
  if (fields.has("clipsToBounds")) view.setClipsToBounds(fields.boolean("clipsToBounds"));
  if (fields.has("userInteractionEnabled")) {
    view.setUserInteractionEnabled(fields.boolean("userInteractionEnabled"));
  }
  if (fields.has("tintColor")) view.setTintColor(fields.color("tintColor"));
  auto priorities = [&](const std::string& key, auto setter) {
    if (!fields.has(key)) return;
    auto p = fields.numbers(key, 2);
    for (double value : p) {
      if (value < 1 || value > 1000) fail(fields.at(key), "priorities run from 1 to 1000");
    }
    setter(static_cast<UILayoutPriority>(p[0]), UILayoutConstraintAxis::horizontal);
    setter(static_cast<UILayoutPriority>(p[1]), UILayoutConstraintAxis::vertical);
  };
  priorities("contentHuggingPriority", [&](UILayoutPriority p, UILayoutConstraintAxis a) {
    view.setContentHuggingPriority(p, a);
  });
  priorities("contentCompressionResistancePriority",
             [&](UILayoutPriority p, UILayoutConstraintAxis a) {
               view.setContentCompressionResistancePriority(p, a);
             });
}

void applyLabel(UILabel& label, Fields& fields) {
  if (fields.has("text")) label.setText(text(fields, "text"));
  if (fields.has("textColor")) label.setTextColor(fields.color("textColor"));
  if (fields.has("font")) label.setFont(font(fields, "font"));
  if (fields.has("numberOfLines")) {
    int lines = fields.integer("numberOfLines", 1);
    if (lines < 0) fail(fields.at("numberOfLines"), "expected 0 (unlimited) or more");
    label.setNumberOfLines(lines);
  }
  if (fields.has("textAlignment"))
    label.setTextAlignment(fields.choice("textAlignment", kAlignments));
  if (fields.has("lineBreakMode"))
    label.setLineBreakMode(fields.choice("lineBreakMode", kLineBreaks));
  if (fields.has("adjustsFontSizeToFitWidth")) {
    label.setAdjustsFontSizeToFitWidth(fields.boolean("adjustsFontSizeToFitWidth"));
  }
  if (fields.has("minimumScaleFactor")) {
    double factor = fields.number("minimumScaleFactor");
    if (factor < 0 || factor > 1) fail(fields.at("minimumScaleFactor"), "expected 0 to 1");
    label.setMinimumScaleFactor(factor);
  }
  if (fields.has("preferredMaxLayoutWidth")) {
    label.setPreferredMaxLayoutWidth(fields.number("preferredMaxLayoutWidth"));
  }
}

void applyButton(UIButton& button, Fields& fields, const std::filesystem::path& base) {
  if (fields.has("title")) button.setTitle(text(fields, "title"), UIControlState::normal);
  if (fields.has("titleColor"))
    button.setTitleColor(fields.color("titleColor"), UIControlState::normal);
  if (fields.has("font")) button.titleLabel()->setFont(font(fields, "font"));
  if (fields.has("image")) button.setImage(image(fields, "image", base), UIControlState::normal);
  if (fields.has("contentEdgeInsets"))
    button.setContentEdgeInsets(insets(fields, "contentEdgeInsets"));
  if (fields.has("imageEdgeInsets")) button.setImageEdgeInsets(insets(fields, "imageEdgeInsets"));
  if (fields.has("titleEdgeInsets")) button.setTitleEdgeInsets(insets(fields, "titleEdgeInsets"));
  if (fields.has("enabled")) button.setEnabled(fields.boolean("enabled"));
}

void applyImageView(UIImageView& view, Fields& fields, const std::filesystem::path& base) {
  if (fields.has("image")) view.setImage(image(fields, "image", base));
  if (fields.has("contentMode")) view.setContentMode(fields.choice("contentMode", kContentModes));
}

void applyStack(UIStackView& stack, Fields& fields) {
  if (fields.has("axis")) stack.setAxis(fields.choice("axis", kAxes));
  if (fields.has("alignment")) stack.setAlignment(fields.choice("alignment", kStackAlignments));
  if (fields.has("distribution"))
    stack.setDistribution(fields.choice("distribution", kDistributions));
  if (fields.has("spacing")) stack.setSpacing(fields.number("spacing"));
  fields.has("customSpacing");  // read once every view exists
}

}  // namespace tilo::render
