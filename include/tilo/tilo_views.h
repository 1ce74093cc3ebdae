/* Banner, native and line banner views, and the light popup.
 * Part of the C ABI: hosts include <tilo/tilo.h>, which includes this file. */

#ifndef TILO_TILO_VIEWS_H
#define TILO_TILO_VIEWS_H

#include <tilo/tilo.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------------
 * Views and the light popup. Main thread only (TILO_STATUS_WRONG_THREAD otherwise).
 *
 * A view handle is a view of its own that holds the SDK's view; placed in a window it
 * shows the SDK's view at its full size. Its SDK view is made on first use (placement or
 * a load). Errors of views carry the view's own domain, code TILO_ERROR_VIEW_FAILED, the
 * SDK's message and the view's unit id in ad_unit_id; no ad format
 * (TILO_AD_FORMAT_NONE).
 * ------------------------------------------------------------------------------------- */

typedef struct tilo_banner_view tilo_banner_view;
typedef struct tilo_native_view tilo_native_view;
typedef struct tilo_line_banner_view tilo_line_banner_view;
typedef struct tilo_light_popup_ad_loader tilo_light_popup_ad_loader;
typedef struct tilo_light_popup_ad tilo_light_popup_ad;
typedef struct tilo_native_ad_loader tilo_native_ad_loader;
typedef struct tilo_native_ad tilo_native_ad;

typedef enum tilo_banner_size {
  TILO_BANNER_SIZE_BANNER = 0, /* 320 x 50 */
  TILO_BANNER_SIZE_MREC = 1    /* 300 x 250 */
} tilo_banner_size;

/* 0xRRGGBBAA */
typedef uint32_t tilo_color;

typedef struct tilo_rect {
  double x, y, width, height; /* points */
} tilo_rect;

/* Entries marked required must be set (else TILO_STATUS_MISSING_CALLBACK); the others may
 * be NULL. did_pay gives the revenue after the publisher's fee, as the full-screen ads'. */
typedef struct tilo_banner_view_delegate {
  size_t size; /* sizeof(tilo_banner_view_delegate) */
  void (*did_load)(void* context, tilo_banner_view* view, const tilo_ad_info* info); /* required */
  void (*did_fail_with_error)(void* context, tilo_banner_view* view,
                              const tilo_error* error); /* required */
  void (*did_click)(void* context, tilo_banner_view* view, const tilo_ad_info* info);
  void (*did_record_impression)(void* context, tilo_banner_view* view, const tilo_ad_info* info);
  void (*did_pay)(void* context, tilo_banner_view* view, const tilo_ad_info* info,
                  const tilo_revenue* revenue);
} tilo_banner_view_delegate;

typedef struct tilo_native_view_delegate {
  size_t size; /* sizeof(tilo_native_view_delegate) */
  void (*did_load)(void* context, tilo_native_view* view, const tilo_ad_info* info); /* required */
  void (*did_fail_with_error)(void* context, tilo_native_view* view,
                              const tilo_error* error); /* required */
  void (*did_click)(void* context, tilo_native_view* view, const tilo_ad_info* info);
  void (*did_record_impression)(void* context, tilo_native_view* view, const tilo_ad_info* info);
  void (*did_pay)(void* context, tilo_native_view* view, const tilo_ad_info* info,
                  const tilo_revenue* revenue);
} tilo_native_view_delegate;

typedef struct tilo_line_banner_view_delegate {
  size_t size; /* sizeof(tilo_line_banner_view_delegate) */
  void (*did_load)(void* context, tilo_line_banner_view* view,
                   const tilo_ad_info* info); /* required */
  void (*did_fail_with_error)(void* context, tilo_line_banner_view* view,
                              const tilo_error* error); /* required */
  void (*did_click)(void* context, tilo_line_banner_view* view, const tilo_ad_info* info);
  void (*did_record_impression)(void* context, tilo_line_banner_view* view,
                                const tilo_ad_info* info);
  void (*did_pay)(void* context, tilo_line_banner_view* view, const tilo_ad_info* info,
                  const tilo_revenue* revenue);
} tilo_line_banner_view_delegate;

