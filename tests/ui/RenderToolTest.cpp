// tilo-render as a process: a described tree laid out into a dump and a PNG, and every
// kind of bad file refused with a message naming the place.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Json.h"
#include "platform/ui/UIImage.h"
#include "support/TempDir.h"

using namespace tilo;
using namespace tilo::platform;

namespace {

struct ToolRun {
  int exitCode;
  std::string out;
  std::string err;
};

ToolRun render(const test::TempDir& dir, const std::string& document, const std::string& arguments,
               const std::string& environment = "") {
  FileSystem::atomicWrite(dir.path() / "tree.json", document);
  auto out = dir.path() / "stdout", err = dir.path() / "stderr";
  std::string command = environment + " " + TILO_TOOLS_DIR "/tilo-render '" +
                        (dir.path() / "tree.json").string() + "' " + arguments + " >'" +
                        out.string() + "' 2>'" + err.string() + "'";
  int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, FileSystem::readFile(out).value_or(""),
          FileSystem::readFile(err).value_or("")};
}

// A popup-like tree: a blurred dimmed background, a card with an icon, a title and a
// stack, a button on the safe area, and one conflicting constraint.
const char* kTree = R"({
  "window": {"width": 390, "height": 844, "scale": 2, "safeArea": [47, 0, 34, 0],
             "backgroundColor": "#FFFFFF"},
  "views": [
    {"id": "dim", "class": "UIView", "parent": "window", "backgroundColor": "#1214164D"},
    {"id": "blur", "class": "UIVisualEffectView", "parent": "dim", "blurStyle": 6,
     "userInteractionEnabled": false},
    {"id": "card", "class": "UIView", "parent": "window", "backgroundColor": "#F2F2F7",
     "cornerRadius": 16, "borderWidth": 1, "borderColor": "#3E434F", "clipsToBounds": true},
    {"id": "icon", "class": "UIImageView", "parent": "card",
     "image": {"width": 40, "height": 40, "colors": ["#FF3B30", "#007AFF"], "caption": "Ad"}},
    {"id": "title", "class": "UILabel", "parent": "card", "text": "Island Builder",
     "font": {"size": 18, "weight": "bold"}, "numberOfLines": 2},
    {"id": "row", "class": "UIStackView", "parent": "card", "spacing": 4, "alignment": "center",
     "customSpacing": {"badge": 10}},
    {"id": "badge", "class": "UILabel", "parent": "row", "text": "AD", "font": {"size": 10}},
    {"id": "cta", "class": "UILabel", "parent": "row", "text": "Install",
     "font": {"size": 12, "weight": 0.3}},
    {"id": "close", "class": "UIButton", "parent": "window", "title": "Close",
     "titleColor": "#000000", "image": "system:xmark", "contentEdgeInsets": [0, 8, 0, 8]}
  ],
  "constraints": [
    {"first": "dim.left", "second": "window.left"}, {"first": "dim.right", "second": "window.right"},
    {"first": "dim.top", "second": "window.top"}, {"first": "dim.bottom", "second": "window.bottom"},
    {"first": "blur.left", "second": "dim.left"}, {"first": "blur.right", "second": "dim.right"},
    {"first": "blur.top", "second": "dim.top"}, {"first": "blur.bottom", "second": "dim.bottom"},
    {"first": "card.left", "second": "window.left", "constant": 20},
    {"first": "card.right", "second": "window.right", "constant": -20},
    {"first": "card.centerY", "second": "window.centerY"},
    {"first": "icon.left", "second": "card.left", "constant": 20},
    {"first": "icon.top", "second": "card.top", "constant": 20},
    {"first": "icon.width", "constant": 40}, {"first": "icon.height", "constant": 40},
    {"first": "title.left", "second": "icon.right", "constant": 12},
    {"first": "title.right", "second": "card.right", "constant": -20},
    {"first": "title.top", "second": "icon.top"},
    {"first": "row.left", "second": "title.left"},
    {"first": "row.top", "second": "title.bottom", "constant": 12},
    {"first": "card.bottom", "relation": ">=", "second": "row.bottom", "constant": 20},
    {"first": "card.height", "constant": 150, "priority": 250},
    {"first": "close.centerX", "second": "window.centerX"},
    {"first": "close.bottom", "second": "safeArea.bottom", "constant": -8},
    {"first": "close.width", "constant": 120}, {"first": "close.height", "constant": 52},
    {"first": "close.width", "constant": 100, "identifier": "too-narrow"}
  ]
})";

