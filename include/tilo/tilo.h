/* The Tilo SDK's C ABI, for hosts that are not C++: game-engine plugins, C programs and
 * FFI bindings. One opaque handle per ad object, delegates as structs of function
 * pointers, status codes instead of exceptions.
 *
 *   static void did_load(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info) {
 *     tilo_rewarded_ad_show_from(ad, NULL);
 *   }
 *   tilo_rewarded_ad_delegate delegate = {sizeof delegate};   // NULL entries are skipped
 *   delegate.did_load = did_load;
 *   tilo_rewarded_ad* ad = tilo_rewarded_ad_create("rewarded");  // a unit of tilo-keytool init
 *   tilo_rewarded_ad_set_delegate(ad, &delegate, &game);
 *   tilo_initialize(on_init, &game);
 *   tilo_rewarded_ad_load(ad);
 *   while (running) tilo_run_main_loop_for(0);   // once per frame: runs what is due, never waits
 *   tilo_rewarded_ad_destroy(ad);
 *
 * Rules that hold for every function here:
 * - No C++ exception leaves them. Bad input returns a named tilo_status and changes
 *   nothing; tilo_status_name() spells it. Functions that make a handle return NULL on
 *   failure, and tilo_last_status() tells why (per thread).
 * - Handles are checked on every call: NULL, a destroyed handle or a pointer this library
 *   never made gives TILO_STATUS_INVALID_HANDLE, a live handle of another kind
 *   TILO_STATUS_WRONG_HANDLE_TYPE; nothing is dereferenced. Destroying twice is harmless,
 *   and a handle may be destroyed from inside its own callback (no callback of it runs
 *   after that).
 * - Strings passed in must be UTF-8; identifiers must not be empty. Strings passed to a
 *   callback, and every pointer in the structs it receives, are valid during that call
 *   only: copy what you keep.
 * - Callbacks run on the main thread, inside tilo_run_main_loop_for, with the context
 *   given to *_set_delegate (or the call) as their first argument and the handle as their
 *   second.
 * - Main thread only (else TILO_STATUS_WRONG_THREAD, and nothing happens): every function
 *   of the ad and window kinds (create, destroy and the rest) but tilo_window_render,
 *   which a render thread may call too, tilo_application_set_state
 *   and tilo_run_main_loop_for. The main thread is chosen once and never changes: the
 *   first thread that calls one of these (a pump, or creating a window or an ad); a
 *   pump from any other thread afterwards is refused. Every other function may be
 *   called from any thread without choosing it.
 * - Log callbacks, like every other callback, never run while the SDK holds a lock: a
 *   callback may call any function here.
 * - Every delegate struct (and tilo_native_asset_layout) starts with its size: set it to
 *   sizeof the struct you compiled against. Any size from the struct's first release on is
 *   taken: a host built against an older header has the entries it knew read, and those
 *   added since read as absent (NULL); a larger one, from a newer header, is read up to what
 *   this version knows. Only a size below the first release's is refused
 *   (TILO_STATUS_DELEGATE_TOO_SMALL; TILO_STATUS_INVALID_ARGUMENT for a layout).
 * - System libraries (libcurl, libcrypto, cairo, pango, fontconfig, libpng, libjpeg)
 *   are opened on first use and checked whole before any call into them: a call
 *   that needs one that cannot be loaded, or that lacks a function, returns
 *   TILO_STATUS_UNAVAILABLE (the *_create functions NULL with that tilo_last_status()),
 *   tilo_last_error_message() names the library and the error log says the same. The
 *   library never ends the host's process.
 * - fork(): the SDK's threads do not follow a process into its child. In a child forked
 *   after the SDK started, every function that needs the SDK returns TILO_STATUS_FORKED at
 *   once (the *_create functions NULL), tilo_shutdown included, and nothing of the parent's
 *   SDK is touched; the parent goes on as before. A child that wants ads execs a new
 *   program (or loads the library anew after exec).
 *
 * The first function that needs the SDK (tilo_initialize, the user and privacy setters
 * and getters, the *_create functions of ads and views) builds it from the bundle. When
 * the bundle cannot start it (no Info.plist, no "TiloAppKey" in it, the key file
 * "ios-tilo-key.txt" missing, a folder, not decrypting with the app key, or a configuration
 * without its required keys) nothing is built and the process goes on: those functions
 * return TILO_STATUS_NOT_CONFIGURED (the *_create functions NULL, with that
 * tilo_last_status()), tilo_last_error_message() says why and where the SDK looked, and
 * the same text goes to the log as an error line. Each call tries again, so a host may
 * correct its bundle and retry. The bundle, the container and the development base URL
 * can be chosen before the SDK is built, in code (tilo_set_bundle_directory ...) or by
 * environment (TILO_BUNDLE_DIR, TILO_APP_CONTAINER, TILO_API_BASE_URL).
 */
