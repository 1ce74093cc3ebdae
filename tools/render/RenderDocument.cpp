#include "tools/render/RenderDocument.h"

#include <cmath>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <vector>

#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImage.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIStackView.h"
#include "platform/ui/UIVisualEffectView.h"
#include "platform/ui/ViewRenderer.h"

namespace tilo::render {

using namespace tilo::platform;

namespace {

constexpr std::uintmax_t kMaxFileBytes = 16u << 20;
constexpr std::uintmax_t kMaxImageBytes = 32u << 20;

[[noreturn]] void fail(const std::string& where, const std::string& problem) {
  throw DocumentError(where + ": " + problem);
}

const char* typeName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a boolean";
    case Json::value_t::discarded:
      return "nothing";
    default:
      return "a number";
  }
}

// One JSON object whose keys are checked against what is allowed.
class Fields {
 public:
  Fields(const Json& object, std::string where) : object_(object), where_(std::move(where)) {
    if (!object_.is_object())
      fail(where_, std::string("expected an object, got ") + typeName(object_));
  }

  const std::string& where() const { return where_; }
  std::string at(const std::string& key) const { return where_ + "." + key; }
  bool has(const std::string& key) {
    used_.insert(key);
    return object_.contains(key);
  }
  const Json& get(const std::string& key) {
    used_.insert(key);
    if (!object_.contains(key)) fail(at(key), "missing");
    return object_.at(key);
  }
  // Every key must have been asked for.
  void rejectUnknown(const std::string& what) const {
    for (const auto& item : object_.items()) {
      if (!used_.count(item.key())) {
        fail(where_, "unknown key \"" + item.key() + "\"" + (what.empty() ? "" : " for " + what));
      }
    }
  }

  double number(const std::string& key) {
    const Json& value = get(key);
    if (!value.is_number()) fail(at(key), std::string("expected a number, got ") + typeName(value));
    double d = value.get<double>();
    if (!std::isfinite(d)) fail(at(key), "expected a finite number");
    return d;
  }
  double number(const std::string& key, double fallback) {
    return has(key) ? number(key) : fallback;
  }
  int integer(const std::string& key, int fallback) {
    if (!has(key)) return fallback;
    const Json& value = get(key);
    if (!value.is_number_integer()) {
      fail(at(key), std::string("expected an integer, got ") + typeName(value));
    }
    auto i = value.get<std::int64_t>();
    if (i < -1000000 || i > 1000000) fail(at(key), "integer out of range");
    return static_cast<int>(i);
  }
  bool boolean(const std::string& key) {
    const Json& value = get(key);
    if (!value.is_boolean())
      fail(at(key), std::string("expected true or false, got ") + typeName(value));
    return value.get<bool>();
  }
  std::string string(const std::string& key) {
    const Json& value = get(key);
    if (!value.is_string()) fail(at(key), std::string("expected a string, got ") + typeName(value));
    return value.get<std::string>();
  }
  std::vector<double> numbers(const std::string& key, std::size_t count) {
    const Json& value = get(key);
    if (!value.is_array() || value.size() != count) {
      fail(at(key), "expected an array of " + std::to_string(count) + " numbers");
    }
    std::vector<double> out;
    for (std::size_t i = 0; i < count; ++i) {
      if (!value[i].is_number() || !std::isfinite(value[i].get<double>())) {
        fail(at(key) + "[" + std::to_string(i) + "]", "expected a finite number");
      }
      out.push_back(value[i].get<double>());
    }
    return out;
  }
  UIColor color(const std::string& key) {
    std::string text = string(key);
    auto color = UIColor::fromHex(text);
    if (!color || text.empty() || text[0] != '#') {
      fail(at(key), "expected a colour as \"#RRGGBB\" or \"#RRGGBBAA\", got \"" + text + "\"");
    }
    return *color;
  }
  template <class Enum>
  Enum choice(const std::string& key, const std::vector<std::pair<const char*, Enum>>& table) {
    std::string text = string(key);
    std::string names;
    for (const auto& [name, value] : table) {
      if (text == name) return value;
      names += names.empty() ? "" : ", ";
      names += name;
    }
    fail(at(key), "\"" + text + "\" is not one of " + names);
  }

