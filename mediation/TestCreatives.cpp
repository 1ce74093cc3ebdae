#include "mediation/TestCreatives.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "mediation/CreativeImage.h"
#include "mediation/EmbeddedCreatives.h"
#include "platform/FileSystem.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemLibraries.h"

namespace tilo::mediation {

using platform::UIColor;
using platform::UIImage;

namespace {

// Pixels per point of the creative pictures.
constexpr double kCreativeScale = CreativeImage::kScale;

// Pictures, shared by every ad showing them: at most kMaxCachedImages, and all let go on a
// memory warning or in the background (made again when next shown). The files' pictures
// hold only their bytes here; their pixels, at the size drawn, are ImageRenditionCache's.
// Any thread.
class ImageCache {
 public:
  static ImageCache& shared() {
    static auto* cache = new ImageCache();  // kept for the process, like the pictures
    return *cache;
  }

  std::shared_ptr<UIImage> get(const std::string& key,
                               const std::function<std::shared_ptr<UIImage>()>& make) {
    {
      std::lock_guard lock(mutex_);
      if (!subscribed_) {
        subscribed_ = true;
        release_ = platform::NotificationCenter::defaultCenter().addCacheReleaseObserver(
            [] { shared().clear(); });
      }
      if (auto found = images_.find(key); found != images_.end()) return found->second;
    }
    auto image = make();  // decoded outside the lock
    if (!image) return nullptr;
    std::lock_guard lock(mutex_);
    if (images_.size() >= TestCreatives::kMaxCachedImages) images_.erase(images_.begin());
    return images_.emplace(key, std::move(image)).first->second;
  }

  void clear() {
    std::map<std::string, std::shared_ptr<UIImage>> gone;
    std::lock_guard lock(mutex_);
    gone.swap(images_);
  }

  std::size_t size() {
    std::lock_guard lock(mutex_);
    return images_.size();
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<UIImage>> images_;
  bool subscribed_ = false;
  platform::Subscription release_;
};

std::shared_ptr<UIImage> embedded(const std::string& name, double scale) {
  return ImageCache::shared().get(name, [&]() -> std::shared_ptr<UIImage> {
    for (std::size_t i = 0; i < kEmbeddedCreativeFileCount; ++i) {
      const auto& file = kEmbeddedCreativeFiles[i];
      if (name != file.name) continue;
      return UIImage::imageDecodedWhenDrawn(platform::Bytes(file.data, file.data + file.size),
                                            scale);
    }
    return nullptr;
  });
}

// A built-in creative: its texts, and the art its pictures are decoded from when shown.
struct Entry {
  Creative texts;
  std::string art;

