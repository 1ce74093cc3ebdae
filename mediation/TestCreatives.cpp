#include "mediation/TestCreatives.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "mediation/EmbeddedCreatives.h"
#include "platform/FileSystem.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemLibraries.h"

namespace tilo::mediation {

using platform::UIColor;
using platform::UIImage;

namespace {

// Pixels per point of the creative pictures.
constexpr double kCreativeScale = 2.0;

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

// Width and height from a PNG's header chunk or a JPEG's frame header, read without
// decoding anything; nullopt when the bytes are neither.
std::optional<std::pair<long long, long long>> imageDimensions(const std::string& bytes) {
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  auto big16 = [&](std::size_t i) { return (static_cast<long long>(byte(i)) << 8) | byte(i + 1); };
  auto big32 = [&](std::size_t i) { return (big16(i) << 16) | big16(i + 2); };
  static const char kPng[] = "\x89PNG\r\n\x1a\n";
  if (bytes.size() >= 24 && bytes.compare(0, 8, kPng, 8) == 0 &&
      bytes.compare(12, 4, "IHDR") == 0) {
    return std::pair{big32(16), big32(20)};
  }
  if (bytes.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8) return std::nullopt;
  // JPEG: walk the segments up to the frame header (SOF0..SOF15 but DHT, JPG and DAC).
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (byte(at) != 0xFF) return std::nullopt;
    const std::uint8_t marker = byte(at + 1);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;  // image data before a frame
    const long long length = big16(at + 2);
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (at + 9 > bytes.size()) return std::nullopt;
      return std::pair{big16(at + 7), big16(at + 5)};
    }
    if (length < 2) return std::nullopt;
    at += 2 + static_cast<std::size_t>(length);
  }
  return std::nullopt;
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
  auto refuse = [&](const std::string& why) -> std::shared_ptr<UIImage> {
    if (problem) *problem = why;
    return nullptr;
  };
  platform::FileSystem::ReadError error;
  auto bytes = platform::FileSystem::readFile(path, &error);
  if (!bytes) return refuse(error.description);
  const auto size = imageDimensions(*bytes);
  if (!size) return refuse(path + " is not a PNG or JPEG image");
  const auto [width, height] = *size;
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide ||
      width * height > kMaxImagePixels) {
    return refuse(path + " is " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels; a creative image has at most " + std::to_string(kMaxImageSide) +
                  " pixels a side and " + std::to_string(kMaxImagePixels) + " in all");
  }
  std::string decodeError;
  auto image = UIImage::imageDecodedWhenDrawn(platform::Bytes(bytes->begin(), bytes->end()),
                                              kCreativeScale, &decodeError);
  if (!image) return refuse(path + ": " + decodeError);
  return image;
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