 private:
  const Json& object_;
  std::string where_;
  std::set<std::string> used_;
};

std::string readFile(const std::filesystem::path& path, std::uintmax_t limit,
                     const std::string& what) {
  std::error_code error;
  auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status))
    throw DocumentError(what + ": no file " + path.string());
  if (!std::filesystem::is_regular_file(status)) {
    throw DocumentError(what + ": " + path.string() + " is not a regular file");
  }
  auto size = std::filesystem::file_size(path, error);
  if (error) throw DocumentError(what + ": cannot read " + path.string());
  if (size > limit) {
    throw DocumentError(what + ": " + path.string() + " is larger than " +
                        std::to_string(limit >> 20) + " MB");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw DocumentError(what + ": cannot open " + path.string());
  std::ostringstream content;
  content << in.rdbuf();
  std::string bytes = content.str();
  if (bytes.size() > limit) throw DocumentError(what + ": " + path.string() + " grew while read");
  return bytes;
}

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

UIEdgeInsets insets(Fields& fields, const std::string& key) {
  auto v = fields.numbers(key, 4);
  return {v[0], v[1], v[2], v[3]};
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

const std::vector<std::pair<const char*, NSLayoutAttribute>> kAttributes = {
    {"left", NSLayoutAttribute::left},       {"right", NSLayoutAttribute::right},
    {"top", NSLayoutAttribute::top},         {"bottom", NSLayoutAttribute::bottom},
    {"leading", NSLayoutAttribute::leading}, {"trailing", NSLayoutAttribute::trailing},
    {"width", NSLayoutAttribute::width},     {"height", NSLayoutAttribute::height},
    {"centerX", NSLayoutAttribute::centerX}, {"centerY", NSLayoutAttribute::centerY},
};

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

}  // namespace

std::shared_ptr<UIView> RenderDocument::view(const std::string& id) const {
  auto found = views_.find(id);
  return found == views_.end() ? nullptr : found->second;
}

RenderDocument RenderDocument::load(const std::filesystem::path& path) {
  std::string text = readFile(path, kMaxFileBytes, "file");
  Json json;
  try {
    json = parseJson(text);
  } catch (const DecodingError& error) {
    throw DocumentError(error.what());
  } catch (const Json::exception& error) {  // e.g. a number too large for a double
    throw DocumentError(std::string("invalid JSON: ") + error.what());
  }
  return build(json, path.parent_path());
}

