/* The Tilo SDK's C ABI, for hosts that are not C++: game-engine plugins, C programs and
 * FFI bindings.
 *
 *   static void on_init(void* context, const tilo_error* error) { ... }
 *   tilo_set_log_level(TILO_LOG_LEVEL_DEBUG);
 *   tilo_initialize(on_init, &game);
 *   while (running) tilo_run_main_loop_for(1.0 / 60);     // on the host's main thread
 *
 * Rules that hold for every function here:
 * - No C++ exception leaves them. Wrong arguments (a NULL handle or string where one is
 *   required, a value out of range) return TILO_STATUS_INVALID_ARGUMENT and change nothing.
 * - Callbacks run on the main thread, inside tilo_run_main_loop_for, with the context
 *   pointer given at registration as their first argument. A NULL callback is skipped.
 * - Pointers passed to a callback (errors, ad info, rewards and every string in them) are
 *   valid only during that call: copy what you keep.
 * - Handles made by a *_create function, and ad handles passed to on_load_success, belong
 *   to the host, which releases each with the matching *_destroy (NULL is ignored). Once a
 *   loader is destroyed its load, impression and click callbacks never run again; once an
 *   ad is destroyed its display callbacks (shown, failed to show, dismiss, reward) never do.
 * - Call loader and ad functions from the main thread. The setters and tilo_initialize may
 *   be called from any thread.
 *
 * The first function that needs the SDK (tilo_initialize, the user and privacy setters,
 * the loader constructors) builds it from the bundle: it ends the process when Info.plist
 * has no "TiloAppKey" or the key file "ios-tilo-key.txt" is missing or does not decrypt.
 */
#ifndef TILO_TILO_H
#define TILO_TILO_H

#ifndef TILO_EXPORT
#define TILO_EXPORT __attribute__((visibility("default")))
#endif

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum tilo_status {
  TILO_STATUS_OK = 0,
  TILO_STATUS_INVALID_ARGUMENT = -1,
  TILO_STATUS_INTERNAL_ERROR = -2 /* the SDK failed unexpectedly; nothing was started */
} tilo_status;

typedef enum tilo_log_level {
  TILO_LOG_LEVEL_OFF = 0,
  TILO_LOG_LEVEL_ERROR = 1,
  TILO_LOG_LEVEL_DEBUG = 2
} tilo_log_level;

/* The user's answer to the host's tracking consent flow. */
typedef enum tilo_tracking_authorization {
  TILO_TRACKING_NOT_DETERMINED = 0,
  TILO_TRACKING_RESTRICTED = 1,
  TILO_TRACKING_DENIED = 2,
  TILO_TRACKING_AUTHORIZED = 3
} tilo_tracking_authorization;

/* A privacy choice the host may leave unset: unset values are not forwarded. */
typedef enum tilo_optional_bool { TILO_UNSET = -1, TILO_NO = 0, TILO_YES = 1 } tilo_optional_bool;

/* An SDK error. `code` is the error's raw value (-3 initialization failed, 204 no fill,
 * -1009 no network, ...). */
typedef struct tilo_error {
  int code;
  const char* message;
} tilo_error;

typedef struct tilo_ad_info {
  const char* ad_format;  /* "interstitial", "rewarded", "appOpen", ... */
  const char* ad_unit_id; /* the Tilo ad-unit id */
  double latency_ms;      /* negative when unknown */
  const char* ad_network; /* the network that served the ad; NULL when unknown */
} tilo_ad_info;

typedef struct tilo_reward {
  int64_t amount; /* whole units; an amount beyond 64 bits arrives clamped */
  const char* type;
} tilo_reward;

typedef void (*tilo_initialize_callback)(void* context, const tilo_error* error);

/* Logger verbosity, a tilo_log_level; lines starting with "[TILO] " go to standard output.
 * Enumerated arguments are taken as int so that any value a host passes can be checked. */
TILO_EXPORT tilo_status tilo_set_log_level(int level);
/* The host's user id (rewarded server-side verification). NULL clears it. */
TILO_EXPORT tilo_status tilo_set_user_id(const char* user_id);
/* Privacy choices, read by the next tilo_initialize: a tilo_optional_bool, or a string
 * (NULL clears it). */
TILO_EXPORT tilo_status tilo_set_has_user_consent(int value);
TILO_EXPORT tilo_status tilo_set_do_not_sell(int value);
TILO_EXPORT tilo_status tilo_set_child_directed(int value);
TILO_EXPORT tilo_status tilo_set_gdpr_consent_string(const char* value);
TILO_EXPORT tilo_status tilo_set_ccpa_string(const char* value);
/* The tracking authorization, a tilo_tracking_authorization, read by the next
 * tilo_initialize: the networks are told tracking is allowed only for
 * TILO_TRACKING_AUTHORIZED. Linux has no system tracking prompt, so the SDK cannot learn
 * the answer itself; until the host reports its own consent flow's outcome the status is
 * TILO_TRACKING_NOT_DETERMINED, which counts as not authorized: the SDK never assumes a
 * consent nobody gave. Like the log level, setting it does not build the SDK. */
