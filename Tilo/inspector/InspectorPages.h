// The ad inspector's pages: what each shows, as sections of rows built from one snapshot.
// The list in inspectorPages() is the only place a page is added: its tab, its place in
// the tab order, its content and when it has a tab at all all come from there.
//
//   for (const InspectorPage& page : inspectorPages()) {
//     InspectorPageContent content = page.build(snapshot);   // drawn by InspectorView
//   }
//
// Every text a page puts in a row went through shownText: printable, one line, cut.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "Tilo/inspector/InspectorSnapshot.h"

namespace tilo::inspector {

enum class RowTone { plain, good, bad, pending };

struct InspectorRow {
  std::string title;
  std::string value;
  std::string detail;  // a second line under the title, "" for none
  RowTone tone = RowTone::plain;
  std::string testAdUnit;  // a tap on the row shows a test ad of this unit; "" for none

  bool operator==(const InspectorRow&) const = default;
};

struct InspectorSection {
  std::string title;
  std::vector<InspectorRow> rows;
  std::string footer;  // "" for none

  bool operator==(const InspectorSection&) const = default;
};

struct InspectorPageContent {
  std::vector<InspectorSection> sections;

  bool operator==(const InspectorPageContent&) const = default;
};

struct InspectorPage {
  const char* identifier;  // "sdk": the tab is "inspector.tab.sdk"
  const char* title;       // on the tab
  InspectorPageContent (*build)(const InspectorSnapshot&);
  // Whether the page has a tab for this snapshot; null: always (the Demand page only
  // with an exchange configured).
  bool (*shownFor)(const InspectorSnapshot&) = nullptr;
};

std::span<const InspectorPage> inspectorPages();
// One flag per page of inspectorPages(): whether it has a tab for `snapshot`.
std::vector<bool> shownPages(const InspectorSnapshot& snapshot);

// Limits that keep a page within what the layout draws quickly: units beyond these are
// counted in a footer, texts are cut.
inline constexpr std::size_t kMaxUnitsShown = 20;
inline constexpr std::size_t kMaxIdentifierCharacters = 60;
inline constexpr std::size_t kMaxMessageCharacters = 120;

}  // namespace tilo::inspector
