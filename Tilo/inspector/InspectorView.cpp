#include "Tilo/inspector/InspectorView.h"

#include "platform/ui/UIColor.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UIFont.h"
#include "platform/ui/UIWindow.h"

namespace tilo::inspector {
namespace {

using platform::NSLayoutConstraint;
using platform::UIButton;
using platform::UIColor;
using platform::UIControl;
using platform::UIFont;
using platform::UIFontWeight;
using platform::UILabel;
using platform::UIView;

constexpr double kMargin = 16;

UIColor cardColor() {
  return UIColor::dynamic({1, 1, 1, 1}, {0x1C / 255.0, 0x1C / 255.0, 0x1E / 255.0, 1});
}

UIColor separatorColor() {
  return UIColor::dynamic({0xC6 / 255.0, 0xC6 / 255.0, 0xC8 / 255.0, 1},
                          {0x38 / 255.0, 0x38 / 255.0, 0x3A / 255.0, 1});
}

UIColor toneColor(RowTone tone) {
  switch (tone) {
    case RowTone::good:
      return UIColor::dynamic({0x24 / 255.0, 0x8A / 255.0, 0x3D / 255.0, 1},
                              {0x30 / 255.0, 0xD1 / 255.0, 0x58 / 255.0, 1});
    case RowTone::bad:
      return UIColor::systemRedColor();
    case RowTone::pending:
      return UIColor::dynamic({0xC9 / 255.0, 0x34 / 255.0, 0x00 / 255.0, 1},
                              {0xFF / 255.0, 0x9F / 255.0, 0x0A / 255.0, 1});
    case RowTone::plain:
      break;
  }
  return UIColor::systemGrayColor();
}

std::shared_ptr<UILabel> label(const std::string& text, double size,
                               UIFontWeight weight = UIFontWeight::regular) {
  auto label = UILabel::create();
  label->setText(text);
  label->setFont(UIFont::systemFont(size, weight));
  label->setTranslatesAutoresizingMaskIntoConstraints(false);
  return label;
}

void pin(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& to, double inset = 0) {
  NSLayoutConstraint::activateConstraints(
      {view->leadingAnchor().constraintEqualToAnchor(to->leadingAnchor(), inset),
       view->trailingAnchor().constraintEqualToAnchor(to->trailingAnchor(), -inset)});
}

}  // namespace

std::shared_ptr<InspectorView> InspectorView::create() {
  return platform::makeView<InspectorView>();
}

void InspectorView::initializeView() {
  UIView::initializeView();
  setAccessibilityIdentifier("inspector");
  setBackgroundColor(UIColor::systemGroupedBackgroundColor());
  auto self = shared_from_this();
  std::weak_ptr<InspectorView> weak = std::static_pointer_cast<InspectorView>(self);

  auto title = label("Ad Inspector", 17, UIFontWeight::semibold);
  title->setTextAlignment(platform::NSTextAlignment::center);
  addSubview(title);
  auto close = UIButton::create(platform::UIButtonType::system);
  close->setTitle("Close", platform::UIControlState::normal);
  close->titleLabel()->setFont(UIFont::systemFont(17, UIFontWeight::semibold));
  close->setContentEdgeInsets({0, 8, 0, 8});
  close->setAccessibilityIdentifier("inspector.close");
  close->setTranslatesAutoresizingMaskIntoConstraints(false);
  close->addAction(
      [weak](UIControl&) {
        if (auto view = weak.lock(); view && view->onClose) view->onClose();
      },
      platform::UIControlEvents::touchUpInside);
  addSubview(close);

  auto tabs = platform::UIStackView::create();
  tabs->setAxis(platform::UILayoutConstraintAxis::horizontal);
  tabs->setDistribution(platform::UIStackViewDistribution::fillEqually);
  tabs->setSpacing(6);
  tabs->setTranslatesAutoresizingMaskIntoConstraints(false);
  const auto pages = inspectorPages();
  for (std::size_t index = 0; index < pages.size(); ++index) {
    auto tab = UIButton::create();
    tab->setTitle(pages[index].title, platform::UIControlState::normal);
    tab->titleLabel()->setFont(UIFont::systemFont(14, UIFontWeight::medium));
    tab->titleLabel()->setAdjustsFontSizeToFitWidth(true);
    tab->titleLabel()->setMinimumScaleFactor(0.7);
    tab->layer().setCornerRadius(8);
    tab->setAccessibilityIdentifier(std::string("inspector.tab.") + pages[index].identifier);
    tab->addAction(
        [weak, index](UIControl&) {
          if (auto view = weak.lock(); view && view->onSelectPage) view->onSelectPage(index);
        },
        platform::UIControlEvents::touchUpInside);
    tabs->addArrangedSubview(tab);
    tabs_.push_back(tab);
  }
  addSubview(tabs);

  scroll_ = platform::UIScrollView::create();
  scroll_->setTranslatesAutoresizingMaskIntoConstraints(false);
  addSubview(scroll_);
  sections_ = platform::UIStackView::create();
  sections_->setAxis(platform::UILayoutConstraintAxis::vertical);
  sections_->setSpacing(22);
  sections_->setTranslatesAutoresizingMaskIntoConstraints(false);
  const auto& content = scroll_->contentView();
  content->addSubview(sections_);
  pin(sections_, content, kMargin);

  preview_ = UIView::create();
  preview_->setAccessibilityIdentifier("inspector.preview");
  preview_->setBackgroundColor(cardColor());
  preview_->setClipsToBounds(true);
  preview_->setTranslatesAutoresizingMaskIntoConstraints(false);
  previewCaption_ = label("", 12);
  previewCaption_->setTextColor(UIColor::systemGrayColor());
  preview_->addSubview(previewCaption_);
  addSubview(preview_);
  previewHeight_ = preview_->heightAnchor().constraintEqualToConstant(0);

  const auto safe = safeAreaLayoutGuide();
  NSLayoutConstraint::activateConstraints({
      title->topAnchor().constraintEqualToAnchor(safe->topAnchor()),
      title->heightAnchor().constraintEqualToConstant(44),
      title->centerXAnchor().constraintEqualToAnchor(centerXAnchor()),
      title->widthAnchor().constraintEqualToConstant(200),
      close->centerYAnchor().constraintEqualToAnchor(title->centerYAnchor()),
      close->trailingAnchor().constraintEqualToAnchor(safe->trailingAnchor(), -8),
      tabs->topAnchor().constraintEqualToAnchor(title->bottomAnchor()),
      tabs->heightAnchor().constraintEqualToConstant(32),
      tabs->leadingAnchor().constraintEqualToAnchor(safe->leadingAnchor(), kMargin),
      tabs->trailingAnchor().constraintEqualToAnchor(safe->trailingAnchor(), -kMargin),
      scroll_->topAnchor().constraintEqualToAnchor(tabs->bottomAnchor(), 8),
      scroll_->leadingAnchor().constraintEqualToAnchor(safe->leadingAnchor()),
      scroll_->trailingAnchor().constraintEqualToAnchor(safe->trailingAnchor()),
      scroll_->bottomAnchor().constraintEqualToAnchor(preview_->topAnchor()),
      sections_->topAnchor().constraintEqualToAnchor(content->topAnchor(), 12),
      content->bottomAnchor().constraintEqualToAnchor(sections_->bottomAnchor(), 24),
      preview_->leadingAnchor().constraintEqualToAnchor(leadingAnchor()),
      preview_->trailingAnchor().constraintEqualToAnchor(trailingAnchor()),
      preview_->bottomAnchor().constraintEqualToAnchor(safe->bottomAnchor()),
      previewHeight_,
      previewCaption_->topAnchor().constraintEqualToAnchor(preview_->topAnchor(), 6),
      previewCaption_->leadingAnchor().constraintEqualToAnchor(preview_->leadingAnchor(), kMargin),
      previewCaption_->trailingAnchor().constraintEqualToAnchor(preview_->trailingAnchor(),
                                                                -kMargin),
  });
}

void InspectorView::show(std::size_t selectedPage, const InspectorPageContent& content,
                         const std::vector<bool>& shown) {
  for (std::size_t index = 0; index < tabs_.size(); ++index) {
    const bool hidden = index < shown.size() && !shown[index];
    if (tabs_[index]->isHidden() != hidden) tabs_[index]->setHidden(hidden);
    const bool selected = index == selectedPage;
    tabs_[index]->setBackgroundColor(selected ? UIColor::systemBlueColor() : cardColor());
    tabs_[index]->setTitleColor(selected ? UIColor::whiteColor() : UIColor::labelColor(),
                                platform::UIControlState::normal);
  }
  const double offset = selectedPage == selected_ ? scroll_->contentOffsetY() : 0;
  selected_ = selectedPage;
  for (const auto& old : std::vector(sections_->arrangedSubviews())) old->removeFromSuperview();
  for (const auto& section : content.sections) sections_->addArrangedSubview(makeSection(section));
  scroll_->setContentOffsetY(offset);
}

std::shared_ptr<UIView> InspectorView::makeSection(const InspectorSection& section) {
  auto box = platform::UIStackView::create();
  box->setAxis(platform::UILayoutConstraintAxis::vertical);
  box->setSpacing(6);
  auto header = label(section.title, 13, UIFontWeight::semibold);
  header->setTextColor(UIColor::systemGrayColor());
  auto indent = UIView::create();
  indent->addSubview(header);
  pin(header, indent, kMargin);
  NSLayoutConstraint::activateConstraints(
      {header->topAnchor().constraintEqualToAnchor(indent->topAnchor()),
       header->bottomAnchor().constraintEqualToAnchor(indent->bottomAnchor())});
  box->addArrangedSubview(indent);

  auto card = platform::UIStackView::create();
  card->setAxis(platform::UILayoutConstraintAxis::vertical);
  card->setBackgroundColor(cardColor());
  card->layer().setCornerRadius(10);
  card->setClipsToBounds(true);
  const double hairlineScale = windowPointer() ? windowPointer()->scale() : 1;
  for (std::size_t index = 0; index < section.rows.size(); ++index) {
    if (index > 0) {
      auto line = UIView::create();
      line->setBackgroundColor(separatorColor());
      auto inset = UIView::create();
      inset->addSubview(line);
      line->setTranslatesAutoresizingMaskIntoConstraints(false);
      NSLayoutConstraint::activateConstraints(
          {line->leadingAnchor().constraintEqualToAnchor(inset->leadingAnchor(), kMargin),
           line->trailingAnchor().constraintEqualToAnchor(inset->trailingAnchor()),
           line->topAnchor().constraintEqualToAnchor(inset->topAnchor()),
           line->bottomAnchor().constraintEqualToAnchor(inset->bottomAnchor()),
           // One pixel at the window's scale: thinner would vanish between two pixels.
           inset->heightAnchor().constraintEqualToConstant(1 / hairlineScale)});
      card->addArrangedSubview(inset);
    }
    card->addArrangedSubview(makeRow(section.rows[index]));
  }
  box->addArrangedSubview(card);

  if (!section.footer.empty()) {
    auto footer = label(section.footer, 12);
    footer->setTextColor(UIColor::systemGrayColor());
    footer->setNumberOfLines(2);
    auto holder = UIView::create();
    holder->addSubview(footer);
    pin(footer, holder, kMargin);
    NSLayoutConstraint::activateConstraints(
        {footer->topAnchor().constraintEqualToAnchor(holder->topAnchor()),
         footer->bottomAnchor().constraintEqualToAnchor(holder->bottomAnchor())});
    box->addArrangedSubview(holder);
  }
  return box;
}

std::shared_ptr<UIView> InspectorView::makeRow(const InspectorRow& row) {
  std::shared_ptr<UIView> view;
  if (row.testAdUnit.empty()) {
    view = UIView::create();
  } else {
    auto control = platform::makeView<UIControl>();
    control->setAccessibilityIdentifier("inspector.test." + row.testAdUnit);
    std::weak_ptr<InspectorView> weak = std::static_pointer_cast<InspectorView>(shared_from_this());
    control->addAction(
        [weak, unit = row.testAdUnit](UIControl&) {
          if (auto self = weak.lock(); self && self->onTestAd) self->onTestAd(unit);
        },
        platform::UIControlEvents::touchUpInside);
    view = control;
  }
  auto title = label(row.title, 15);
  // Titles are short and say what a row is: a long value gives way first.
  title->setContentCompressionResistancePriority(platform::UILayoutPriorityDefaultHigh + 10,
                                                 platform::UILayoutConstraintAxis::horizontal);
  auto value = label(row.value, 15);
  value->setTextAlignment(platform::NSTextAlignment::right);
  value->setTextColor(!row.testAdUnit.empty() && row.tone == RowTone::plain
                          ? UIColor::systemBlueColor()
                          : toneColor(row.tone));
  value->setContentHuggingPriority(platform::UILayoutPriorityDefaultHigh,
                                   platform::UILayoutConstraintAxis::horizontal);
  value->setContentCompressionResistancePriority(platform::UILayoutPriorityDefaultHigh - 10,
                                                 platform::UILayoutConstraintAxis::horizontal);
  view->addSubview(title);
  view->addSubview(value);
  NSLayoutConstraint::activateConstraints({
      title->leadingAnchor().constraintEqualToAnchor(view->leadingAnchor(), kMargin),
      title->topAnchor().constraintEqualToAnchor(view->topAnchor(), 11),
      value->trailingAnchor().constraintEqualToAnchor(view->trailingAnchor(), -kMargin),
      value->centerYAnchor().constraintEqualToAnchor(title->centerYAnchor()),
      value->leadingAnchor().constraintGreaterThanOrEqualToAnchor(title->trailingAnchor(), 8),
  });
  std::shared_ptr<UILabel> last = title;
  if (!row.detail.empty()) {
    auto detail = label(row.detail, 12);
    detail->setTextColor(UIColor::systemGrayColor());
    detail->setNumberOfLines(3);
    view->addSubview(detail);
    NSLayoutConstraint::activateConstraints({
        detail->leadingAnchor().constraintEqualToAnchor(title->leadingAnchor()),
        detail->trailingAnchor().constraintEqualToAnchor(view->trailingAnchor(), -kMargin),
        detail->topAnchor().constraintEqualToAnchor(title->bottomAnchor(), 2),
    });
    last = detail;
  }
  NSLayoutConstraint::activateConstraints(
      {view->bottomAnchor().constraintEqualToAnchor(last->bottomAnchor(), 11)});
  return view;
}

void InspectorView::setPreview(std::shared_ptr<UIView> ad, platform::CGSize size,
                               const std::string& caption) {
  if (previewAd_) previewAd_->removeFromSuperview();
  previewAd_ = std::move(ad);
  previewCaption_->setText(caption);
  if (!previewAd_) {
    previewHeight_->setConstant(0);
    return;
  }
  previewAd_->setTranslatesAutoresizingMaskIntoConstraints(false);
  preview_->addSubview(previewAd_);
  NSLayoutConstraint::activateConstraints({
      previewAd_->topAnchor().constraintEqualToAnchor(previewCaption_->bottomAnchor(), 6),
      previewAd_->centerXAnchor().constraintEqualToAnchor(preview_->centerXAnchor()),
      size.width > 0 ? previewAd_->widthAnchor().constraintEqualToConstant(size.width)
                     : previewAd_->widthAnchor().constraintEqualToAnchor(preview_->widthAnchor()),
      previewAd_->heightAnchor().constraintEqualToConstant(size.height),
  });
  previewHeight_->setConstant(size.height + 30);
}

}  // namespace tilo::inspector