#ifndef TILO_TILO_H
#define TILO_TILO_H

#include <stddef.h>
#include <stdint.h>

#ifndef TILO_API
#define TILO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------------
 * Status codes, versions, logging
 * ------------------------------------------------------------------------------------- */

typedef enum tilo_status {
  TILO_STATUS_OK = 0,
  TILO_STATUS_INVALID_ARGUMENT = -1,   /* a number or enumeration out of range */
  TILO_STATUS_INTERNAL_ERROR = -2,     /* the SDK failed unexpectedly; nothing started */
  TILO_STATUS_NULL_ARGUMENT = -3,      /* NULL where a value is required */
  TILO_STATUS_EMPTY_STRING = -4,       /* "" where an identifier is required */
  TILO_STATUS_INVALID_UTF8 = -5,       /* a string that is not UTF-8 */
  TILO_STATUS_INVALID_HANDLE = -6,     /* NULL, destroyed, or not made by this library */
  TILO_STATUS_WRONG_HANDLE_TYPE = -7,  /* a live handle of another kind */
  TILO_STATUS_DELEGATE_TOO_SMALL = -8, /* a delegate struct smaller than this version's */
  TILO_STATUS_MISSING_CALLBACK = -9,   /* a required delegate entry is NULL */
  TILO_STATUS_WRONG_THREAD = -10,      /* main-thread-only call from another thread */
  TILO_STATUS_ALREADY_STARTED = -11,   /* a start-up setting after the SDK was built */
  TILO_STATUS_BUFFER_TOO_SMALL = -12,  /* a stride or capacity too small for the data */
  TILO_STATUS_TOO_LARGE = -13,         /* a size beyond a documented limit */
  TILO_STATUS_NOT_CONFIGURED = -14,    /* the bundle cannot start the SDK: see
                                          tilo_last_error_message() */
  TILO_STATUS_ALREADY_RECORDED = -15,  /* a native ad's impression or click reported again */
  TILO_STATUS_NOT_SHOWN = -16,         /* a native ad's click before its impression */
  TILO_STATUS_SHUT_DOWN = -17,         /* tilo_shutdown() ran: the SDK is gone for good */
  TILO_STATUS_IN_CALLBACK = -18,       /* tilo_shutdown() from inside an SDK callback */
  TILO_STATUS_UNAVAILABLE = -19,       /* a system library the call needs (cairo, pango...)
                                          cannot be loaded: tilo_last_error_message() and
                                          the error log line name it */
  TILO_STATUS_AD_SHOWING = -20,        /* the ad inspector refused to open over an ad being
                                          shown in that window: open it once it closes */
  TILO_STATUS_FORKED = -21             /* called in a child made by fork() after the SDK
                                          started: the SDK stays the parent's */
} tilo_status;

/* "TILO_STATUS_OK", "TILO_STATUS_INVALID_HANDLE", ...; "TILO_STATUS_UNKNOWN" otherwise.
 * Static storage. */
TILO_API const char* tilo_status_name(int status);
/* Why the last *_create call on this thread returned NULL (TILO_STATUS_OK after success). */
TILO_API tilo_status tilo_last_status(void);
/* The reason of the last TILO_STATUS_NOT_CONFIGURED, TILO_STATUS_UNAVAILABLE or refused
 * test scenario on this thread, "" once such a call succeeds. Never NULL; valid until the next call
 * on this thread. */
