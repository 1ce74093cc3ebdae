#include "tools/render/RenderDocument.h"

#include <cmath>
#include <map>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIStackView.h"
#include "platform/ui/ViewRenderer.h"
#include "tools/render/DocumentFields.h"
#include "tools/render/ViewProperties.h"

namespace tilo::render {

using namespace tilo::platform;

namespace {

constexpr std::uintmax_t kMaxFileBytes = 16u << 20;

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
