#include "platform/ui/LayoutDump.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/UIButton.h"
#include "platform/ui/UIImageView.h"
#include "platform/ui/UILabel.h"
#include "platform/ui/UIStackView.h"
#include "platform/ui/UIVisualEffectView.h"
#include "platform/ui/UIWindow.h"

namespace tilo::platform {
namespace {

double rounded(double value) {
  double r = std::round(value * 1000) / 1000;
  return r == 0 ? 0.0 : r;
}

Json number(double value) {
  double r = rounded(value);
  if (r == std::floor(r) && std::fabs(r) < 1e15) return static_cast<std::int64_t>(r);
  return r;
}

Json fontJson(const UIFont& font) {
  return Json{{"size", number(font.pointSize())}, {"weight", UIFont::name(font.weight())}};
}

Json imageJson(const UIImage& image) {
  if (image.isSymbol()) return image.symbolName();
  return Json::array({number(image.size().width), number(image.size().height)});
}

const char* alignmentName(NSTextAlignment alignment) {
  switch (alignment) {
    case NSTextAlignment::left:
      return "left";
    case NSTextAlignment::center:
      return "center";
    case NSTextAlignment::right:
      return "right";
    case NSTextAlignment::justified:
      return "justified";
    case NSTextAlignment::natural:
      break;
  }
  return "natural";
}

void appendChildren(const UIView& view, UIUserInterfaceStyle style, Json& children);

Json viewJson(const UIView& view, UIUserInterfaceStyle style) {
  Json json = Json::object();
  json["class"] = view.className();
  json["id"] =
      view.accessibilityIdentifier().empty() ? Json(nullptr) : Json(view.accessibilityIdentifier());
  CGRect frame = view.convertRect(view.bounds(), nullptr);
  json["frame"] = Json::array(
      {number(frame.x()), number(frame.y()), number(frame.width()), number(frame.height())});
  json["hidden"] = view.isHidden();
  json["alpha"] = number(view.alpha());
  if (view.backgroundColor()) json["backgroundColor"] = view.backgroundColor()->hexString(style);
  const CALayer& layer = view.layer();
  if (layer.cornerRadius() > 0) json["cornerRadius"] = number(layer.cornerRadius());
  if (layer.borderWidth() > 0) {
    json["borderWidth"] = number(layer.borderWidth());
    json["borderColor"] = layer.borderColor().hexString(style);
  }
  if (view.clipsToBounds()) json["clipsToBounds"] = true;
  if (!view.isUserInteractionEnabled()) json["userInteractionEnabled"] = false;
  if (view.ownTintColor()) json["tintColor"] = view.ownTintColor()->hexString(style);

  if (const auto* label = dynamic_cast<const UILabel*>(&view)) {
    json["text"] = label->text();
    json["font"] = fontJson(label->font());
    json["textColor"] = label->textColor().hexString(style);
    json["numberOfLines"] = label->numberOfLines();
    json["textAlignment"] = alignmentName(label->textAlignment());
    CGRect textRect = label->textRect(label->bounds());
    double drawn = label->fontSizeForWidth(textRect.width());
    if (drawn != label->font().pointSize()) json["drawnFontSize"] = number(drawn);
    if (label->isTruncatedInBounds(label->bounds())) json["truncated"] = true;
  } else if (const auto* button = dynamic_cast<const UIButton*>(&view)) {
    json["text"] = button->currentTitle();
    json["font"] = fontJson(button->titleLabel()->font());
    json["textColor"] = button->titleColorForState(button->state()).hexString(style);
    if (auto image = button->currentImage()) json["image"] = imageJson(*image);
    if (!button->isEnabled()) json["enabled"] = false;
  } else if (const auto* imageView = dynamic_cast<const UIImageView*>(&view)) {
    json["image"] = imageView->image() ? imageJson(*imageView->image()) : Json(nullptr);
  } else if (const auto* stack = dynamic_cast<const UIStackView*>(&view)) {
    json["axis"] = stack->axis() == UILayoutConstraintAxis::horizontal ? "horizontal" : "vertical";
    json["spacing"] = number(stack->spacing());
  } else if (const auto* effect = dynamic_cast<const UIVisualEffectView*>(&view)) {
    json["blurStyle"] =
        effect->effect() ? Json(static_cast<int>(effect->effect()->style())) : Json(nullptr);
  }
  Json children = Json::array();
  appendChildren(view, style, children);
  json["children"] = std::move(children);
  return json;
}

// Private subviews are not listed, but what was added inside them (an effect view's
// content) is, as children of their owner.
void appendChildren(const UIView& view, UIUserInterfaceStyle style, Json& children) {
  for (const auto& subview : view.subviews()) {
    if (subview->isPrivateSubview()) {
      appendChildren(*subview, style, children);
    } else {
      children.push_back(viewJson(*subview, style));
    }
  }
}

}  // namespace

Json layoutDump(UIView& view) {
  view.layoutIfNeeded();
  UIUserInterfaceStyle style = view.effectiveAppearance();
  Json json = Json::object();
  auto window = view.window();
  if (window) {
    const UIEdgeInsets& safe = window->windowSafeAreaInsets();
    Json windowJson = Json::object();
    windowJson["width"] = number(window->size().width);
    windowJson["height"] = number(window->size().height);
    windowJson["scale"] = number(window->scale());
    windowJson["safeArea"] =
        Json::array({number(safe.top), number(safe.left), number(safe.bottom), number(safe.right)});
    windowJson["appearance"] = style == UIUserInterfaceStyle::dark ? "dark" : "light";
    windowJson["backgroundColor"] = window->backgroundColor()
                                        ? Json(window->backgroundColor()->hexString(style))
                                        : Json(nullptr);
    json["window"] = std::move(windowJson);
  } else {
    json["window"] = nullptr;
  }
  Json views = Json::array();
  if (window.get() == &view) {
    appendChildren(view, style, views);
  } else {
    views.push_back(viewJson(view, style));
  }
  json["views"] = std::move(views);
  Json dropped = Json::array();
  for (const auto& constraint : view.droppedConstraints())
    dropped.push_back(constraint->description());
  json["droppedConstraints"] = std::move(dropped);
  return json;
}

namespace {

// Objects one key per line; arrays of plain values (frames, insets) on one line.
void write(const Json& value, int indent, std::string& out) {
  auto compact = [](const Json& v) {
    return v.dump(-1, ' ', false, Json::error_handler_t::replace);
  };
  bool flat = value.is_array() && std::none_of(value.begin(), value.end(),
                                               [](const Json& v) { return v.is_structured(); });
  if (!value.is_structured() || flat || value.empty()) {
    if (flat) {
      out += "[";
      for (std::size_t i = 0; i < value.size(); ++i) out += (i ? ", " : "") + compact(value[i]);
      out += "]";
    } else {
      out += compact(value);
    }
    return;
  }
  std::string pad(std::size_t(indent + 2), ' ');
  bool object = value.is_object();
  out += object ? "{\n" : "[\n";
  std::size_t i = 0;
  for (auto it = value.begin(); it != value.end(); ++it, ++i) {
    out += pad;
    if (object) out += compact(Json(it.key())) + ": ";
    write(*it, indent + 2, out);
    out += i + 1 < value.size() ? ",\n" : "\n";
  }
  out += std::string(std::size_t(indent), ' ') + (object ? "}" : "]");
}

}  // namespace

std::string layoutDumpString(UIView& view) {
  std::string out;
  write(layoutDump(view), 0, out);
  return out;
}

}  // namespace tilo::platform