  Creative withPictures() const {
    Creative creative = texts;
    creative.icon = embedded(art + "-icon.png", kCreativeScale);
    creative.media = embedded(art + "-media.png", 1.5);
    return creative;
  }
};

Entry make(const char* headline, const char* advertiser, const char* body, const char* cta,
           const char* art, const char* slug) {
  return Entry{Creative{headline, body, advertiser, cta, nullptr, nullptr,
                        "https://example.com/tilo/test-ads/" + std::string(slug)},
               art};
}

struct Catalogue {
  Entry native, interstitial, rewarded, appOpen, banner;
};

// Kept for the process, never destroyed: the start's warm-up may still read it on a pool
// thread while a host that did not shut down runs its exit handlers.
const Catalogue& catalogue() {
  static const Catalogue* built = [] {
    auto* made = new Catalogue();
    Catalogue& c = *made;
    c.native = make("Tilo Puzzle Quest", "Tilo Games",
                    "Match tiles, clear levels and collect daily rewards.", "Install", "puzzle",
                    "puzzle-quest");
    c.interstitial = make("Tilo Word Garden", "Tilo Games",
                          "Grow a garden one word at a time. New puzzles every day.", "Play now",
                          "garden", "word-garden");
    c.rewarded = make("Sky Harbor", "Tilo Games",
                      "Sail your airship between floating islands and find the lost treasure.",
                      "Install free", "harbor", "sky-harbor");
    c.appOpen = make("Tilo Puzzle Quest", "Tilo Games",
                     "A new world of tiles every week. Your daily reward is waiting.", "Get",
                     "puzzle", "puzzle-quest");
    c.banner = c.native;
    return made;
  }();
  return *built;
}

const Entry& entryFor(std::string_view format) {
  const Catalogue& c = catalogue();
  if (format == "interstitial") return c.interstitial;
  if (format == "rewarded") return c.rewarded;
  if (format == "appOpen") return c.appOpen;
  if (format == "banner" || format == "mrec") return c.banner;
  return c.native;
}

}  // namespace

Creative TestCreatives::forFormat(std::string_view format) {
  return entryFor(format).withPictures();
}

std::size_t TestCreatives::cachedImageCount() {
  return ImageCache::shared().size();
}

std::shared_ptr<UIImage> TestCreatives::image(const NativeImageSource& source, bool isIcon) {
  if (!source.generated) return source.image;
  // Generated once per kind: images are immutable and shared.
  static const auto icon =
      UIImage::generated({64, 64}, UIColor(1.0, 0.58, 0.0), UIColor::systemRedColor(), "Icon");
  static const auto media =
      UIImage::generated({320, 180}, UIColor(0.2, 0.78, 0.35), UIColor::systemBlueColor(), "Media");
  return isIcon ? icon : media;
}

Creative TestCreatives::creativeFor(const AdScript& script, std::string_view format) {
  Creative creative = forFormat(format);
  if (script.native) {
    const NativeAssets& assets = *script.native;
    creative = Creative{assets.headline,
                        assets.body,
                        assets.advertiser,
                        assets.callToAction,
                        assets.icon ? image(*assets.icon, true) : nullptr,
                        assets.media ? image(*assets.media, false) : nullptr,
                        std::nullopt};
  }
  if (script.clickUrl) creative.clickUrl = script.clickUrl;
  return creative;
}

std::optional<Creative> TestCreatives::nativeCreativeFor(const AdScript& script) {
  if (script.native) return creativeFor(script, "native");
  if (!script.testCreatives) return std::nullopt;
  Creative creative = forFormat("native");
  if (script.clickUrl) creative.clickUrl = script.clickUrl;
  return creative;
}

std::shared_ptr<UIImage> TestCreatives::bannerPicture(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  if (width == 320 && height == 50) {
    if (auto banner = embedded("banner-320x50.png", kCreativeScale)) return banner;
  }
  if (width == 300 && height == 250) {
    if (auto mrec = embedded("mrec-300x250.png", 1.5)) return mrec;
  }
  return ImageCache::shared().get(
      "generated-" + std::to_string(width) + "x" + std::to_string(height), [&] {
        return UIImage::generated(
            {static_cast<double>(width), static_cast<double>(height)}, UIColor::systemBlueColor(),
            UIColor(0.35, 0.34, 0.84),
            "Test Ad " + std::to_string(width) + "x" + std::to_string(height));
      });
}

void TestCreatives::warmUp() {
  if (platform::missingLibrary(platform::SystemFeature::graphics)) return;  // no picture
  // At their files' size, which is about what a phone-like scale draws them at; a release
  // lets them go and the next draw decodes at its own size.
  for (const auto& picture : {bannerPicture(320, 50), bannerPicture(300, 250)}) {
    if (picture) picture->decodeAhead();
  }
  const Catalogue& c = catalogue();
  for (const Entry* entry : {&c.native, &c.interstitial, &c.rewarded}) {
    const Creative creative = entry->withPictures();
    for (const auto& picture : {creative.icon, creative.media}) {
      if (picture) picture->decodeAhead();
    }
  }
}

std::optional<std::string> TestCreatives::bannerClickUrl(const AdScript& script) {
  return script.clickUrl ? script.clickUrl : entryFor("banner").texts.clickUrl;
}

GADAdValue TestCreatives::testRevenue() {
  return GADAdValue{*platform::Decimal::fromString("0.0125"), "USD", 3};
}

AdScript TestCreatives::builtInScript() {
  AdScript script;
  script.revenue = testRevenue();
  script.testCreatives = true;
  script.closedByPlayer = true;  // what a player sees: the ad stays until a tap on close
  return script;
}

std::shared_ptr<UIImage> TestCreatives::loadImageFile(const std::string& path,
                                                      std::string* problem) {
  platform::FileSystem::ReadError error;
  auto bytes = platform::FileSystem::readFile(path, &error);
  if (!bytes) {
    if (problem) *problem = error.description;
    return nullptr;
  }
  return CreativeImage::fromBytes(platform::Bytes(bytes->begin(), bytes->end()), path, problem);
}

std::optional<std::string> TestCreatives::parseScriptKey(AdScript& script, const std::string& key,
                                                         const platform::Json& value) {
  if (key == "clickUrl") {
    if (value.is_null()) {
      script.clickUrl.reset();
    } else if (!value.is_string() || value.get<std::string>().empty()) {
      return "expected a URL or null";
    } else {
      script.clickUrl = value.get<std::string>();
    }
  } else if (key == "testCreatives") {
    if (!value.is_boolean()) return "expected true or false";
    script.testCreatives = value.get<bool>();
  } else if (key == "countdownMs") {
    if (!value.is_number() || !std::isfinite(value.get<double>()) || value.get<double>() < 0) {
      return "expected a finite number >= 0";
    }
    script.countdownMs = value.get<double>();
  }
  return std::nullopt;
}

}  // namespace tilo::mediation