RenderDocument RenderDocument::build(const Json& json, const std::filesystem::path& base) {
  RenderDocument document;
  Fields top(json, "document");

  if (!top.has("window")) fail("document", "missing key \"window\"");
  Fields window(top.get("window"), "window");
  double width = window.number("width"), height = window.number("height");
  if (width <= 0 || height <= 0 || width > 10000 || height > 10000) {
    fail("window", "width and height must be above 0 and at most 10000 points");
  }
  double scale = window.number("scale", 1);
  if (scale != 1 && scale != 2 && scale != 3) fail(window.at("scale"), "expected 1, 2 or 3");
  if (ViewRenderer::pixels(width, scale) > ViewRenderer::kMaxPixelDimension ||
      ViewRenderer::pixels(height, scale) > ViewRenderer::kMaxPixelDimension) {
    fail("window", "at most " + std::to_string(ViewRenderer::kMaxPixelDimension) +
                       " pixels a side (points × scale)");
  }
  UIEdgeInsets safe;
  if (window.has("safeArea")) {
    safe = insets(window, "safeArea");
    if (safe.top < 0 || safe.left < 0 || safe.bottom < 0 || safe.right < 0 ||
        safe.vertical() > height || safe.horizontal() > width) {
      fail(window.at("safeArea"), "insets must not be negative and must fit the window");
    }
  }
  document.window_ = UIWindow::create({width, height}, scale, safe);
  if (window.has("backgroundColor")) {
    document.window_->setBackgroundColor(window.color("backgroundColor"));
  }
  if (window.has("appearance")) {
    document.window_->setAppearance(window.choice(
        "appearance",
        std::vector<std::pair<const char*, UIUserInterfaceStyle>>{
            {"light", UIUserInterfaceStyle::light}, {"dark", UIUserInterfaceStyle::dark}}));
  }
  window.rejectUnknown("the window");

  if (top.has("views")) {
    const Json& views = top.get("views");
    if (!views.is_array()) fail("views", "expected an array");
    if (views.size() + 1 > UIView::kMaxLayoutViews) {
      fail("views", std::to_string(views.size()) +
                        " views and the window, more than the limit of " +
                        std::to_string(UIView::kMaxLayoutViews));
    }
    // Views from the window down to each view, both included.
    std::map<std::string, std::size_t> levels{{"window", 1}};
    for (std::size_t i = 0; i < views.size(); ++i) {
      std::string where = "views[" + std::to_string(i) + "]";
      Fields fields(views[i], where);
      std::string id = fields.string("id");
      if (id.empty() || id == "window" || id == "safeArea" || id.find('.') != std::string::npos) {
        fail(fields.at("id"), "\"" + id + "\" cannot name a view (empty, reserved or with a dot)");
      }
      if (document.views_.count(id)) fail(fields.at("id"), "\"" + id + "\" is used twice");
      Fields named(views[i], where + " (\"" + id + "\")");
      named.has("id");
      std::string className = named.string("class");
      std::string parentId = named.string("parent");
      std::shared_ptr<UIView> parent = parentId == "window"
                                           ? std::static_pointer_cast<UIView>(document.window_)
                                           : document.view(parentId);
      if (!parent) {
        fail(named.at("parent"),
             "\"" + parentId + "\" is neither \"window\" nor a view listed before");
      }
      const std::size_t level = levels.at(parentId) + 1;
      if (level > UIView::kMaxTreeDepth) {
        fail(named.at("parent"), "nested " + std::to_string(level) +
                                     " views deep (the window included), more than the limit of " +
                                     std::to_string(UIView::kMaxTreeDepth));
      }
      levels[id] = level;
      auto view = makeView(className, named);
      view->setAccessibilityIdentifier(id);
      applyCommon(*view, named);
      auto* stack = dynamic_cast<UIStackView*>(parent.get());
      bool arranged = stack != nullptr;
      if (named.has("arranged")) {
        arranged = named.boolean("arranged");
        if (arranged && !stack) fail(named.at("arranged"), "the parent is not a UIStackView");
      }
      if (auto* label = dynamic_cast<UILabel*>(view.get())) applyLabel(*label, named);
      if (auto* button = dynamic_cast<UIButton*>(view.get())) applyButton(*button, named, base);
      if (auto* image = dynamic_cast<UIImageView*>(view.get())) applyImageView(*image, named, base);
      if (auto* stackView = dynamic_cast<UIStackView*>(view.get())) applyStack(*stackView, named);
      named.rejectUnknown("a " + className);
      if (arranged) {
        stack->addArrangedSubview(view);
      } else {
        parent->addSubview(view);
      }
      document.views_[id] = view;
    }
  }

  // Custom spacings name views that must exist: read them after the views.
  if (top.has("views")) {
    const Json& views = top.get("views");
    for (std::size_t i = 0; i < views.size(); ++i) {
      if (!views[i].contains("customSpacing")) continue;
      std::string id = views[i]["id"].get<std::string>();
      auto* stack = dynamic_cast<UIStackView*>(document.view(id).get());
      std::string where = "views[" + std::to_string(i) + "] (\"" + id + "\").customSpacing";
      if (!stack) fail(where, "only a UIStackView has custom spacing");
      const Json& spacing = views[i]["customSpacing"];
      if (!spacing.is_object()) fail(where, "expected an object of view id to spacing");
      for (const auto& item : spacing.items()) {
        auto after = document.view(item.key());
        if (!after || after->superview().get() != stack) {
          fail(where, "\"" + item.key() + "\" is not one of the stack's views");
        }
        if (!item.value().is_number() || !std::isfinite(item.value().get<double>())) {
          fail(where + "." + item.key(), "expected a finite number");
        }
        stack->setCustomSpacing(item.value().get<double>(), after.get());
      }
    }
  }

  if (top.has("constraints")) {
    const Json& constraints = top.get("constraints");
    if (!constraints.is_array()) fail("constraints", "expected an array");
    if (constraints.size() > UIView::kMaxLayoutConstraints) {
      fail("constraints", std::to_string(constraints.size()) +
                              " constraints, more than the limit of " +
                              std::to_string(UIView::kMaxLayoutConstraints));
    }
    for (std::size_t i = 0; i < constraints.size(); ++i) {
      Fields fields(constraints[i], "constraints[" + std::to_string(i) + "]");
      auto anchor = [&](const std::string& key) {
        std::string text = fields.string(key);
        auto dot = text.rfind('.');
        if (dot == std::string::npos)
          fail(fields.at(key), "expected \"id.attribute\", got \"" + text + "\"");
        std::string itemName = text.substr(0, dot), attributeName = text.substr(dot + 1);
        NSLayoutAttribute attribute = NSLayoutAttribute::notAnAttribute;
        for (const auto& [name, value] : kAttributes) {
          if (attributeName == name) attribute = value;
        }
        if (attribute == NSLayoutAttribute::notAnAttribute) {
          fail(fields.at(key), "unknown attribute \"" + attributeName + "\"");
        }
        std::shared_ptr<LayoutItem> item;
        bool guide = itemName == "safeArea" || itemName.ends_with(".safeArea");
        std::string viewName = itemName == "safeArea" ? "window"
                               : guide                ? itemName.substr(0, itemName.size() - 9)
                                                      : itemName;
        std::shared_ptr<UIView> view = viewName == "window"
                                           ? std::static_pointer_cast<UIView>(document.window_)
                                           : document.view(viewName);
        if (!view) fail(fields.at(key), "no view \"" + viewName + "\"");
        item = guide ? std::shared_ptr<LayoutItem>(view->safeAreaLayoutGuide()) : view;
        return std::make_pair(item, attribute);
      };
      auto [first, firstAttribute] = anchor("first");
      NSLayoutRelation relation = NSLayoutRelation::equal;
      if (fields.has("relation")) {
        relation = fields.choice("relation", std::vector<std::pair<const char*, NSLayoutRelation>>{
                                                 {"==", NSLayoutRelation::equal},
                                                 {">=", NSLayoutRelation::greaterThanOrEqual},
                                                 {"<=", NSLayoutRelation::lessThanOrEqual}});
      }
      std::shared_ptr<LayoutItem> second;
      NSLayoutAttribute secondAttribute = NSLayoutAttribute::notAnAttribute;
      if (fields.has("second") && !fields.get("second").is_null()) {
        std::tie(second, secondAttribute) = anchor("second");
      }
      double multiplier = fields.number("multiplier", 1);
      double constant = fields.number("constant", 0);
      double priority = fields.number("priority", 1000);
      if (priority < 1 || priority > 1000)
        fail(fields.at("priority"), "priorities run from 1 to 1000");
      std::string identifier = fields.has("identifier") ? fields.string("identifier") : "";
      fields.rejectUnknown("a constraint");
      auto axis = [](NSLayoutAttribute a) {
        switch (a) {
          case NSLayoutAttribute::width:
          case NSLayoutAttribute::height:
            return 2;
          case NSLayoutAttribute::top:
          case NSLayoutAttribute::bottom:
          case NSLayoutAttribute::centerY:
            return 1;
          default:
            return 0;
        }
      };
      if (second ? axis(firstAttribute) != axis(secondAttribute) : axis(firstAttribute) != 2) {
        fail(fields.where(), second ? "the two attributes are not of the same kind (x, y or size)"
                                    : "only width and height can equal a constant");
      }
      auto constraint = NSLayoutConstraint::create(first, firstAttribute, relation, second,
                                                   secondAttribute, multiplier, constant);
      constraint->setPriority(static_cast<UILayoutPriority>(priority));
      constraint->setIdentifier(identifier);
      constraint->setActive(true);
    }
  }
  top.rejectUnknown("the document");
  return document;
}

