// The built-in test ads: a realistic creative for every format (headline, body,
// advertiser, call to action, icon, media and where a click leads), drawn from small PNG
// files that the library carries (mediation/creatives, embedded at build time), and the
// script every ad unit follows while no scenario is loaded: it fills at once, shows its
// format's creative and pays a test revenue on every impression.
//
//   const Creative& creative = TestCreatives::forFormat("rewarded");
//   media->setImage(creative.media);
//   Creative shown = TestCreatives::creativeFor(script, "interstitial");  // scripted or built in
//
// Image files that a scenario names go through loadImageFile, which refuses a file that
// is missing, not a PNG or JPEG, or too large, with a sentence that says which and why,
// and never decodes more than kMaxImagePixels.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "mediation/AdSource.h"
#include "mediation/CreativeImage.h"
#include "mediation/GADAdValue.h"
#include "platform/Json.h"
#include "platform/ui/UIImage.h"

namespace tilo::mediation {

// What an ad shows; any part may be missing.
struct Creative {
  std::optional<std::string> headline, body, advertiser, callToAction;
  std::shared_ptr<platform::UIImage> icon, media;
  std::optional<std::string> clickUrl;  // where a click leads
};

class TestCreatives {
 public:
  // "interstitial", "rewarded", "appOpen", "banner", "mrec"; anything else (native, the
  // light popup and line banner templates) gets the native creative.
  static Creative forFormat(std::string_view format);
  // What a full-screen ad of `format` shows: the script's "native" assets when it has
  // them, else the format's built-in creative; the script's "clickUrl" wins either way.
  static Creative creativeFor(const AdScript& script, std::string_view format);
  // The assets of a native ad: the script's, else the built-in native creative when the
  // script asks for it (testCreatives), else none.
  static std::optional<Creative> nativeCreativeFor(const AdScript& script);
  // The picture of a banner of `width` × `height` points: the built-in one for 320 × 50
  // and 300 × 250, a generated one otherwise (null for an empty size).
  static std::shared_ptr<platform::UIImage> bannerPicture(int width, int height);
  // Decodes the built-in pictures at their files' size, on any thread: the mediation does
  // it in the background as it starts, so that a first ad does not on the main thread.
  static void warmUp();
  // Where a banner's click leads: the script's clickUrl, else the built-in banner's.
  static std::optional<std::string> bannerClickUrl(const AdScript& script);

  // The script without a scenario: fills, built-in creatives, testRevenue().
  static AdScript builtInScript();
  static GADAdValue testRevenue();

  // An image asset of a script: its decoded file, or a generated picture.
  static std::shared_ptr<platform::UIImage> image(const NativeImageSource& source, bool isIcon);

  // Reads and decodes a PNG or JPEG that a scenario names (2 pixels per point). Null with
  // the reason in `problem` when it is missing, unreadable, not such an image, over
  // platform::FileSystem::kMaxReadSize bytes, or over kMaxImageSide pixels a side or
  // kMaxImagePixels in all (checked in its header, before anything is decoded).
  static std::shared_ptr<platform::UIImage> loadImageFile(const std::string& path,
                                                          std::string* problem);
  static constexpr int kMaxImageSide = CreativeImage::kMaxSide;
  // Built-in and generated pictures are kept for the next ad, this many at most; a memory
  // warning or entering the background lets them all go. The files' pictures keep only
  // their bytes: they are decoded at the size they are drawn (UIImage::imageDecodedWhenDrawn).
  static constexpr std::size_t kMaxCachedImages = 16;
  static std::size_t cachedImageCount();
  static constexpr long long kMaxImagePixels = CreativeImage::kMaxPixels;

  // The scenario keys of a unit script that belong to creatives and their presentation:
  // "clickUrl" (text, or null for none), "testCreatives" (native ads without "native"
  // assets show the built-in creative) and "countdownMs" (a rewarded ad's countdown).
  // Sets the field and returns nullopt, or returns why the value is wrong; other keys are
  // left alone (nullopt).
  static std::optional<std::string> parseScriptKey(AdScript& script, const std::string& key,
                                                   const platform::Json& value);
};

}  // namespace tilo::mediation