TILO_API const char* tilo_last_error_message(void);
/* The version of these headers. A host compares it with tilo_version_number() to know the
 * library it runs with is at least the one it was compiled against. */
#define TILO_VERSION_MAJOR 1
#define TILO_VERSION_MINOR 1
#define TILO_VERSION_PATCH 44
/* major × 10000 + minor × 100 + patch (minor and patch stay below 100): 10144 for 1.1.44,
 * so versions compare as numbers. */
#define TILO_VERSION_NUMBER \
  (TILO_VERSION_MAJOR * 10000 + TILO_VERSION_MINOR * 100 + TILO_VERSION_PATCH)

/* The library's version, "1.1.44" (static storage). */
TILO_API const char* tilo_version(void);
/* The library's version as TILO_VERSION_NUMBER encodes it: 10144 for 1.1.44. */
TILO_API uint32_t tilo_version_number(void);

typedef enum tilo_log_level {
  TILO_LOG_LEVEL_OFF = 0,
  TILO_LOG_LEVEL_ERROR = 1,
  TILO_LOG_LEVEL_DEBUG = 2
} tilo_log_level;

/* Logger verbosity, a tilo_log_level (initially off). Setting it does not build the SDK.
 * Enumerated arguments are taken as int so that any value a host passes can be checked. */
TILO_API tilo_status tilo_set_log_level(int level);
TILO_API tilo_log_level tilo_get_log_level(void);

/* Receives every log line ("[TILO] 14:03:07.125 DEBUG ...", no newline) instead of
 * standard output, from whichever thread logs; NULL restores standard output. The callback
 * may call any tilo_ function, also one that builds the SDK (a line may come while the
 * SDK is being built). Lines follow the log level, except the one of an error that ends
 * the process (only the C++ entry point has those), which comes whatever the level. */
typedef void (*tilo_log_callback)(void* context, tilo_log_level level, const char* line);
TILO_API tilo_status tilo_set_log_callback(tilo_log_callback callback, void* context);

/* Where clicks lead: the SDK never opens a URL, a browser or a process itself. A click on
 * an ad that has a destination (a tap on a full-screen ad's call to action, on a banner or
 * on a native ad's assets) calls `callback` with the URL, on the main thread inside
 * tilo_run_main_loop_for; the host opens it as it sees fit. The callback set when the call
 * runs is the one called. NULL (the default) logs the URL at debug level instead. */
typedef void (*tilo_open_url_callback)(void* context, const char* url);
TILO_API tilo_status tilo_set_open_url_callback(tilo_open_url_callback callback, void* context);

/* ---------------------------------------------------------------------------------------
 * Start-up settings: before the first call that builds the SDK, else
 * TILO_STATUS_ALREADY_STARTED. NULL returns to the default (environment, then built-in).
 * ------------------------------------------------------------------------------------- */

/* The folder with Info.plist and the key file (default: the executable's folder). */
TILO_API tilo_status tilo_set_bundle_directory(const char* path);
/* The application's data folder (default: $XDG_DATA_HOME/<bundle id>). */
TILO_API tilo_status tilo_set_application_container(const char* path);
/* A development backend: https://, or http:// to a loopback host, in printable ASCII
 * without spaces (else TILO_STATUS_INVALID_ARGUMENT: a line break or other control
 * character is refused, never sent). */
TILO_API tilo_status tilo_set_development_base_url(const char* url);
/* The most threads the SDK's pool runs (1 to TILO_MAX_THREADS_LIMIT, else
 * TILO_STATUS_INVALID_ARGUMENT); 0 returns to the default: the machine's cores, at most
 * TILO_DEFAULT_MAX_THREADS. The HTTP and timer threads come on top. */