typedef struct tilo_light_popup_ad_loader_delegate {
  size_t size; /* sizeof(tilo_light_popup_ad_loader_delegate) */
  /* required; `ad` is a new handle the host owns (tilo_light_popup_ad_destroy) */
  void (*did_load)(void* context, tilo_light_popup_ad_loader* loader, tilo_light_popup_ad* ad,
                   const tilo_ad_info* info);
  void (*did_fail_with_error)(void* context, tilo_light_popup_ad_loader* loader,
                              const tilo_error* error); /* required */
  void (*did_click)(void* context, tilo_light_popup_ad_loader* loader, const tilo_ad_info* info);
  void (*did_record_impression)(void* context, tilo_light_popup_ad_loader* loader,
                                const tilo_ad_info* info);
  void (*did_pay)(void* context, tilo_light_popup_ad_loader* loader, const tilo_ad_info* info,
                  const tilo_revenue* revenue);
} tilo_light_popup_ad_loader_delegate;

/* All three required. */
typedef struct tilo_light_popup_ad_delegate {
  size_t size; /* sizeof(tilo_light_popup_ad_delegate) */
  void (*did_show)(void* context, tilo_light_popup_ad* ad, const tilo_ad_info* info);
  void (*did_dismiss)(void* context, tilo_light_popup_ad* ad, const tilo_ad_info* info);
  void (*did_fail_to_show)(void* context, tilo_light_popup_ad* ad, const tilo_error* error,
                           const tilo_ad_info* info);
} tilo_light_popup_ad_delegate;

/* Each kind has _create (NULL + tilo_last_status on bad input), _destroy (no callback of
 * it runs afterwards; it leaves its window) and _set_delegate (copies the struct; NULL
 * clears it). A view with auto_load 0 loads only after its first explicit load; with
 * auto_load 1 it loads by itself once it is on screen. */
TILO_API tilo_banner_view* tilo_banner_view_create(const char* unit_id, int banner_size,
                                                   int auto_load);
TILO_API tilo_status tilo_banner_view_destroy(tilo_banner_view* view);
TILO_API tilo_status tilo_banner_view_set_delegate(tilo_banner_view* view,
                                                   const tilo_banner_view_delegate* delegate,
                                                   void* context);
TILO_API tilo_status tilo_banner_view_load_ad(tilo_banner_view* view);
/* What the ad opens pages from (NULL: none). */
TILO_API tilo_status tilo_banner_view_set_root_view_controller(
    tilo_banner_view* view, tilo_view_controller* view_controller);

/* Asset views the bridge makes for the host inside the native view, at frames in the native
 * view's coordinates (finite, sizes >= 0); a NULL entry means no such asset view. Binding
 * again replaces the earlier asset views. They stay hidden until an ad is shown; then
 * those of the assets the ad has show, with the "Ad" mark.
 *
 * They look like an ad from the start, legible in light and dark appearance (system
 * colours, resolved in the window's): the view is a card in the system background with
 * 12-point corners; the title (bold 16) and the body (14) in the label colour wrap onto as
 * many lines as their frames hold; the advertiser (13) is grey; the call to action is
 * filled (system blue, white bold 15, 8-point corners); the media's area is the secondary
 * background; the "Ad" mark is black bold 11 on yellow. tilo_native_view_set_text_color,
 * _set_background_color and _set_font restyle one part. */
typedef struct tilo_native_asset_layout {
  size_t size;                     /* sizeof(tilo_native_asset_layout) */
  const tilo_rect* icon;           /* image view */
  const tilo_rect* title;          /* label */
  const tilo_rect* advertiser;     /* label */
  const tilo_rect* body;           /* label */
  const tilo_rect* media;          /* media view */
  const tilo_rect* call_to_action; /* button */
  /* The "Ad" mark (1.1.44); NULL: the top-left corner, at its text's size. A layout from
   * headers before it, whose size ends before this entry, counts as NULL here. */
  const tilo_rect* ad_mark;
} tilo_native_asset_layout;

/* The parts of a bound native view's look (see tilo_native_asset_layout). */
typedef enum tilo_native_part {
  TILO_NATIVE_PART_CARD = 0,           /* the view behind the assets: background */
  TILO_NATIVE_PART_TITLE = 1,          /* text colour, font, background */
  TILO_NATIVE_PART_ADVERTISER = 2,     /* text colour, font, background */
  TILO_NATIVE_PART_BODY = 3,           /* text colour, font, background */
  TILO_NATIVE_PART_CALL_TO_ACTION = 4, /* text colour, font, background: its fill */
  TILO_NATIVE_PART_AD_MARK = 5,        /* text colour, font, background */
  TILO_NATIVE_PART_MEDIA = 6           /* background, around and behind the media */
} tilo_native_part;

