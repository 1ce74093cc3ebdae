// The process's one text setup: a fontconfig configuration built in-process that holds
// only the Inter family from fonts-inter, the pango font map over it and one pango
// context with fixed font options (greyscale antialiasing, no hinting, unhinted metrics,
// unrounded glyph positions, language en-US). Measuring and drawing share the context,
// so the layouts measured are the layouts drawn, at any scale.
//
// Internal to platform/ui. Pango's context, font map and layouts are not thread-safe, and
// text is laid out and drawn on the main thread and on pool threads (generated pictures):
// every use of them holds lock().
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
  // Built on first use. Throws std::runtime_error when the Inter files are missing or the
  // graphics libraries cannot be used (never reaching them then).
  static FontSystem& shared();
  // Frees the font system and what pango and fontconfig hold for it (the font map, its
  // configuration with the loaded font files); the next use builds a new one. For the
  // SDK's shutdown, once no text layout is left.
  static void destroyShared();
  // Held around every call into pango; recursive, so a layout may ask for metrics.
  [[nodiscard]] static std::unique_lock<std::recursive_mutex> lock();

  PangoContext* context() const { return context_; }
  // Owned by the font system; valid for the process.
  const PangoFontDescription* description(const UIFont& font);

  // Font-file metrics in points: ascent above the baseline, descent below it (as a
  // positive distance).
  struct Metrics {
    double ascent = 0;
    double descent = 0;
    double lineHeight() const { return ascent + descent; }
  };
  Metrics metrics(const UIFont& font);

  // Where the font files are looked for; TILO_FONT_DIR overrides (tests of the error).
  static std::string fontDirectory();

  // Drops the fonts pango keeps loaded and their glyphs (reloaded when next drawn); nothing
  // when the font system was never built. Runs on every memory warning and on entering
  // the background.
  static void releaseCaches();

 private:
  FontSystem();
  ~FontSystem();

  PangoFontMap* fontMap_ = nullptr;
  PangoContext* context_ = nullptr;
  std::map<std::pair<double, UIFontWeight>, PangoFontDescription*> descriptions_;
  std::map<std::pair<double, UIFontWeight>, Metrics> metrics_;
  Subscription releaseCaches_;
};

}  // namespace tilo::platform
