// What the layout dump says about the templates: UI tests and tilo-demo's snapshots find
// their parts by accessibility identifier, so each part must carry its name, and the
// "cta" name must be on the bar the user sees, not on the invisible full-size button.
#include <map>

#include "platform/ui/LayoutDump.h"
#include "templates/TemplatesTestSupport.h"

namespace tilo::test {
namespace {

using platform::Json;

// Every named view of the dump by identifier, and how often each name occurs.
void collect(const Json& views, std::map<std::string, Json>& named,
             std::map<std::string, int>& counts) {
  for (const Json& view : views) {
    if (view["id"].is_string()) {
      named[view["id"].get<std::string>()] = view;
      ++counts[view["id"].get<std::string>()];
    }
    collect(view["children"], named, counts);
  }
}

// The named views of `root`, after checking that each of `ids` is there exactly once;
// `fields` lists "id key" pairs to read.
Json namedOnce(platform::UIView& root, std::vector<std::string> ids,
               std::vector<std::string> fields) {
  std::map<std::string, Json> named;
  std::map<std::string, int> counts;
  collect(platform::layoutDump(root)["views"], named, counts);
  for (const auto& id : ids) EXPECT_EQ(counts[id], 1) << id;
  Json out = Json::array();
  for (const auto& field : fields)
    out.push_back(named[field.substr(0, field.find(' '))][field.substr(field.find(' ') + 1)]);
  return out;
}

TEST_F(TemplatesTest, EveryPartOfBothTemplatesIsNamedOnce) {
  script("gad/native", R"({"native": {"headline": "Puzzle Garden", "body": "Relax.",
      "callToAction": "Install", "icon": true, "media": true}})");

  // 1. The line banner: the line view and the five parts of its stack.
  placeLine();
  ASSERT_EQ(lineLoads, 1);
  EXPECT_EQ(namedOnce(*window,
                      {"lineBanner", "lineBanner.stack", "lineBanner.badge", "lineBanner.title",
                       "lineBanner.divider", "lineBanner.cta"},
                      {"lineBanner.title text", "lineBanner.cta text", "lineBanner.cta alpha"}),
            Json::parse(R"(["Puzzle Garden", "Install", 1])"));
  line->removeFromSuperview();

  // 2. The light popup, presented: content view, card, its six parts and the close button.
  loadPopup();
  ad->show(game);
  settle(platform::UIViewController::transitionDuration);
  ASSERT_EQ(game->presentedViewController(), popup);
  EXPECT_EQ(namedOnce(*window,
                      {"lightPopup", "lightPopup.card", "lightPopup.media", "lightPopup.adMark",
                       "lightPopup.icon", "lightPopup.title", "lightPopup.body", "lightPopup.cta",
                       "lightPopup.close"},
                      {"lightPopup.adMark text", "lightPopup.title text", "lightPopup.body text",
                       "lightPopup.cta class", "lightPopup.cta text", "lightPopup.cta alpha",
                       "lightPopup.close text"}),
            Json::parse(R"(["AD", "Puzzle Garden", "Relax.", "UILabel", "Install", 1, "Close"])"));
  // The card keeps every constraint, and the "AD" mark its size and place whatever its
  // text (the rest of the geometry: the golden images).
  EXPECT_TRUE(window->droppedConstraints().empty());
  auto& content = *popup->contentView();
  const auto media = frameIn(*content.internalMediaContentView(), content);
  content.adMarkLabel()->setText("ADVERTISEMENT");
  window->layoutIfNeeded();
  EXPECT_EQ(frameIn(*content.adMarkLabel(), content),
            (platform::CGRect{media.minX(), media.minY(), 36, 24}));
}

}  // namespace
}  // namespace tilo::test