typedef enum tilo_font_weight {
  TILO_FONT_WEIGHT_REGULAR = 0,
  TILO_FONT_WEIGHT_MEDIUM = 1,
  TILO_FONT_WEIGHT_SEMIBOLD = 2,
  TILO_FONT_WEIGHT_BOLD = 3
} tilo_font_weight;

/* A native view with auto_load 1 starts a load each time it is placed in a window. */
TILO_API tilo_native_view* tilo_native_view_create(const char* unit_id, int auto_load);
TILO_API tilo_status tilo_native_view_destroy(tilo_native_view* view);
TILO_API tilo_status tilo_native_view_set_delegate(tilo_native_view* view,
                                                   const tilo_native_view_delegate* delegate,
                                                   void* context);
TILO_API tilo_status tilo_native_view_load_native_ad(tilo_native_view* view);
/* A layout smaller than this version's, or a frame with a non-finite number or a negative
 * size, gives TILO_STATUS_INVALID_ARGUMENT. */
TILO_API tilo_status tilo_native_view_bind_native_views(tilo_native_view* view,
                                                        const tilo_native_asset_layout* layout);
/* One part's colour (0xRRGGBBAA; 0 is transparent) or font (size in points, 1 to 200; a
 * tilo_font_weight), applied at once and to later bindings; a colour set here no longer
 * follows the appearance. A part without text (card, media) has no text colour or font:
 * those, an unknown part or weight and a size out of range give
 * TILO_STATUS_INVALID_ARGUMENT. */
TILO_API tilo_status tilo_native_view_set_text_color(tilo_native_view* view, int part,
                                                     tilo_color color);
TILO_API tilo_status tilo_native_view_set_background_color(tilo_native_view* view, int part,
                                                           tilo_color color);
TILO_API tilo_status tilo_native_view_set_font(tilo_native_view* view, int part, double size,
                                               int weight);
/* Both put the SDK's view inside the native view now instead of at its first placement;
 * it is put there once. */
TILO_API tilo_status tilo_native_view_setup_custom_layout(tilo_native_view* view);
TILO_API tilo_status tilo_native_view_add_internal_native_view(tilo_native_view* view);

TILO_API tilo_line_banner_view* tilo_line_banner_view_create(const char* unit_id, int auto_load);
TILO_API tilo_status tilo_line_banner_view_destroy(tilo_line_banner_view* view);
TILO_API tilo_status tilo_line_banner_view_set_delegate(
    tilo_line_banner_view* view, const tilo_line_banner_view_delegate* delegate, void* context);
TILO_API tilo_status tilo_line_banner_view_load_ad(tilo_line_banner_view* view);
/* The line's colours, applied at once. */
TILO_API tilo_status tilo_line_banner_view_set_line_background_color(tilo_line_banner_view* view,
                                                                     tilo_color color);
TILO_API tilo_status tilo_line_banner_view_set_ad_mark_text_color(tilo_line_banner_view* view,
                                                                  tilo_color color);
TILO_API tilo_status tilo_line_banner_view_set_ad_mark_background_color(tilo_line_banner_view* view,
                                                                        tilo_color color);
TILO_API tilo_status tilo_line_banner_view_set_title_text_color(tilo_line_banner_view* view,
                                                                tilo_color color);
TILO_API tilo_status tilo_line_banner_view_set_cta_text_color(tilo_line_banner_view* view,
                                                              tilo_color color);
TILO_API tilo_status tilo_line_banner_view_set_cta_background_color(tilo_line_banner_view* view,
                                                                    tilo_color color);

/* Every load makes a new popup, handed to did_load as a tilo_light_popup_ad. */
TILO_API tilo_light_popup_ad_loader* tilo_light_popup_ad_loader_create(const char* unit_id);
TILO_API tilo_status tilo_light_popup_ad_loader_destroy(tilo_light_popup_ad_loader* loader);
TILO_API tilo_status tilo_light_popup_ad_loader_set_delegate(
    tilo_light_popup_ad_loader* loader, const tilo_light_popup_ad_loader_delegate* delegate,
    void* context);
TILO_API tilo_status tilo_light_popup_ad_loader_load_ad(tilo_light_popup_ad_loader* loader);