#define TILO_DEFAULT_MAX_THREADS 4
#define TILO_MAX_THREADS_LIMIT 64
TILO_API tilo_status tilo_set_max_threads(int count);
/* Real ads: the OpenRTB 2.6 exchange to ask, as its full auction URL (for example
 * "https://prebid.example.com/openrtb2/auction", or the development server's
 * "http://127.0.0.1:8080/openrtb2/auction"); https://, or http:// to a loopback host,
 * else TILO_STATUS_INVALID_ARGUMENT. Without a call the bundle's Info.plist key
 * "TiloDemandURL" names it (TILO_DEMAND_URL in the environment wins over that); with
 * none, the built-in test ads answer. A test scenario (below) wins over the exchange. */
TILO_API tilo_status tilo_set_demand_url(const char* url);

/* ---------------------------------------------------------------------------------------
 * Test mode: on Linux ads come from the built-in test source, which a host scripts
 * ------------------------------------------------------------------------------------- */

/* The largest scenario, in bytes of JSON. */
#define TILO_TEST_SCENARIO_MAX_BYTES (1024 * 1024)

/* Scripts the test ad source with a JSON scenario: per mediation ad unit (or "default"),
 * "result" "fill" or "error" with its "error", "delayMs", "network", "revenue" paid after
 * the impression, "reward", "click", "dismissAfterMs", "presentError", "native" assets.
 * A bad scenario (not JSON, nested too deep, over TILO_TEST_SCENARIO_MAX_BYTES, a field of
 * the wrong type) returns TILO_STATUS_INVALID_ARGUMENT with its JSON path and the reason in
 * tilo_last_error_message() ("units.gad/1.delayMs: expected a finite number >= 0"), and the
 * scenario in force stays. NULL returns to the built-in one. Any thread, any time; without
 * a call, TILO_TEST_SCENARIO=FILE gives the scenario the SDK starts with. */
TILO_API tilo_status tilo_set_test_scenario(const char* json);

/* ---------------------------------------------------------------------------------------
 * The manager: initialization, identity, privacy, main loop, application lifecycle
 * ------------------------------------------------------------------------------------- */

/* Integer formats as hosts of the bridge see them; banner covers MREC, native covers the
 * light popup. */
typedef enum tilo_ad_format {
  TILO_AD_FORMAT_NONE = -1, /* in a tilo_error: the error names no format */
  TILO_AD_FORMAT_BANNER = 0,
  TILO_AD_FORMAT_INTERSTITIAL = 1,
  TILO_AD_FORMAT_REWARDED = 2,
  TILO_AD_FORMAT_NATIVE = 3,
  TILO_AD_FORMAT_APP_OPEN = 4
} tilo_ad_format;

/* Error domains and the bridge's own codes. */
#define TILO_ERROR_DOMAIN "com.tilo.objcbridge"
#define TILO_ERROR_DOMAIN_BANNER "com.tilo.objcbridge.banner"
#define TILO_ERROR_DOMAIN_NATIVE "com.tilo.objcbridge.native"
#define TILO_ERROR_DOMAIN_LINE_BANNER "com.tilo.objcbridge.linebanner"
#define TILO_ERROR_DOMAIN_LIGHT_POPUP "com.tilo.objcbridge.lightpopup"
#define TILO_ERROR_DOMAIN_LIGHT_POPUP_LOADER "com.tilo.objcbridge.lightpopup.loader"
#define TILO_ERROR_VIEW_FAILED (-1)   /* the views' fixed code */
#define TILO_ERROR_AD_NOT_READY (-24) /* show before a load: "Ad is not ready to show" */