// `count` views, each in the previous one (the first in the window) or all in the window,
// and `extra` constraints on the first.
std::string manyViews(std::size_t count, bool nested, std::size_t extra = 0) {
  Json views = Json::array(), constraints = Json::array();
  for (std::size_t i = 0; i < count; ++i) {
    views.push_back({{"id", "v" + std::to_string(i)},
                     {"class", "UIView"},
                     {"parent", nested && i > 0 ? "v" + std::to_string(i - 1) : "window"},
                     {"frame", {1, 1, 10, 10}}});
  }
  for (std::size_t i = 0; i < extra; ++i) {
    constraints.push_back({{"first", "v0.width"}, {"constant", 10}});
  }
  return Json{
      {"window", {{"width", 300}, {"height", 300}}}, {"views", views}, {"constraints", constraints}}
      .dump();
}

}  // namespace

TEST(RenderTool, LaysOutDumpsAndDraws) {
  test::TempDir dir;
  ToolRun run = render(dir, kTree, "--png '" + (dir.path() / "out.png").string() + "' --dump -");
  ASSERT_EQ(run.exitCode, 0) << run.err;

  // 1. The dump: window, views in order with frames in window points, the conflict.
  Json dump = parseJson(run.out);
  EXPECT_EQ(dump["window"]["safeArea"], Json::array({47, 0, 34, 0}));
  Json views = dump["views"];
  ASSERT_EQ(views.size(), 3u);
  EXPECT_EQ(views[0]["id"], "dim");
  EXPECT_EQ(views[0]["children"][0]["class"], "UIVisualEffectView");
  Json card = views[1];
  EXPECT_EQ(card["frame"][0], 20);
  EXPECT_EQ(card["frame"][2], 350);
  EXPECT_EQ(card["borderColor"], "#3E434FFF");
  Json icon = card["children"][0];
  EXPECT_EQ(icon["frame"], Json::array({40, card["frame"][1].get<double>() + 20, 40, 40}));
  Json title = card["children"][1];
  EXPECT_EQ(title["font"], (Json{{"size", 18}, {"weight", "bold"}}));
  EXPECT_EQ(title["frame"][0], 92);
  Json row = card["children"][2];
  EXPECT_EQ(row["children"][1]["font"]["weight"], "semibold");
  double badgeRight =
      row["children"][0]["frame"][0].get<double>() + row["children"][0]["frame"][2].get<double>();
  EXPECT_EQ(row["children"][1]["frame"][0].get<double>(), badgeRight + 10);
  Json close = views[2];
  EXPECT_EQ(close["frame"], Json::array({135, 844 - 34 - 8 - 52, 120, 52}));
  EXPECT_EQ(close["text"], "Close");
  EXPECT_EQ(close["image"], "xmark");
  EXPECT_EQ(dump["droppedConstraints"],
            Json::array({"<NSLayoutConstraint 'too-narrow' close.width == 100 @1000>"}));
  EXPECT_NE(run.err.find("Unable to simultaneously satisfy constraints"), std::string::npos);

  // 2. The PNG is the window at its scale.
  auto png = FileSystem::readFile(dir.path() / "out.png");
  ASSERT_TRUE(png);
  auto image = UIImage::imageWithData(Bytes(png->begin(), png->end()));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelWidth(), 780);
  EXPECT_EQ(image->pixelHeight(), 1688);
}

