// The process's one text setup: a fontconfig configuration built in-process that holds
// only the Inter family from fonts-inter, the pango font map over it and one pango
// context with fixed font options (greyscale antialiasing, no hinting, unhinted metrics,
// unrounded glyph positions, language en-US). Measuring and drawing share the context,
// so the layouts measured are the layouts drawn, at any scale.
//
// Internal to platform/ui. Pango is not thread-safe: whatever uses the context, a layout
// made from it or the font caches holds textLock(). In practice that is the main thread,
// and warmUp() on a background thread at start-up, so the first text a host shows does not
// load fonts and shape on the main thread.
#pragma once

#include <pango/pangocairo.h>

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Reactive.h"
#include "platform/ui/UIFont.h"

namespace tilo::platform {

class FontSystem {
 public:
  // Built on first use. Throws std::runtime_error when the Inter files are missing.
  static FontSystem& shared();

  PangoContext* context() const { return context_; }
  // Owned by the font system; valid for the process.
  const PangoFontDescription* description(const UIFont& font);

  struct Metrics {
    double ascent = 0;
    double descent = 0;
  };
  Metrics metrics(const UIFont& font);

  // Where the font files are looked for; TILO_FONT_DIR overrides (tests of the error).
  static std::string fontDirectory();

  // Held around every use of pango (recursive: a layout being made asks for metrics).
  static std::unique_lock<std::recursive_mutex> textLock();

  // Builds the font system, then loads, shapes and draws each weight the views use, off
  // on any thread. Never throws: a missing font is reported when text is
  // first laid out, where it is handled.
  static void warmUp();

  // Drops the fonts pango keeps loaded and their glyphs (reloaded when next drawn); nothing
  // when the font system was never built. Runs on every memory warning.
  static void releaseCaches();

 private:
  FontSystem();
  ~FontSystem() = delete;

  PangoFontMap* fontMap_ = nullptr;
  PangoContext* context_ = nullptr;
  std::map<std::pair<double, UIFontWeight>, PangoFontDescription*> descriptions_;
  std::map<std::pair<double, UIFontWeight>, Metrics> metrics_;
  Subscription memoryWarning_;
};

}  // namespace tilo::platform