/* The SDK's error codes, carried in tilo_error.code for the "com.tilo.objcbridge" domain. */
enum {
  TILO_ERROR_UNSPECIFIED = -1,
  TILO_ERROR_NOT_INITIALIZED = -2,
  TILO_ERROR_INITIALIZATION_FAILED = -3,
  TILO_ERROR_NO_FILL = 204,
  TILO_ERROR_AD_LOAD_FAILED = -5001,
  TILO_ERROR_INVALID_AD_UNIT_IDENTIFIER = -5603,
  TILO_ERROR_NETWORK_ERROR = -1000,
  TILO_ERROR_NETWORK_TIMEOUT = -1001,
  TILO_ERROR_NO_NETWORK = -1009,
  TILO_ERROR_FULLSCREEN_AD_ALREADY_SHOWING = -23,
  TILO_ERROR_FULLSCREEN_AD_NOT_READY = -24,
  TILO_ERROR_FULLSCREEN_AD_INVALID_VIEW_CONTROLLER = -25,
  TILO_ERROR_FULLSCREEN_AD_ALREADY_LOADING = -26,
  TILO_ERROR_FULLSCREEN_AD_LOAD_WHILE_SHOWING = -27
};

/* tilo_error and tilo_ad_info may grow: each starts with its size, and later versions add
 * fields only at the end. Those the SDK hands to a callback carry the size of the SDK's
 * struct: a host compiled against a newer header reads a field only when struct_size
 * covers it. */
typedef struct tilo_error {
  size_t struct_size;  /* sizeof the SDK's tilo_error */
  const char* domain;  /* TILO_ERROR_DOMAIN ... */
  int64_t code;        /* the SDK error code, -24, or a view's -1 */
  const char* message; /* the localized description */
  /* User-info entries: "adUnitId", the unit of the ad or view that failed (NULL when the
   * error belongs to none, as initialization's), and "adFormat" (full-screen ads' errors
   * only, else TILO_AD_FORMAT_NONE). */
  const char* ad_unit_id;
  int64_t ad_format;
} tilo_error;

/* A host that asks for an ad info (*_ad_info) sets struct_size to sizeof its struct; the SDK
 * writes only the fields that fit in it and sets struct_size to the bytes it wrote. */
typedef struct tilo_ad_info {
  size_t struct_size;     /* see above */
  int64_t ad_format;      /* a tilo_ad_format */
  const char* ad_unit_id; /* the Tilo ad-unit id */
  int has_latency;        /* 0: latency unknown */
  double latency_ms;
  const char* ad_network; /* the network that served the ad; NULL when unknown */
} tilo_ad_info;

typedef struct tilo_rewarded_item {
  int64_t amount;
  const char* reward_type;
} tilo_rewarded_item;

/* A paid event: revenue after the publisher's fee, as decimal text ("0.010625"), never a
 * binary floating-point number. */
typedef enum tilo_precision {
  TILO_PRECISION_UNKNOWN = 0,
  TILO_PRECISION_ESTIMATED = 1,
  TILO_PRECISION_PUBLISHER_PROVIDED = 2,
  TILO_PRECISION_EXACT = 3
} tilo_precision;

typedef struct tilo_revenue {
  const char* value;         /* decimal text */
  const char* currency_code; /* "USD" */
  int precision;             /* a tilo_precision */
} tilo_revenue;

/* A privacy choice the host may leave unset: unset values are not forwarded. */
typedef enum tilo_optional_bool { TILO_UNSET = -1, TILO_NO = 0, TILO_YES = 1 } tilo_optional_bool;

/* The user's answer to the host's tracking consent flow. */
typedef enum tilo_tracking_authorization {
  TILO_TRACKING_NOT_DETERMINED = 0,
  TILO_TRACKING_RESTRICTED = 1,
  TILO_TRACKING_DENIED = 2,
  TILO_TRACKING_AUTHORIZED = 3
} tilo_tracking_authorization;

typedef void (*tilo_initialize_callback)(void* context, const tilo_error* error);

/* Builds the SDK from the bundle and returns at once; initialization itself starts on the
 * main loop's next turn, so privacy choices set right after this call still apply.
 * `callback` (may be NULL) runs once, on the main thread, with NULL on success or an
 * error of domain TILO_ERROR_DOMAIN. */
TILO_API tilo_status tilo_initialize(tilo_initialize_callback callback, void* context);

/* The host's user id (rewarded server-side verification); NULL clears it. */
TILO_API tilo_status tilo_set_user_id(const char* user_id);
/* Privacy choices, read when initialization starts (the main loop's turn after
 * tilo_initialize): a tilo_optional_bool, or a string
 * (NULL clears it). */
