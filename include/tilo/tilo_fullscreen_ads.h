/* Rewarded, interstitial and app-open ads.
 * Part of the C ABI: hosts include <tilo/tilo.h>, which includes this file. */

#ifndef TILO_TILO_FULLSCREEN_ADS_H
#define TILO_TILO_FULLSCREEN_ADS_H

#include <tilo/tilo.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------------
 * Full-screen ads. One handle per ad unit; `load` replaces the loaded ad on its next
 * success. Delegate entries are all optional.
 * ------------------------------------------------------------------------------------- */

typedef struct tilo_rewarded_ad tilo_rewarded_ad;
typedef struct tilo_interstitial_ad tilo_interstitial_ad;
typedef struct tilo_app_open_ad tilo_app_open_ad;

typedef struct tilo_rewarded_ad_delegate {
  size_t size; /* sizeof(tilo_rewarded_ad_delegate) */
  void (*did_load)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info);
  void (*did_fail_to_load)(void* context, tilo_rewarded_ad* ad, const tilo_error* error);
  void (*did_show)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info);
  /* `info` is NULL for a show before a load (code TILO_ERROR_AD_NOT_READY). */
  void (*did_fail_to_show)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                           const tilo_error* error);
  void (*did_earn_reward)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                          const tilo_rewarded_item* item);
  void (*did_click)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info);
  void (*did_record_impression)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info);
  void (*did_dismiss)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info);
  void (*did_pay)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                  const tilo_revenue* revenue);
} tilo_rewarded_ad_delegate;

typedef struct tilo_interstitial_ad_delegate {
  size_t size; /* sizeof(tilo_interstitial_ad_delegate) */
  void (*did_load)(void* context, tilo_interstitial_ad* ad, const tilo_ad_info* info);
  void (*did_fail_to_load)(void* context, tilo_interstitial_ad* ad, const tilo_error* error);
  void (*did_show)(void* context, tilo_interstitial_ad* ad, const tilo_ad_info* info);
  void (*did_fail_to_show)(void* context, tilo_interstitial_ad* ad, const tilo_ad_info* info,
                           const tilo_error* error);
  void (*did_click)(void* context, tilo_interstitial_ad* ad, const tilo_ad_info* info);
  void (*did_record_impression)(void* context, tilo_interstitial_ad* ad, const tilo_ad_info* info);
  void (*did_dismiss)(void* context, tilo_interstitial_ad* ad, const tilo_ad_info* info);
  void (*did_pay)(void* context, tilo_interstitial_ad* ad, const tilo_ad_info* info,
                  const tilo_revenue* revenue);
} tilo_interstitial_ad_delegate;

typedef struct tilo_app_open_ad_delegate {
  size_t size; /* sizeof(tilo_app_open_ad_delegate) */
  void (*did_load)(void* context, tilo_app_open_ad* ad, const tilo_ad_info* info);
  void (*did_fail_to_load)(void* context, tilo_app_open_ad* ad, const tilo_error* error);
  void (*did_show)(void* context, tilo_app_open_ad* ad, const tilo_ad_info* info);
  void (*did_fail_to_show)(void* context, tilo_app_open_ad* ad, const tilo_ad_info* info,
                           const tilo_error* error);
  void (*did_click)(void* context, tilo_app_open_ad* ad, const tilo_ad_info* info);
  void (*did_record_impression)(void* context, tilo_app_open_ad* ad, const tilo_ad_info* info);
  void (*did_dismiss)(void* context, tilo_app_open_ad* ad, const tilo_ad_info* info);
  void (*did_pay)(void* context, tilo_app_open_ad* ad, const tilo_ad_info* info,
                  const tilo_revenue* revenue);
} tilo_app_open_ad_delegate;