TILO_EXPORT tilo_status tilo_set_tracking_authorization(int status);

/* Starts initialization and returns at once. `callback` runs once, on the main thread,
 * with NULL on success or the error. */
TILO_EXPORT tilo_status tilo_initialize(tilo_initialize_callback callback, void* context);
/* Runs the main loop for `seconds` (>= 0) of real time, delivering callbacks. Call it from
 * the host's main thread, for example once per frame. */
TILO_EXPORT tilo_status tilo_run_main_loop_for(double seconds);

/* Interstitial ads. */
typedef struct tilo_interstitial_loader tilo_interstitial_loader;
typedef struct tilo_interstitial_ad tilo_interstitial_ad;

typedef struct tilo_interstitial_callbacks {
  /* `ad` is a new handle owned by the host: release it with tilo_interstitial_ad_destroy. */
  void (*on_load_success)(void* context, tilo_interstitial_ad* ad, const tilo_ad_info* info);
  void (*on_load_fail)(void* context, const tilo_error* error);
  void (*on_impression)(void* context, const tilo_ad_info* info);
  void (*on_clicked)(void* context, const tilo_ad_info* info);
  void (*on_shown)(void* context, const tilo_ad_info* info);
  void (*on_failed_to_show)(void* context, const tilo_ad_info* info, const tilo_error* error);
  void (*on_dismiss)(void* context, const tilo_ad_info* info);
} tilo_interstitial_callbacks;

/* NULL when `unit_id` is NULL. */
TILO_EXPORT tilo_interstitial_loader* tilo_interstitial_loader_create(const char* unit_id);
TILO_EXPORT void tilo_interstitial_loader_destroy(tilo_interstitial_loader* loader);
/* Starts one load. The callbacks are copied and replace those of earlier loads; the ads
 * this load delivers keep them for their display callbacks. */
TILO_EXPORT tilo_status tilo_interstitial_loader_load(tilo_interstitial_loader* loader,
                                                      const tilo_interstitial_callbacks* callbacks,
                                                      void* context);
/* 1 when the ad can be shown now, 0 when not, TILO_STATUS_INVALID_ARGUMENT for NULL. */
TILO_EXPORT int tilo_interstitial_ad_is_ready(const tilo_interstitial_ad* ad);
/* An ad shows once; a second show, or one the platform refuses, is silently ignored. */
TILO_EXPORT tilo_status tilo_interstitial_ad_show(tilo_interstitial_ad* ad);
TILO_EXPORT void tilo_interstitial_ad_destroy(tilo_interstitial_ad* ad);

/* Rewarded ads: the same, plus the reward. */
typedef struct tilo_rewarded_loader tilo_rewarded_loader;
typedef struct tilo_rewarded_ad tilo_rewarded_ad;

typedef struct tilo_rewarded_callbacks {
  /* `ad` is a new handle owned by the host: release it with tilo_rewarded_ad_destroy. */
  void (*on_load_success)(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info);
  void (*on_load_fail)(void* context, const tilo_error* error);
  void (*on_impression)(void* context, const tilo_ad_info* info);
  void (*on_clicked)(void* context, const tilo_ad_info* info);
  void (*on_shown)(void* context, const tilo_ad_info* info);
  void (*on_failed_to_show)(void* context, const tilo_ad_info* info, const tilo_error* error);
  void (*on_dismiss)(void* context, const tilo_ad_info* info);
  /* `reward` is NULL when the network granted none. */
  void (*on_earned_reward)(void* context, const tilo_ad_info* info, const tilo_reward* reward);
} tilo_rewarded_callbacks;

TILO_EXPORT tilo_rewarded_loader* tilo_rewarded_loader_create(const char* unit_id);
TILO_EXPORT void tilo_rewarded_loader_destroy(tilo_rewarded_loader* loader);
TILO_EXPORT tilo_status tilo_rewarded_loader_load(tilo_rewarded_loader* loader,
                                                  const tilo_rewarded_callbacks* callbacks,
                                                  void* context);
TILO_EXPORT int tilo_rewarded_ad_is_ready(const tilo_rewarded_ad* ad);
TILO_EXPORT tilo_status tilo_rewarded_ad_show(tilo_rewarded_ad* ad);
TILO_EXPORT void tilo_rewarded_ad_destroy(tilo_rewarded_ad* ad);

#ifdef __cplusplus
}
#endif

#endif /* TILO_TILO_H */