TILO_API tilo_status tilo_set_has_user_consent(int value);
TILO_API tilo_status tilo_set_do_not_sell(int value);
TILO_API tilo_status tilo_set_child_directed(int value);
TILO_API tilo_status tilo_set_gdpr_consent_string(const char* value);
TILO_API tilo_status tilo_set_ccpa_string(const char* value);
/* Reads: the tilo_optional_bool into *value. */
TILO_API tilo_status tilo_get_has_user_consent(int* value);
TILO_API tilo_status tilo_get_do_not_sell(int* value);
TILO_API tilo_status tilo_get_child_directed(int* value);
/* Copies the string with its NUL into `buffer` (may be NULL when `capacity` is 0) and
 * stores its length without the NUL in *length (-1 when unset). A capacity too small
 * gives TILO_STATUS_BUFFER_TOO_SMALL with *length set, so a host can ask twice. */
TILO_API tilo_status tilo_get_user_id(char* buffer, size_t capacity, int64_t* length);
TILO_API tilo_status tilo_get_gdpr_consent_string(char* buffer, size_t capacity, int64_t* length);
TILO_API tilo_status tilo_get_ccpa_string(char* buffer, size_t capacity, int64_t* length);
/* The tracking authorization, a tilo_tracking_authorization, read when initialization
 * starts; only TILO_TRACKING_AUTHORIZED lets the networks track. Linux has no
 * system prompt: until the host reports its own flow's outcome the status is
 * TILO_TRACKING_NOT_DETERMINED. Setting it does not build the SDK. */
TILO_API tilo_status tilo_set_tracking_authorization(int status);

/* Runs the main loop for `seconds` (>= 0, finite) of real time, delivering callbacks.
 * Main thread only: the first pump chooses the main thread if nothing has yet, and a pump
 * from any other thread returns TILO_STATUS_WRONG_THREAD and runs nothing. Call it from
 * the host's main thread, for example once per frame with 0: it runs what is due and
 * returns without waiting (any other value blocks the thread that long). A pump with
 * nothing due allocates no memory. */
TILO_API tilo_status tilo_run_main_loop_for(double seconds);

/* Runs `task(context)` once on the main thread, inside a later tilo_run_main_loop_for,
 * after the callbacks already due. Any thread. A task still waiting when tilo_shutdown
 * runs never runs: the caller frees what `context` holds after the shutdown (the C++ API
 * defers a wrapper's destruction from another thread this way). */
typedef void (*tilo_main_thread_task)(void* context);
TILO_API tilo_status tilo_run_on_main_thread(tilo_main_thread_task task, void* context);

/* Ends the SDK, for a host about to exit or to unload the library (dlclose). Main thread
 * only, outside any callback of the SDK. It saves what must survive (the analytics events
 * not yet sent, an upload in flight included, go to disk and are sent by the next
 * process that starts the SDK, once; settings are on disk already), destroys every handle
 * (ads on screen close without callbacks), cancels every timer and request, joins every
 * thread the SDK started and frees what it holds. No callback runs during or after it.
 *
 * It is final: afterwards every function that needs the SDK returns
 * TILO_STATUS_SHUT_DOWN (the *_create functions NULL with that tilo_last_status()), old
 * handles included, and nothing is started again. tilo_status_name, tilo_version,
 * tilo_version_number, tilo_last_status, tilo_last_error_message, tilo_get_log_level and
 * tilo_application_get_state keep working. To use the SDK again, dlclose the library
 * and load it anew. A second tilo_shutdown returns TILO_STATUS_SHUT_DOWN; from another
 * thread TILO_STATUS_WRONG_THREAD; from inside a callback (a delegate, the log or open-URL
 * callback) TILO_STATUS_IN_CALLBACK, and nothing happens: call it after the pump returns.
 * Calls from other threads must have returned before it starts. A host that never calls
 * it loses nothing either: events are on disk within a second of being logged. */