const char* RenderDocument::helpText() {
  return R"(usage: tilo-render FILE [--png OUT.png] [--dump OUT.json|-]

Lays out the view tree described in FILE (JSON) with Auto Layout, then writes the
picture (PNG at the window's scale) and/or the layout dump (JSON; "-" for standard
output). Constraints that had to be dropped are reported on standard error. Exit
status: 0 done, 1 the file is wrong (the message names the place), 2 bad arguments.

The file:
{
  "window": {"width": 390, "height": 844,          points, required, above 0
             "scale": 3,                           1, 2 or 3 (default 1)
             "safeArea": [47, 0, 34, 0],           top, left, bottom, right (default 0s)
             "backgroundColor": "#FFFFFF",         "#RRGGBB" or "#RRGGBBAA" (default none)
             "appearance": "light"},               "light" or "dark" (default light)
  "views": [                                       in order; a parent comes before its children
    {"id": "card", "class": "UIView", "parent": "window", ...properties}
  ],
  "constraints": [
    {"first": "card.left", "relation": "==", "second": "window.left",
     "multiplier": 1, "constant": 20, "priority": 1000, "identifier": "card-left"}
  ]
}

Classes: UIView, UILabel, UIButton, UIImageView, UIStackView, UIVisualEffectView.
"parent" is "window" or the id of a view listed before. A view without "frame" is laid
out by constraints; with "frame": [x, y, width, height] it keeps that frame (as
translatesAutoresizingMaskIntoConstraints, which can also be given explicitly).
Children of a UIStackView are its arranged subviews unless "arranged": false.

Properties of every view: frame, translatesAutoresizingMaskIntoConstraints,
  backgroundColor, alpha (0…1), hidden, cornerRadius, borderWidth, borderColor,
  clipsToBounds, userInteractionEnabled, tintColor,
  contentHuggingPriority and contentCompressionResistancePriority ([horizontal, vertical]).
UILabel: text, textColor, font ({"size": 17, "weight": "bold"}; weights ultraLight,
  thin, light, regular, medium, semibold, bold, heavy, black, or the platform's numbers),
  numberOfLines (0 = unlimited), textAlignment (left, center, right, justified, natural),
  lineBreakMode (byWordWrapping, byCharWrapping, byClipping, byTruncatingHead,
  byTruncatingTail, byTruncatingMiddle), adjustsFontSizeToFitWidth, minimumScaleFactor,
  preferredMaxLayoutWidth.
UIButton: title, titleColor, font, image, contentEdgeInsets, imageEdgeInsets,
  titleEdgeInsets ([top, left, bottom, right]), enabled.
UIImageView: image, contentMode (scaleToFill, scaleAspectFit, scaleAspectFill, center).
  An image is "system:xmark", a PNG or JPEG path (relative to FILE's folder), or
  {"width": 64, "height": 64, "colors": ["#FF3B30", "#007AFF"], "caption": "Ad",
   "scale": 2} for a generated gradient.
UIStackView: axis (horizontal, vertical), alignment (fill, leading, top, center,
  trailing, bottom, firstBaseline, lastBaseline), distribution (fill, fillEqually,
  fillProportionally, equalSpacing, equalCentering), spacing,
  customSpacing ({"<id of an arranged view>": 10}: the spacing after that view).
UIVisualEffectView: blurStyle (the platform's number, or a name such as
  systemUltraThinMaterial).

Constraints: "first" and "second" are "<item>.<attribute>"; the item is a view id,
"window", "safeArea" (the window's safe-area guide) or "<id>.safeArea"; attributes are
left, right, top, bottom, leading, trailing, width, height, centerX, centerY.
"second" null (the default) relates width or height to the constant. Defaults:
relation "==", multiplier 1, constant 0, priority 1000 (required; 1…1000).

Any unknown key, wrong type or bad value is an error that names its place.

Limits (beyond them the file is refused with exit status 1): 2048 views counting the
window and the views of buttons, 8192 constraints counting those of stack views, 256
views deep counting the window, and 16384 pixels a side.
)";
}

}  // namespace tilo::render
