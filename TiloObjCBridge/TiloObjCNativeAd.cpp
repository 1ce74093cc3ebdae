// tilo_native_ad_loader and tilo_native_ad: native ads a host draws itself. Each loaded ad
// becomes a new tilo_native_ad handle that did_load hands to the host, which owns it from
// then on; an ad nobody receives (loader destroyed meanwhile) is released again. The ad's
// impression, clicks and revenue reach the loader's delegate.
#include <limits>

#include "Tilo/hostdrawn/TiloHostDrawnNativeAdLoader.h"
#include "TiloObjCBridge/HandleTable.h"
#include "TiloObjCBridge/TiloObjCHandleApi.h"

namespace tilo::bridge {
namespace {

// The host's ad: the SDK's, and nothing to call back (its events go to the loader).
class TiloObjCNativeAd final : public HandleObject {
 public:
  explicit TiloObjCNativeAd(std::shared_ptr<TiloHostDrawnNativeAd> ad) : ad_(std::move(ad)) {}
  const std::shared_ptr<TiloHostDrawnNativeAd>& ad() const { return ad_; }

 private:
  const std::shared_ptr<TiloHostDrawnNativeAd> ad_;
};

using Delegate = tilo_native_ad_loader_delegate;
using Handle = tilo_native_ad_loader;

class TiloObjCNativeAdLoader final
    : public HandleObject,
      public AdLoaderTarget<TiloObjCNativeAdLoader, Delegate, Handle>,
      public std::enable_shared_from_this<TiloObjCNativeAdLoader> {
 public:
  static std::shared_ptr<TiloObjCNativeAdLoader> create(const std::string& unitId) {
    auto wrapper = std::make_shared<TiloObjCNativeAdLoader>(
        TiloHostDrawnNativeAdLoader::create(TiloAdUnit{unitId, std::nullopt}), unitId);
    wrapper->installListener();
    return wrapper;
  }
  TiloObjCNativeAdLoader(std::shared_ptr<TiloHostDrawnNativeAdLoader> loader, std::string unitId)
      : loader_(std::move(loader)), unitId_(std::move(unitId)) {}

  void loadAd() { loader_->loadAd(); }
  void willDestroy() override { endDelegate(); }

 private:
  void installListener() {
    std::weak_ptr<TiloObjCNativeAdLoader> weak = weak_from_this();
    auto& listener = *loader_->listener();
    listener.onAdLoadSuccess = [weak](std::shared_ptr<TiloHostDrawnNativeAd> ad,
                                      std::optional<TiloAdInfo> info) {
      if (auto self = weak.lock()) self->loaded(std::move(ad), std::move(info));
    };
    forwardEvents(listener, TILO_ERROR_DOMAIN_NATIVE, unitId_);
    listener.onAdInternalEvent = [weak](std::optional<TiloAdInfo> info,
                                        const TiloRevenueInfo& revenue) {
      auto self = weak.lock();
      if (!self) return;
      post(self, [info, revenue](const Delegate& d, void* context, Handle* handle) {
        if (!d.did_pay) return;
        const CRevenue converted(revenue);
        d.did_pay(context, handle, CAdInfo(info).get(), converted.get());
      });
    };
  }

  void loaded(std::shared_ptr<TiloHostDrawnNativeAd> ad, std::optional<TiloAdInfo> info) {
    void* adHandle =
        HandleTable::shared().insert(HandleType::nativeAd, std::make_shared<TiloObjCNativeAd>(ad));
    if (adHandle) deliver<tilo_native_ad>(adHandle, HandleType::nativeAd, std::move(info));
  }

  const std::shared_ptr<TiloHostDrawnNativeAdLoader> loader_;
  const std::string unitId_;
};

using LoaderApi = HandleApi<TiloObjCNativeAdLoader, Handle, HandleType::nativeAdLoader>;
using AdApi = HandleApi<TiloObjCNativeAd, tilo_native_ad, HandleType::nativeAd>;

tilo_status getText(tilo_native_ad* ad, char* buffer, size_t capacity, int64_t* length,
                    std::optional<std::string> TiloAdNative::*field) {
  const auto checked = AdApi::check(ad);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  if (!length || (!buffer && capacity > 0)) return TILO_STATUS_NULL_ARGUMENT;
  return guarded([&] {
    return copyOptionalString(checked.wrapper->ad()->native().*field, buffer, capacity, length);
  });
}

tilo_status getImage(tilo_native_ad* ad, uint8_t* pixels, size_t capacity, size_t stride,
                     int pixelFormat, int* width, int* height,
                     std::shared_ptr<platform::UIImage> (*image)(const TiloHostDrawnNativeAd&)) {
  const auto checked = AdApi::check(ad);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  if (!width || !height || (!pixels && capacity > 0)) return TILO_STATUS_NULL_ARGUMENT;
  platform::PixelFormat format;
  if (!pixelFormatFrom(pixelFormat, format) || stride % 4 != 0) {
    return TILO_STATUS_INVALID_ARGUMENT;
  }
  return guarded([&] {
    auto found = image(*checked.wrapper->ad());
    // A symbol has no bitmap: the ad has no such image as far as a host can draw it.
    const bool bitmap = found && !found->isSymbol();
    *width = bitmap ? found->pixelWidth() : 0;
    *height = bitmap ? found->pixelHeight() : 0;
    if (!bitmap || *width == 0 || *height == 0) return TILO_STATUS_OK;
    const size_t pitch = stride == 0 ? static_cast<size_t>(*width) * 4 : stride;
    if (auto rows = checkPixelRows(pixels, pitch, *width, *height); rows != TILO_STATUS_OK) {
      return rows;
    }
    if (capacity < pitch * static_cast<size_t>(*height)) return TILO_STATUS_BUFFER_TOO_SMALL;
    return found->copyPixels(pixels, pitch, format) ? TILO_STATUS_OK : TILO_STATUS_INTERNAL_ERROR;
  });
}

std::shared_ptr<platform::UIImage> iconOf(const TiloHostDrawnNativeAd& ad) {
  return ad.native().icon;
}
std::shared_ptr<platform::UIImage> mediaOf(const TiloHostDrawnNativeAd& ad) {
  return ad.mediaImage();
}

tilo_status statusOf(TiloHostDrawnNativeAd::Recorded recorded) {
  switch (recorded) {
    case TiloHostDrawnNativeAd::Recorded::recorded:
      return TILO_STATUS_OK;
    case TiloHostDrawnNativeAd::Recorded::alreadyRecorded:
      return TILO_STATUS_ALREADY_RECORDED;
    case TiloHostDrawnNativeAd::Recorded::beforeImpression:
      return TILO_STATUS_NOT_SHOWN;
  }
  return TILO_STATUS_INTERNAL_ERROR;
}

}  // namespace
}  // namespace tilo::bridge