TILO_API tilo_status tilo_shutdown(void);

typedef enum tilo_application_state {
  TILO_APPLICATION_ACTIVE = 0,
  TILO_APPLICATION_INACTIVE = 1,
  TILO_APPLICATION_BACKGROUND = 2 /* the SDK saves and uploads its analytics, and lets go of
                                     what a memory warning releases but the fonts */
} tilo_application_state;

/* The host's lifecycle (window focused, unfocused, hidden). Main thread only. */
TILO_API tilo_status tilo_application_set_state(int state);
TILO_API tilo_application_state tilo_application_get_state(void);
/* The host is short of memory: the SDK lets go of what it can rebuild (loaded fonts and
 * their glyphs, decoded creative pictures, the spare frame of each window); what is on
 * screen and loads under way go on. Main thread only; after tilo_shutdown
 * TILO_STATUS_SHUT_DOWN. */
TILO_API tilo_status tilo_application_did_receive_memory_warning(void);

/* ---------------------------------------------------------------------------------------
 * Windows: a view tree the host draws into an engine texture. Full-screen ads are shown
 * from the window's root view controller.
 * ------------------------------------------------------------------------------------- */

typedef struct tilo_window tilo_window;
/* Owned by its window: valid until the window is destroyed. */
typedef struct tilo_view_controller tilo_view_controller;

typedef enum tilo_appearance {
  TILO_APPEARANCE_LIGHT = 0,
  TILO_APPEARANCE_DARK = 1
} tilo_appearance;

/* The largest window, in pixels per side (points × scale). */
#define TILO_WINDOW_MAX_PIXELS 16384

/* A window of `width_pt` × `height_pt` points (finite, at least one pixel a side) at
 * `scale` pixels per point, any value from 1 to 4 (2, 3, 1.5, 2.625 ...). A side of more
 * than TILO_WINDOW_MAX_PIXELS pixels is refused with TILO_STATUS_TOO_LARGE (never cropped
 * or scaled); other bad sizes or scales (0, NaN, 5) give TILO_STATUS_INVALID_ARGUMENT. NULL on
 * failure (tilo_last_status). The host owns it: tilo_window_destroy. */
TILO_API tilo_window* tilo_window_create(double width_pt, double height_pt, double scale);
/* Takes the placed views out (their handles stay valid) and ends what is shown from the
 * window: a light popup shown there calls did_dismiss, and an interstitial or rewarded ad
 * shown from its root view controller calls did_dismiss (did_fail_to_show when it had not
 * started yet), on the next turns of the main loop. */
TILO_API tilo_status tilo_window_destroy(tilo_window* window);
/* Insets in points, each >= 0 and together smaller than the window. */
TILO_API tilo_status tilo_window_set_safe_area_insets(tilo_window* window, double top, double left,
                                                      double bottom, double right);
TILO_API tilo_status tilo_window_set_appearance(tilo_window* window, int appearance);
/* The pixel size of a render: points × scale, rounded up; at most TILO_WINDOW_MAX_PIXELS
 * a side. */
TILO_API tilo_status tilo_window_pixel_size(tilo_window* window, int* width, int* height);
/* Draws the window (with what it presents) into `buffer`: RGBA8, premultiplied alpha, the
 * pixel size above, rows `stride` bytes apart (>= width × 4). Writes every pixel on every
 * call: tilo_window_render writes only what changed. The same checks as there: a stride
 * below width × 4 gives TILO_STATUS_BUFFER_TOO_SMALL, rows beyond the address space
 * (a "negative" stride such as (size_t)-400 among them) TILO_STATUS_TOO_LARGE, and
 * nothing outside height × stride bytes from `buffer` is ever written. */
TILO_API tilo_status tilo_window_render_rgba(tilo_window* window, uint8_t* buffer, size_t stride);