/* Each kind has the same functions:
 *   _create(ad_unit_id)        a new handle (NULL + tilo_last_status on bad input)
 *   _destroy(ad)               no callback of it runs afterwards; destroying again (or a
 *                              stale handle) gives TILO_STATUS_INVALID_HANDLE, nothing else
 *   _set_delegate(ad, d, ctx)  copies `d` (NULL clears the delegate)
 *   _load(ad)                  starts a load; did_load or did_fail_to_load follows
 *   _is_ready(ad)              1 or 0, or a negative tilo_status
 *   _ad_info(ad, out)          1 and *out (its strings valid until the next call on `ad`),
 *                              0 before a load, or a negative tilo_status; out->struct_size
 *                              must be set, sizeof(tilo_ad_info) (a size smaller than the
 *                              first release's struct gives TILO_STATUS_INVALID_ARGUMENT
 *                              and writes nothing)
 * and shows with _show_from(ad, view_controller) (NULL: none) or, app open, _show(ad). A
 * show before a load calls did_fail_to_show with TILO_ERROR_AD_NOT_READY and nothing else.
 * A shown ad calls did_show, did_record_impression, then did_pay for that impression;
 * then, as they happen, did_click for each click (the open-URL callback follows it) and,
 * rewarded, did_earn_reward; did_dismiss last. A failed presentation calls
 * did_fail_to_show instead of all of them.
 * A shown ad covers the window until the player taps its close button (forward taps with
 * tilo_window_tap; tilo_window_element_frame finds "<format>.close"): the button's centre
 * is 34 points left of the safe area's right edge and 22 points below its top. A rewarded ad grants its reward when its countdown ends,
 * before its close button appears. With no window to cover (shown from NULL before any window
 * exists) it is dismissed on the next turn; a test scenario's "dismissAfterMs" closes it by
 * itself. */
TILO_API tilo_rewarded_ad* tilo_rewarded_ad_create(const char* ad_unit_id);
TILO_API tilo_status tilo_rewarded_ad_destroy(tilo_rewarded_ad* ad);
TILO_API tilo_status tilo_rewarded_ad_set_delegate(tilo_rewarded_ad* ad,
                                                   const tilo_rewarded_ad_delegate* delegate,
                                                   void* context);
TILO_API tilo_status tilo_rewarded_ad_load(tilo_rewarded_ad* ad);
TILO_API tilo_status tilo_rewarded_ad_show_from(tilo_rewarded_ad* ad,
                                                tilo_view_controller* view_controller);
TILO_API int tilo_rewarded_ad_is_ready(tilo_rewarded_ad* ad);
TILO_API int tilo_rewarded_ad_ad_info(tilo_rewarded_ad* ad, tilo_ad_info* info);
/* Forwarded to the loaded ad; before a load they do nothing. */
TILO_API tilo_status tilo_rewarded_ad_set_placement(tilo_rewarded_ad* ad, const char* placement);
TILO_API tilo_status tilo_rewarded_ad_set_custom_data(tilo_rewarded_ad* ad,
                                                      const char* custom_data);

TILO_API tilo_interstitial_ad* tilo_interstitial_ad_create(const char* ad_unit_id);
TILO_API tilo_status tilo_interstitial_ad_destroy(tilo_interstitial_ad* ad);
TILO_API tilo_status tilo_interstitial_ad_set_delegate(
    tilo_interstitial_ad* ad, const tilo_interstitial_ad_delegate* delegate, void* context);
TILO_API tilo_status tilo_interstitial_ad_load(tilo_interstitial_ad* ad);
TILO_API tilo_status tilo_interstitial_ad_show_from(tilo_interstitial_ad* ad,
                                                    tilo_view_controller* view_controller);
TILO_API int tilo_interstitial_ad_is_ready(tilo_interstitial_ad* ad);
TILO_API int tilo_interstitial_ad_ad_info(tilo_interstitial_ad* ad, tilo_ad_info* info);

TILO_API tilo_app_open_ad* tilo_app_open_ad_create(const char* ad_unit_id);
TILO_API tilo_status tilo_app_open_ad_destroy(tilo_app_open_ad* ad);
TILO_API tilo_status tilo_app_open_ad_set_delegate(tilo_app_open_ad* ad,
                                                   const tilo_app_open_ad_delegate* delegate,
                                                   void* context);
TILO_API tilo_status tilo_app_open_ad_load(tilo_app_open_ad* ad);
TILO_API tilo_status tilo_app_open_ad_show(tilo_app_open_ad* ad);
TILO_API int tilo_app_open_ad_is_ready(tilo_app_open_ad* ad);
TILO_API int tilo_app_open_ad_ad_info(tilo_app_open_ad* ad, tilo_ad_info* info);

#ifdef __cplusplus
}
#endif

#endif /* TILO_TILO_FULLSCREEN_ADS_H */
