#include "platform/ui/FontSystem.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "platform/NotificationCenter.h"
#include "platform/SystemLibraries.h"

namespace tilo::platform {
namespace {

PangoWeight pangoWeight(UIFontWeight weight) {
  switch (weight) {
    case UIFontWeight::ultraLight:
      return PANGO_WEIGHT_ULTRALIGHT;
    case UIFontWeight::thin:
      return PANGO_WEIGHT_THIN;
    case UIFontWeight::light:
      return PANGO_WEIGHT_LIGHT;
    case UIFontWeight::regular:
      return PANGO_WEIGHT_NORMAL;
    case UIFontWeight::medium:
      return PANGO_WEIGHT_MEDIUM;
    case UIFontWeight::semibold:
      return PANGO_WEIGHT_SEMIBOLD;
    case UIFontWeight::bold:
      return PANGO_WEIGHT_BOLD;
    case UIFontWeight::heavy:
      return PANGO_WEIGHT_ULTRABOLD;
    case UIFontWeight::black:
      return PANGO_WEIGHT_HEAVY;
  }
  return PANGO_WEIGHT_NORMAL;
}

// Inter-<Style>.otf only: InterDisplay is a different family with other metrics.
std::vector<std::string> interFiles(const std::string& directory) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    std::string name = entry.path().filename().string();
    if (name.rfind("Inter-", 0) == 0 && entry.path().extension() == ".otf" &&
        entry.is_regular_file(error)) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

std::string FontSystem::fontDirectory() {
  if (const char* dir = std::getenv("TILO_FONT_DIR"); dir && *dir) return dir;
  return "/usr/share/fonts/opentype/inter";
}

namespace {
std::mutex sharedMutex;
FontSystem* sharedInstance = nullptr;  // until destroyShared: pango objects are shared
}  // namespace

FontSystem& FontSystem::shared() {
  std::lock_guard lock(sharedMutex);
  if (!sharedInstance) {
    sharedInstance = new FontSystem();
    // Only on a memory warning, not on every entry to the background: fonts reloaded at
    // every return would cost more than they hold.
    sharedInstance->releaseCaches_ = NotificationCenter::defaultCenter().addObserver(
        kDidReceiveMemoryWarningNotification, [] { releaseCaches(); });
  }
  return *sharedInstance;
}

std::unique_lock<std::recursive_mutex> FontSystem::lock() {
  static auto* const mutex = new std::recursive_mutex();  // kept for the process
  return std::unique_lock(*mutex);
}

void FontSystem::releaseCaches() {
  FontSystem* built = nullptr;
  {
    std::lock_guard lock(sharedMutex);
    built = sharedInstance;
  }
  if (!built) return;
  const auto held = lock();
  pango_fc_font_map_cache_clear(PANGO_FC_FONT_MAP(built->fontMap_));
  pango_context_changed(built->context_);
}

FontSystem::FontSystem() {
  if (auto missing = missingLibrary(SystemFeature::graphics)) {
    throw std::runtime_error(missing->message());
  }
  std::string directory = fontDirectory();
  auto files = interFiles(directory);
  bool hasRegular = std::any_of(files.begin(), files.end(), [](const std::string& path) {
    return path.ends_with("/Inter-Regular.otf");
  });
  if (!hasRegular) {
    throw std::runtime_error("the Inter font files (Inter-*.otf) are missing from " + directory +
                             "; run scripts/bootstrap to install fonts-inter");
  }
  FcConfig* config = FcConfigCreate();
  for (const auto& file : files) {
    if (!FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file.c_str()))) {
      FcConfigDestroy(config);
      throw std::runtime_error("cannot load the font file " + file +
                               "; run scripts/bootstrap to reinstall fonts-inter");
    }
  }
  fontMap_ = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
  if (!fontMap_) {
    FcConfigDestroy(config);
    throw std::runtime_error("pango has no FreeType font map");
  }
  pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fontMap_), config);
  FcConfigDestroy(config);  // the font map holds its own reference

  context_ = pango_font_map_create_context(fontMap_);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  pango_cairo_context_set_font_options(context_, options);
  cairo_font_options_destroy(options);
  pango_cairo_context_set_resolution(context_, 72);
  pango_context_set_round_glyph_positions(context_, FALSE);
  pango_context_set_language(context_, pango_language_from_string("en-us"));
  pango_context_set_base_dir(context_, PANGO_DIRECTION_LTR);
}

FontSystem::~FontSystem() {
  const auto held = lock();
  for (auto& entry : descriptions_) pango_font_description_free(entry.second);
  if (context_) g_object_unref(context_);
  if (fontMap_) {
    // pango keeps its reference to the configuration past the map's end: handed back
    // first, it goes, with every font file read into it.
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fontMap_), nullptr);
    g_object_unref(fontMap_);
  }
}

void FontSystem::destroyShared() {
  FontSystem* built = nullptr;
  {
    std::lock_guard lock(sharedMutex);
    built = std::exchange(sharedInstance, nullptr);
  }
  delete built;
}

const PangoFontDescription* FontSystem::description(const UIFont& font) {
  const auto held = lock();
  auto key = std::make_pair(font.pointSize(), font.weight());
  auto found = descriptions_.find(key);
  if (found != descriptions_.end()) return found->second;
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family_static(description, UIFont::familyName());
  pango_font_description_set_weight(description, pangoWeight(font.weight()));
  pango_font_description_set_style(description, PANGO_STYLE_NORMAL);
  pango_font_description_set_absolute_size(description, font.pointSize() * PANGO_SCALE);
  descriptions_.emplace(key, description);
  return description;
}

FontSystem::Metrics FontSystem::metrics(const UIFont& font) {
  const auto held = lock();
  auto key = std::make_pair(font.pointSize(), font.weight());
  auto found = metrics_.find(key);
  if (found != metrics_.end()) return found->second;
  PangoFontMetrics* pango = pango_context_get_metrics(context_, description(font), nullptr);
  Metrics metrics{pango_font_metrics_get_ascent(pango) / double(PANGO_SCALE),
                  pango_font_metrics_get_descent(pango) / double(PANGO_SCALE)};
  pango_font_metrics_unref(pango);
  metrics_.emplace(key, metrics);
  return metrics;
}

}  // namespace tilo::platform