/* Byte orders of a rendered pixel, in memory order. */
typedef enum tilo_pixel_format {
  TILO_PIXEL_FORMAT_RGBA = 0,               /* R, G, B, A; straight alpha */
  TILO_PIXEL_FORMAT_RGBA_PREMULTIPLIED = 1, /* R, G, B, A; colours multiplied by alpha */
  TILO_PIXEL_FORMAT_BGRA_PREMULTIPLIED = 2  /* B, G, R, A; premultiplied. cairo's ARGB32 and
                                               SDL's ARGB8888 on little-endian: a plain copy */
} tilo_pixel_format;

struct tilo_rect; /* in points for views; tilo_window_render fills it in whole pixels */

/* Draws the window into an engine's texture memory, writing only what changed since the
 * last render into this same buffer. `buffer` holds the pixel size above in
 * `pixel_format`, rows `stride` bytes apart (a multiple of 4, >= width × 4). On
 * TILO_STATUS_OK `*damaged` is the rectangle, in pixels from the top left, that was
 * written: the whole window on the first render into a buffer (or when its address,
 * stride or format changed since the last render), else the bounding box of what changed;
 * zero width and height when nothing changed, and then no byte of the buffer was touched
 * (an engine skips its texture upload). Unchanged views cost nothing: the window keeps
 * its pixels between frames and redraws only what changed, blurs included.
 * Bad input changes nothing: NULL buffer or damaged (TILO_STATUS_NULL_ARGUMENT), an
 * unknown format or a stride not a multiple of 4 (TILO_STATUS_INVALID_ARGUMENT), a stride
 * below width × 4 (TILO_STATUS_BUFFER_TOO_SMALL), rows beyond the address space
 * (TILO_STATUS_TOO_LARGE).
 *
 * Threads: any thread may call it. On the main thread it draws the window as it is now.
 * On another thread (an engine's render thread) it copies the frame the main thread
 * published last: a window rendered from another thread is published at the end of every
 * tilo_run_main_loop_for (and by every tilo_window_render on the main thread), so the
 * render thread sees the state after the last pump. Until the first pump after the first
 * such call nothing is published: TILO_STATUS_OK, an empty `*damaged`, nothing written.
 * What is synchronized: the published pixels and the damage bookkeeping, under a lock
 * per window, which a copy holds while it reads and a publish takes only to swap frames;
 * the main thread draws into pixels of its own meanwhile. The handle is checked under
 * the handle table's lock; a window destroyed on the main thread meanwhile gives
 * TILO_STATUS_INVALID_HANDLE from the next call, and a copy in flight finishes from the
 * last frame. One buffer is tracked per window: buffers used in turn get the whole
 * window each time, so keep one staging buffer and upload its damaged part. */
TILO_API tilo_status tilo_window_render(tilo_window* window, uint8_t* buffer, size_t stride,
                                        int pixel_format, struct tilo_rect* damaged);
/* A touch down and up at (x, y) in points. Returns 1 when a view handled it, 0 when not,
 * or a negative tilo_status. */
TILO_API int tilo_window_tap(tilo_window* window, double x, double y);
/* A scroll at (x, y) in points by (dx, dy) points, as a mouse wheel or a drag gives it:
 * positive dy shows what lies further down (content moves up). The innermost scrolling
 * view under the point takes it (today the ad inspector's pages; vertical only). Returns 1
 * when something scrolled, 0 when nothing could (nothing there, or already at its end),
 * or a negative tilo_status (TILO_STATUS_INVALID_ARGUMENT for a number not finite). */
TILO_API int tilo_window_scroll(tilo_window* window, double x, double y, double dx, double dy);
/* The window's root view controller, for *_show_from. */
TILO_API tilo_view_controller* tilo_window_root_view_controller(tilo_window* window);
/* Views (banner, native, line banner) are placed in a window with tilo_window_add_view
 * or tilo_window_add_view_pinned and taken out with tilo_window_remove_view (in
 * tilo_views.h). */

#ifdef __cplusplus
}
#endif

/* The ad kinds, split out to keep each header readable; hosts include only this file. */
#include <tilo/tilo_fullscreen_ads.h>
#include <tilo/tilo_inspector.h>
#include <tilo/tilo_views.h>

#endif /* TILO_TILO_H */