using tilo::bridge::AdApi;
using tilo::bridge::LoaderApi;

extern "C" {

tilo_native_ad_loader* tilo_native_ad_loader_create(const char* unit_id) {
  using namespace tilo::bridge;
  return LoaderApi::create(checkIdentifier(unit_id),
                           [&] { return TiloObjCNativeAdLoader::create(unit_id); });
}
tilo_status tilo_native_ad_loader_destroy(tilo_native_ad_loader* loader) {
  return LoaderApi::destroy(loader);
}
tilo_status tilo_native_ad_loader_set_delegate(tilo_native_ad_loader* loader,
                                               const tilo_native_ad_loader_delegate* delegate,
                                               void* context) {
  return LoaderApi::setDelegate(
      loader, delegate, context,
      [](const tilo_native_ad_loader_delegate& d) { return d.did_load && d.did_fail_with_error; });
}
tilo_status tilo_native_ad_loader_load_ad(tilo_native_ad_loader* loader) {
  return LoaderApi::run(loader, [](auto& wrapper) { wrapper.loadAd(); });
}

tilo_status tilo_native_ad_destroy(tilo_native_ad* ad) {
  return AdApi::destroy(ad);
}
tilo_status tilo_native_ad_get_headline(tilo_native_ad* ad, char* buffer, size_t capacity,
                                        int64_t* length) {
  return tilo::bridge::getText(ad, buffer, capacity, length, &tilo::TiloAdNative::title);
}
tilo_status tilo_native_ad_get_body(tilo_native_ad* ad, char* buffer, size_t capacity,
                                    int64_t* length) {
  return tilo::bridge::getText(ad, buffer, capacity, length, &tilo::TiloAdNative::body);
}
tilo_status tilo_native_ad_get_call_to_action(tilo_native_ad* ad, char* buffer, size_t capacity,
                                              int64_t* length) {
  return tilo::bridge::getText(ad, buffer, capacity, length, &tilo::TiloAdNative::callToAction);
}
tilo_status tilo_native_ad_get_advertiser(tilo_native_ad* ad, char* buffer, size_t capacity,
                                          int64_t* length) {
  return tilo::bridge::getText(ad, buffer, capacity, length, &tilo::TiloAdNative::advertiser);
}
tilo_status tilo_native_ad_get_icon(tilo_native_ad* ad, uint8_t* pixels, size_t capacity,
                                    size_t stride, int pixel_format, int* width, int* height) {
  return tilo::bridge::getImage(ad, pixels, capacity, stride, pixel_format, width, height,
                                tilo::bridge::iconOf);
}
tilo_status tilo_native_ad_get_media(tilo_native_ad* ad, uint8_t* pixels, size_t capacity,
                                     size_t stride, int pixel_format, int* width, int* height) {
  return tilo::bridge::getImage(ad, pixels, capacity, stride, pixel_format, width, height,
                                tilo::bridge::mediaOf);
}
tilo_status tilo_native_ad_record_impression(tilo_native_ad* ad) {
  using namespace tilo::bridge;
  const auto checked = AdApi::check(ad);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  return guarded([&] { return statusOf(checked.wrapper->ad()->recordImpression()); });
}
tilo_status tilo_native_ad_record_click(tilo_native_ad* ad) {
  using namespace tilo::bridge;
  const auto checked = AdApi::check(ad);
  if (checked.status != TILO_STATUS_OK) return checked.status;
  return guarded([&] { return statusOf(checked.wrapper->ad()->recordClick()); });
}

}  // extern "C"