/* Keep the ad until did_dismiss: destroyed earlier, the popup stays on screen until its
 * close button is tapped. */
TILO_API tilo_status tilo_light_popup_ad_destroy(tilo_light_popup_ad* ad);
TILO_API tilo_status tilo_light_popup_ad_set_delegate(tilo_light_popup_ad* ad,
                                                      const tilo_light_popup_ad_delegate* delegate,
                                                      void* context);
/* Presents the popup over `view_controller` (required: NULL gives
 * TILO_STATUS_NULL_ARGUMENT); did_show once it is on screen, did_dismiss when it closes,
 * 6 seconds later or by its close button. */
TILO_API tilo_status tilo_light_popup_ad_show_from(tilo_light_popup_ad* ad,
                                                   tilo_view_controller* view_controller);
/* Closes the popup as its close button does (a presentation still fading in ends first);
 * did_dismiss follows. Nothing when it is not on screen. */
TILO_API tilo_status tilo_light_popup_ad_close(tilo_light_popup_ad* ad);
/* Colours of the popup, applied at once. */
TILO_API tilo_status tilo_light_popup_ad_set_background_color(tilo_light_popup_ad* ad,
                                                              tilo_color color);
TILO_API tilo_status tilo_light_popup_ad_set_card_view_background_color(tilo_light_popup_ad* ad,
                                                                        tilo_color color);
TILO_API tilo_status tilo_light_popup_ad_set_close_button_text_color(tilo_light_popup_ad* ad,
                                                                     tilo_color color);

/* ---------------------------------------------------------------------------------------
 * Native ads a host draws itself (an engine's own UI): no view, no window. The loader's
 * did_load hands over a tilo_native_ad whose assets the host reads; it reports the ad's
 * impression and clicks itself, and they count as a native view's do: the same analytics
 * events, did_record_impression / did_click / did_pay (revenue after the publisher's fee)
 * on the loader's delegate, the same crash markers, and a click's destination to the
 * open-URL callback. Errors carry TILO_ERROR_DOMAIN_NATIVE and TILO_ERROR_VIEW_FAILED.
 * Main thread only, reads included (TILO_STATUS_WRONG_THREAD otherwise).
 * ------------------------------------------------------------------------------------- */

typedef struct tilo_native_ad_loader_delegate {
  size_t size; /* sizeof(tilo_native_ad_loader_delegate) */
  /* required; `ad` is a new handle the host owns (tilo_native_ad_destroy) */
  void (*did_load)(void* context, tilo_native_ad_loader* loader, tilo_native_ad* ad,
                   const tilo_ad_info* info);
  void (*did_fail_with_error)(void* context, tilo_native_ad_loader* loader,
                              const tilo_error* error); /* required */
  void (*did_click)(void* context, tilo_native_ad_loader* loader, const tilo_ad_info* info);
  void (*did_record_impression)(void* context, tilo_native_ad_loader* loader,
                                const tilo_ad_info* info);
  void (*did_pay)(void* context, tilo_native_ad_loader* loader, const tilo_ad_info* info,
                  const tilo_revenue* revenue);
} tilo_native_ad_loader_delegate;

/* Every load makes a new ad; loads run side by side. Keep the loader while its ads are
 * shown: its delegate hears their impressions, clicks and revenue. */
TILO_API tilo_native_ad_loader* tilo_native_ad_loader_create(const char* unit_id);
TILO_API tilo_status tilo_native_ad_loader_destroy(tilo_native_ad_loader* loader);
TILO_API tilo_status tilo_native_ad_loader_set_delegate(
    tilo_native_ad_loader* loader, const tilo_native_ad_loader_delegate* delegate, void* context);
TILO_API tilo_status tilo_native_ad_loader_load_ad(tilo_native_ad_loader* loader);

/* After destroy every call on the ad gives TILO_STATUS_INVALID_HANDLE. */
TILO_API tilo_status tilo_native_ad_destroy(tilo_native_ad* ad);

/* Texts, UTF-8: copied with their NUL into `buffer` (may be NULL when `capacity` is 0);
 * *length is the length without the NUL, -1 when the ad has no such text (then "" is
 * written when capacity allows). A capacity too small gives TILO_STATUS_BUFFER_TOO_SMALL
 * with *length set, so a host can ask twice. */