TEST(RenderTool, RefusesBadFilesAndTreesBeyondItsLimitsWithTheirPlace) {
  test::TempDir dir;
  const std::string window = R"({"window": {"width": 100, "height": 100})";
  // A document with one view of `view` (class, parent and more) and optional constraints.
  auto withView = [&](const std::string& view, const std::string& rest = "") {
    return window + R"(, "views": [{"id": "a", )" + view + "}]" + rest + "}";
  };
  const std::string box = R"("class": "UIView", "parent": "window")";
  FileSystem::atomicWrite(dir.path() / "fake.png", "not really a png");
  ASSERT_EQ(mkfifo((dir.path() / "pipe.png").c_str(), 0600), 0);
  const std::pair<std::string, std::string> cases[] = {
      // Unknown keys, anywhere.
      {window + R"(, "colour": 1})", "document: unknown key \"colour\""},
      {withView(box + R"(, "text": "x")"), "views[0] (\"a\"): unknown key \"text\" for a UIView"},
      // Missing keys.
      {R"({"window": {"width": 100}})", "window.height: missing"},
      // Wrong types and values.
      {R"({"window": {"width": "100", "height": 100}})",
       "window.width: expected a number, got a string"},
      {withView(box + R"(, "backgroundColor": "red")"), "backgroundColor: expected a colour"},
      {R"({"window": {"width": 0, "height": 100}})", "width and height must be above 0"},
      {withView(box, R"(, "constraints": [{"first": "a.width", "constant": 1e999}])"),
       "constraints[0].constant: expected a finite number"},
      {withView(box, R"(, "constraints": [{"first": "a.left", "constant": 3}])"),
       "only width and height can equal a constant"},
      {withView(R"("class": "UIView", "parent": "nowhere")"),
       "views[0] (\"a\").parent: \"nowhere\" is neither"},
      {withView(R"("class": "UILabel", "parent": "window", "text": ")" + std::string(100000, 'x') +
                "\""),
       "views[0] (\"a\").text: 100000 characters; at most 10000"},
      // Images that are not images, or not files.
      {withView(R"("class": "UIImageView", "parent": "window", "image": "fake.png")"),
       "views[0] (\"a\").image: " + (dir.path() / "fake.png").string() +
           ": not a PNG or JPEG image"},
      {withView(R"("class": "UIImageView", "parent": "window", "image": "pipe.png")"),
       "is not a regular file"},
      // Not JSON at all.
      {"{\"window\": ", "invalid JSON"},
      // Beyond the limits (a 20,000-deep chain, which once overflowed the stack, is too
      // many views already).
      {manyViews(2000, true),
       "views[255] (\"v255\").parent: nested 257 views deep (the window included), more than "
       "the limit of 256"},
      {manyViews(2048, false), "views: 2048 views and the window, more than the limit of 2048"},
      {manyViews(1, false, 8193), "constraints: 8193 constraints, more than the limit of 8192"},
      {R"({"window": {"width": 5462, "height": 100, "scale": 3}})",
       "window: at most 16384 pixels a side"},
  };
  for (const auto& [document, message] : cases) {
    ToolRun run = render(dir, document, "--dump -");
    EXPECT_EQ(run.exitCode, 1) << message;
    EXPECT_TRUE(run.out.empty()) << message;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err << "\nwanted: " << message;
  }
  // As deep as allowed renders.
  ToolRun deepest = render(dir, manyViews(255, true), "--png " + (dir.path() / "a.png").string());
  EXPECT_EQ(deepest.exitCode, 0) << deepest.err;
  ToolRun missing = render(dir, "{}", "--dump - " + (dir.path() / "other.json").string());
  EXPECT_EQ(missing.exitCode, 2) << "two input files is a usage error";

  // Without the font files the tool says what to do, but only when there is text.
  EXPECT_EQ(render(dir, window + "}", "--dump -", "TILO_FONT_DIR=/nonexistent").exitCode, 0);
  ToolRun needsFonts =
      render(dir, withView(R"("class": "UILabel", "parent": "window", "text": "x")"), "--dump -",
             "TILO_FONT_DIR=/nonexistent");
  EXPECT_EQ(needsFonts.exitCode, 1);
  EXPECT_NE(needsFonts.err.find("run scripts/bootstrap"), std::string::npos) << needsFonts.err;
}