TILO_API tilo_status tilo_native_ad_get_headline(tilo_native_ad* ad, char* buffer, size_t capacity,
                                                 int64_t* length);
TILO_API tilo_status tilo_native_ad_get_body(tilo_native_ad* ad, char* buffer, size_t capacity,
                                             int64_t* length);
TILO_API tilo_status tilo_native_ad_get_call_to_action(tilo_native_ad* ad, char* buffer,
                                                       size_t capacity, int64_t* length);
TILO_API tilo_status tilo_native_ad_get_advertiser(tilo_native_ad* ad, char* buffer,
                                                   size_t capacity, int64_t* length);

/* Images, copied into host memory in `pixel_format` (a tilo_pixel_format): *width and
 * *height (required) receive the size in pixels, 0 x 0 when the ad has no such image
 * (TILO_STATUS_OK, nothing written). Rows are `stride` bytes apart (0: width × 4; else a
 * multiple of 4, at least width × 4), so the image needs height × stride bytes of
 * `capacity`: less gives TILO_STATUS_BUFFER_TOO_SMALL with the size set and nothing
 * written (ask with NULL and 0 first). A stride not a multiple of 4 or an unknown format
 * gives TILO_STATUS_INVALID_ARGUMENT, one whose rows would pass the end of the address
 * space TILO_STATUS_TOO_LARGE. */
TILO_API tilo_status tilo_native_ad_get_icon(tilo_native_ad* ad, uint8_t* pixels, size_t capacity,
                                             size_t stride, int pixel_format, int* width,
                                             int* height);
TILO_API tilo_status tilo_native_ad_get_media(tilo_native_ad* ad, uint8_t* pixels, size_t capacity,
                                              size_t stride, int pixel_format, int* width,
                                              int* height);

/* Call once the host has drawn the ad on screen. A second call returns
 * TILO_STATUS_ALREADY_RECORDED and reports nothing. */
TILO_API tilo_status tilo_native_ad_record_impression(tilo_native_ad* ad);
/* Call when the user taps the ad's assets. Counted once: a second call returns
 * TILO_STATUS_ALREADY_RECORDED; a click before the impression (nobody saw the ad) returns
 * TILO_STATUS_NOT_SHOWN. Neither reports anything. */
TILO_API tilo_status tilo_native_ad_record_click(tilo_native_ad* ad);

/* Placing views (any of the three view handles, passed as `view`; another kind of handle
 * gives TILO_STATUS_WRONG_HANDLE_TYPE) in a window. A view is in at most one window; adding
 * it again moves it. Destroying a view removes it from its window; destroying a window
 * removes its views (their handles stay valid). */
typedef enum tilo_window_edge {
  TILO_WINDOW_EDGE_TOP = 0,   /* under the safe area's top */
  TILO_WINDOW_EDGE_BOTTOM = 1 /* above the safe area's bottom */
} tilo_window_edge;
/* At `frame`, in window points (finite, sizes >= 0). */
TILO_API tilo_status tilo_window_add_view(tilo_window* window, void* view, tilo_rect frame);
/* Full safe-area width, `height` points high (finite, > 0), on `edge` (an int
 * tilo_window_edge). */
TILO_API tilo_status tilo_window_add_view_pinned(tilo_window* window, void* view, int edge,
                                                 double height);
/* TILO_STATUS_INVALID_ARGUMENT when the view is not in this window. */
TILO_API tilo_status tilo_window_remove_view(tilo_window* window, void* view);

/* Where a part of what the window shows is, in window points: the frame of the shown view
 * whose identifier is `identifier` (the front one when several are), for a host that taps
 * for its player or draws over it. A shown full-screen ad names its parts "<format>.cta",
 * ".close", ".media", ".icon", ".title", ".body", ".adMark", ".countdown" (rewarded) and
 * ".appName" (app open), format being "interstitial", "rewarded" or "appOpen"; the light
 * popup "lightPopup.card", ".media", ".icon", ".title", ".body", ".cta", ".close",
 * ".adMark"; a bound native view its "native.adMark". TILO_STATUS_INVALID_ARGUMENT when
 * none is shown. */
TILO_API tilo_status tilo_window_element_frame(tilo_window* window, const char* identifier,
                                               tilo_rect* frame);

#ifdef __cplusplus
}
#endif

#endif /* TILO_TILO_VIEWS_H */
