// A C11 host of the C ABI: full-screen delegates, conversions, bad input as statuses.
#include "CHost.h"

#include <math.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "tilo/tilo.h"

// ---- checks ----------------------------------------------------------------------------

// The checks of a scenario function, whose driver is its `env`; the first failure returns 0.
#define CHECK(condition)                                            \
  do {                                                              \
    if (!(condition)) return fail(env, __LINE__, "%s", #condition); \
  } while (0)

#define CHECK_IS(expected, call)                                                                   \
  do {                                                                                             \
    const int actual_ = (call);                                                                    \
    if (actual_ != (expected)) {                                                                   \
      return fail(env, __LINE__, "%s gave %s (%d), expected %s", #call, tilo_status_name(actual_), \
                  actual_, tilo_status_name(expected));                                            \
    }                                                                                              \
  } while (0)

// CHECK_STATUS(INVALID_HANDLE, call): the call returns TILO_STATUS_INVALID_HANDLE.
#define CHECK_STATUS(name, call) CHECK_IS(TILO_STATUS_##name, call)
#define CHECK_OK(call) CHECK_STATUS(OK, call)

// The callbacks since the last CHECK_LOG were `expected`; the log starts afresh.
#define CHECK_LOG(log, expected)                                                        \
  do {                                                                                  \
    if (strcmp((log)->text, (expected)) != 0) {                                         \
      return fail(env, __LINE__, "callbacks\n  were    %s\n  expected %s", (log)->text, \
                  (expected));                                                          \
    }                                                                                   \
    reset(log);                                                                         \
  } while (0)

// CHECK_LOG after `seconds` of the SDK's work on mock time.
#define CHECK_LOG_AFTER(seconds, log, expected) \
  do {                                          \
    env->advance(env->impl, seconds);           \
    CHECK_LOG(log, expected);                   \
  } while (0)

// Runs until a callback that ends a phase, then re-arms the signal for the next one.
#define WAIT(log)                                           \
  do {                                                      \
    CHECK(env->drive_until(env->impl, &(log)->signal, 30)); \
    (log)->signal = 0;                                      \
  } while (0)

#define CALL_AND_WAIT(log, call) \
  do {                           \
    CHECK_OK(call);              \
    WAIT(log);                   \
  } while (0)

// A create function that returns NULL with tilo_last_status() TILO_STATUS_<name>.
#define CHECK_CREATE_FAILS(name, call)      \
  do {                                      \
    CHECK((call) == NULL);                  \
    CHECK_STATUS(name, tilo_last_status()); \
  } while (0)

static int fail(c_host_env* env, int line, const char* format, ...) {
  size_t used;
  va_list args;
  if (env->failure[0]) return 0;
  used = (size_t)snprintf(env->failure, sizeof env->failure, "CHost.c:%d: ", line);
  va_start(args, format);
  vsnprintf(env->failure + used, sizeof env->failure - used, format, args);
  va_end(args);
  return 0;
}

// ---- what the host records ---------------------------------------------------------------

typedef struct host_log {
  char text[4096];
  int signal;  // set by the callbacks that end a phase
} host_log;

static void record(host_log* log, const char* format, ...) {
  const size_t used = strlen(log->text);
  va_list args;
  va_start(args, format);
  vsnprintf(log->text + used, sizeof log->text - used, format, args);
  va_end(args);
  strncat(log->text, ";", sizeof log->text - strlen(log->text) - 1);
}

static void reset(host_log* log) {
  log->text[0] = '\0';
  log->signal = 0;
}

static void info_text(char* out, size_t size, const tilo_ad_info* info) {
  char latency[32] = "none";
  if (!info) {
    snprintf(out, size, "noinfo");
    return;
  }
  if (info->struct_size != sizeof *info) {  // a callback's struct says its size
    snprintf(out, size, "size %zu", info->struct_size);
    return;
  }
  if (info->has_latency) snprintf(latency, sizeof latency, "%.0f", info->latency_ms);
  snprintf(out, size, "%lld %s %s %s", (long long)info->ad_format, info->ad_unit_id, latency,
           info->ad_network ? info->ad_network : "NULL");
}

static void record_info(host_log* log, const char* what, const tilo_ad_info* info) {
  char text[256];
  info_text(text, sizeof text, info);
  record(log, "%s(%s)", what, text);
}

static void record_error(host_log* log, const char* what, const tilo_ad_info* info,
                         const tilo_error* error) {
  char text[256];
  info_text(text, sizeof text, info);
  // Messages are cut at 24 characters: enough for "Ad is not ready to show".
  if (error->struct_size != sizeof *error) {
    record(log, "%s(error of size %zu)", what, error->struct_size);
    return;
  }
  record(log, "%s(%s|%s %lld %.24s|%s %lld)", what, text, error->domain, (long long)error->code,
         error->message, error->ad_unit_id ? error->ad_unit_id : "NULL",
         (long long)error->ad_format);
}

// A callback that records its info; `ends` marks the callbacks that end a phase.
#define INFO_CALLBACK(name, handle_type, label, ends)                    \
  static void name(void* c, handle_type* ad, const tilo_ad_info* info) { \
    (void)ad;                                                            \
    record_info((host_log*)c, label, info);                              \
    if (ends) ((host_log*)c)->signal = 1;                                \
  }

// A load's failure, which ends a phase.
#define ERROR_CALLBACK(name, handle_type, label)                        \
  static void name(void* c, handle_type* ad, const tilo_error* error) { \
    (void)ad;                                                           \
    record_error((host_log*)c, label, NULL, error);                     \
    ((host_log*)c)->signal = 1;                                         \
  }

// One set of delegate functions per kind: the handle types differ.
#define HOST_CALLBACKS(kind, handle_type, delegate_type)                                  \
  INFO_CALLBACK(kind##_did_load, handle_type, #kind ".load", 1)                           \
  INFO_CALLBACK(kind##_did_show, handle_type, #kind ".show", 0)                           \
  INFO_CALLBACK(kind##_did_click, handle_type, #kind ".click", 0)                         \
  INFO_CALLBACK(kind##_did_record_impression, handle_type, #kind ".impression", 0)        \
  INFO_CALLBACK(kind##_did_dismiss, handle_type, #kind ".dismiss", 1)                     \
  ERROR_CALLBACK(kind##_did_fail_to_load, handle_type, #kind ".loadfail")                 \
  static void kind##_did_fail_to_show(void* c, handle_type* ad, const tilo_ad_info* info, \
                                      const tilo_error* error) {                          \
    (void)ad;                                                                             \
    record_error((host_log*)c, #kind ".showfail", info, error);                           \
    ((host_log*)c)->signal = 1;                                                           \
  }                                                                                       \
  static void kind##_did_pay(void* c, handle_type* ad, const tilo_ad_info* info,          \
                             const tilo_revenue* revenue) {                               \
    (void)ad, (void)info;                                                                 \
    record((host_log*)c, #kind ".pay(%s %s %d)", revenue->value, revenue->currency_code,  \
           revenue->precision);                                                           \
  }                                                                                       \
  static delegate_type kind##_delegate(void) {                                            \
    delegate_type d = {.size = sizeof d,                                                  \
                       .did_load = kind##_did_load,                                       \
                       .did_fail_to_load = kind##_did_fail_to_load,                       \
                       .did_show = kind##_did_show,                                       \
                       .did_fail_to_show = kind##_did_fail_to_show,                       \
                       .did_click = kind##_did_click,                                     \
                       .did_record_impression = kind##_did_record_impression,             \
                       .did_dismiss = kind##_did_dismiss,                                 \
                       .did_pay = kind##_did_pay};                                        \
    return d;                                                                             \
  }

HOST_CALLBACKS(rewarded, tilo_rewarded_ad, tilo_rewarded_ad_delegate)
HOST_CALLBACKS(interstitial, tilo_interstitial_ad, tilo_interstitial_ad_delegate)
HOST_CALLBACKS(open, tilo_app_open_ad, tilo_app_open_ad_delegate)

static void rewarded_did_earn_reward(void* c, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                                     const tilo_rewarded_item* item) {
  (void)ad, (void)info;
  record((host_log*)c, "rewarded.reward(%lld %s)", (long long)item->amount, item->reward_type);
}

#define NO_FILL                                                                  \
  "{\"result\":\"error\",\"error\":{\"domain\":\"com.google.admob\",\"code\":1," \
  "\"description\":\"No fill.\"}}"
#define FILL                                                                            \
  "{\"latencies\":[0.05,0.12],\"click\":true,\"dismissAfterMs\":500,"                   \
  "\"revenue\":{\"value\":\"1234567.891234567\",\"currency\":\"USD\",\"precision\":3}," \
  "\"reward\":{\"amount\":10,\"type\":\"coins\"}}"
// Full-screen ads that would stay on screen for ten minutes.
#define LONG_FILL \
  "{\"latencies\":[0.05,0.12],\"click\":true,\"dismissAfterMs\":600000,\"network\":null}"

// ---- scenarios -----------------------------------------------------------------------------

int c_host_full_screen_delegates(c_host_env* env) {
  host_log log = {0};
  tilo_rewarded_ad_delegate rd = rewarded_delegate();
  tilo_interstitial_ad_delegate id = interstitial_delegate();
  tilo_app_open_ad_delegate od = open_delegate();
  tilo_window* window = tilo_window_create(390, 844, 3);
  tilo_view_controller* root = tilo_window_root_view_controller(window);
  tilo_rewarded_ad* rewarded = tilo_rewarded_ad_create("reward");
  tilo_interstitial_ad* interstitial = tilo_interstitial_ad_create("inter");
  tilo_app_open_ad* open = tilo_app_open_ad_create("open");
  tilo_window* other;
  struct {
    tilo_ad_info info;
    unsigned char added[16];
  } newer;
  size_t i;
  CHECK(window && root && rewarded && interstitial && open);
  rd.did_earn_reward = rewarded_did_earn_reward;
  CHECK_OK(tilo_rewarded_ad_set_delegate(rewarded, &rd, &log));
  // The interstitial's host leaves did_show and did_pay NULL: they are skipped.
  id.did_show = NULL;
  id.did_pay = NULL;
  CHECK_OK(tilo_interstitial_ad_set_delegate(interstitial, &id, &log));
  CHECK_OK(tilo_app_open_ad_set_delegate(open, &od, &log));

  // (A show before a load: the bad-input scenario's refused delegates.)
  // 1. A no-fill: errors carry the unit and format (the kinds share the wrapper's load; their
  // format numbers: the loads below).
  CHECK_OK(tilo_set_test_scenario("{\"default\":" NO_FILL "}"));
  CALL_AND_WAIT(&log, tilo_interstitial_ad_load(interstitial));
  CHECK_LOG(&log,
            "interstitial.loadfail(noinfo|com.tilo.objcbridge 204 No fill. If no fill pers|inter "
            "1);");
  CHECK_IS(0, tilo_interstitial_ad_is_ready(interstitial));

  // 2. Pays after the fee, all 18 digits.
  CHECK_OK(tilo_set_test_scenario("{\"default\":" FILL "}"));
  CALL_AND_WAIT(&log, tilo_rewarded_ad_load(rewarded));
  CHECK_LOG(&log, "rewarded.load(2 reward 170 AdMob);");
  CHECK_IS(1, tilo_rewarded_ad_is_ready(rewarded));
  // A newer host's larger struct, then the first one's size: the SDK writes its own fields
  // and nothing past them. A size below the first struct's is refused, nothing written.
  for (i = 0; i < 4; ++i) {
    const size_t sizes[] = {sizeof newer, sizeof newer.info, 0, sizeof newer.info - 1};
    const unsigned char* bytes = (const unsigned char*)&newer;
    size_t at = i < 2 ? sizeof newer.info : sizeof(size_t);
    memset(&newer, 0xAB, sizeof newer);
    newer.info.struct_size = sizes[i];
    CHECK_IS(i < 2 ? 1 : TILO_STATUS_INVALID_ARGUMENT,
             tilo_rewarded_ad_ad_info(rewarded, &newer.info));
    CHECK(newer.info.struct_size == (i < 2 ? sizeof newer.info : sizes[i]));
    for (; at < sizeof newer; ++at) CHECK(bytes[at] == 0xAB);
    CHECK(i >= 2 || (newer.info.ad_format == TILO_AD_FORMAT_REWARDED &&
                     strcmp(newer.info.ad_unit_id, "reward") == 0 && newer.info.ad_network &&
                     newer.info.has_latency && fabs(newer.info.latency_ms - 170) < 0.1));
  }
  CHECK_OK(tilo_rewarded_ad_set_custom_data(rewarded, "level=3"));
  CALL_AND_WAIT(&log, tilo_rewarded_ad_show_from(rewarded, root));
  CHECK_LOG(&log,
            "rewarded.show(2 reward 170 AdMob);rewarded.impression(2 reward 170 AdMob);"
            "rewarded.pay(1049382.70754938195 USD 3);rewarded.reward(10 coins);"
            "rewarded.click(2 reward 170 AdMob);rewarded.dismiss(2 reward 170 AdMob);");
  CHECK_IS(0, tilo_rewarded_ad_is_ready(rewarded));

  // 3. App open shown without a controller.
  CALL_AND_WAIT(&log, tilo_app_open_ad_load(open));
  CALL_AND_WAIT(&log, tilo_app_open_ad_show(open));
  CHECK_LOG(
      &log,
      "open.load(4 open 170 AdMob);open.show(4 open 170 AdMob);open.impression(4 open 170 AdMob);"
      "open.pay(1049382.70754938195 USD 3);open.click(4 open 170 AdMob);"
      "open.dismiss(4 open 170 AdMob);");

  // 4. A cleared delegate hears nothing.
  CHECK_OK(tilo_app_open_ad_set_delegate(open, NULL, NULL));
  CHECK_OK(tilo_app_open_ad_show(open));
  CHECK_LOG_AFTER(1, &log, "");

  // 5. Ads that would stay ten minutes (from responses naming no network: NULL) go with their
  // window: an interstitial on screen (its NULL entries skipped) is dismissed at once, once; a
  // rewarded ad whose presentation has not started fails to show.
  env->script(env->impl, "gad/inter", LONG_FILL);
  env->script(env->impl, "gad/reward", LONG_FILL);
  other = tilo_window_create(390, 844, 3);
  CALL_AND_WAIT(&log, tilo_interstitial_ad_load(interstitial));
  CHECK_OK(tilo_interstitial_ad_show_from(interstitial, tilo_window_root_view_controller(other)));
  CHECK_LOG_AFTER(1, &log,
                  "interstitial.load(1 inter 170 NULL);interstitial.impression(1 inter 170 "
                  "NULL);interstitial.click(1 inter 170 NULL);");
  CHECK_OK(tilo_window_destroy(other));
  CHECK_LOG_AFTER(0.1, &log, "interstitial.dismiss(1 inter 170 NULL);");
  CHECK_LOG_AFTER(700, &log, "");
  CALL_AND_WAIT(&log, tilo_rewarded_ad_load(rewarded));
  CHECK_OK(tilo_rewarded_ad_show_from(rewarded, root));
  CHECK_OK(tilo_window_destroy(window));
  CHECK_LOG_AFTER(700, &log,
                  "rewarded.load(2 reward 170 NULL);rewarded.showfail(2 reward 170 "
                  "NULL|com.tilo.objcbridge -1 Invalid argument: The vi|reward 2);");

  CHECK_OK(tilo_rewarded_ad_destroy(rewarded));
  CHECK_OK(tilo_interstitial_ad_destroy(interstitial));
  CHECK_OK(tilo_app_open_ad_destroy(open));
  return 1;
}

// ---- views and the light popup -----------------------------------------------------------

typedef struct popup_log {
  host_log log;
  tilo_light_popup_ad* ad;  // the last popup did_load handed over
} popup_log;

static void loader_view_load(void* c, tilo_light_popup_ad_loader* loader, tilo_light_popup_ad* ad,
                             const tilo_ad_info* info) {
  popup_log* popup = (popup_log*)c;
  (void)loader;
  record_info(&popup->log, "loader.load", info);
  popup->ad = ad;
  popup->log.signal = 1;
}

// One set per view kind and the light popup loader; the contexts all start with a host_log.
#define VIEW_CALLBACKS(kind, handle_type, delegate_type)                                          \
  INFO_CALLBACK(kind##_view_click, handle_type, #kind ".click", 0)                                \
  INFO_CALLBACK(kind##_view_impression, handle_type, #kind ".impression", 0)                      \
  ERROR_CALLBACK(kind##_view_fail, handle_type, #kind ".fail")                                    \
  static void kind##_view_pay(void* c, handle_type* view, const tilo_ad_info* info,               \
                              const tilo_revenue* revenue) {                                      \
    (void)view;                                                                                   \
    record((host_log*)c, #kind ".pay(%lld %s %s %d)", (long long)info->ad_format, revenue->value, \
           revenue->currency_code, revenue->precision);                                           \
  }                                                                                               \
  static delegate_type kind##_view_delegate(void) {                                               \
    delegate_type d = {0};                                                                        \
    d.size = sizeof d;                                                                            \
    d.did_load = kind##_view_load;                                                                \
    d.did_fail_with_error = kind##_view_fail;                                                     \
    d.did_click = kind##_view_click;                                                              \
    d.did_record_impression = kind##_view_impression;                                             \
    d.did_pay = kind##_view_pay;                                                                  \
    return d;                                                                                     \
  }

INFO_CALLBACK(banner_view_load, tilo_banner_view, "banner.load", 1)
INFO_CALLBACK(native_view_load, tilo_native_view, "native.load", 1)
INFO_CALLBACK(line_view_load, tilo_line_banner_view, "line.load", 1)
VIEW_CALLBACKS(banner, tilo_banner_view, tilo_banner_view_delegate)
VIEW_CALLBACKS(native, tilo_native_view, tilo_native_view_delegate)
VIEW_CALLBACKS(line, tilo_line_banner_view, tilo_line_banner_view_delegate)
VIEW_CALLBACKS(loader, tilo_light_popup_ad_loader, tilo_light_popup_ad_loader_delegate)
INFO_CALLBACK(popup_show, tilo_light_popup_ad, "popup.show", 0)

// The host lets the popup go as soon as it has closed, from inside the callback.
static void popup_dismiss(void* c, tilo_light_popup_ad* ad, const tilo_ad_info* info) {
  popup_log* popup = (popup_log*)c;
  record_info(&popup->log, "popup.dismiss", info);
  record(&popup->log, "destroy=%s", tilo_status_name(tilo_light_popup_ad_destroy(ad)));
  popup->log.signal = 1;
}

static void popup_fail(void* c, tilo_light_popup_ad* ad, const tilo_error* error,
                       const tilo_ad_info* info) {
  (void)ad;
  record_error(&((popup_log*)c)->log, "popup.fail", info, error);
}

static const char* kViewFill =
    "{\"latencies\":[0.05,0.12],\"revenue\":{\"value\":\"0.0125\",\"currency\":\"USD\","
    "\"precision\":3},\"native\":{\"headline\":\"Title\",\"callToAction\":\"Go\"}}";

int c_host_view_delegates(c_host_env* env, c_host_views* out) {
  host_log log = {0};
  popup_log popup = {0};
  tilo_banner_view_delegate bd = banner_view_delegate();
  tilo_banner_view_delegate md = banner_view_delegate();
  tilo_native_view_delegate nd = native_view_delegate();
  tilo_line_banner_view_delegate ld = line_view_delegate();
  tilo_light_popup_ad_loader_delegate pd = loader_view_delegate();
  const tilo_light_popup_ad_delegate ad = {.size = sizeof ad,
                                           .did_show = popup_show,
                                           .did_dismiss = popup_dismiss,
                                           .did_fail_to_show = popup_fail};
  tilo_window* window = tilo_window_create(390, 844, 3);
  tilo_window* other;
  tilo_view_controller* root = tilo_window_root_view_controller(window);
  tilo_banner_view* banner = tilo_banner_view_create("banner", TILO_BANNER_SIZE_BANNER, 0);
  tilo_banner_view* mrec = tilo_banner_view_create("mrec", TILO_BANNER_SIZE_MREC, 1);
  tilo_native_view* native = tilo_native_view_create("native", 1);
  tilo_line_banner_view* line = tilo_line_banner_view_create("native", 0);
  tilo_light_popup_ad_loader* loader = tilo_light_popup_ad_loader_create("native");
  const tilo_rect title = {16, 8, 200, 20}, cta = {16, 40, 120, 32}, media = {220, 8, 100, 60};
  const tilo_native_asset_layout layout = {
      .size = sizeof layout, .title = &title, .call_to_action = &cta, .media = &media};
  const tilo_rect mrec_frame = {45, 100, 300, 250}, native_frame = {0, 400, 390, 100};
  CHECK(window && root && banner && mrec && native && line && loader);
  CHECK_OK(tilo_window_set_safe_area_insets(window, 47, 0, 34, 0));
  env->script(env->impl, "gad/banner", kViewFill);
  env->script(env->impl, "gad/mrec", kViewFill);
  env->script(env->impl, "gad/native", kViewFill);
  // The MREC's host leaves the optional entries NULL.
  md.did_click = NULL;
  md.did_record_impression = NULL;
  md.did_pay = NULL;
  CHECK_OK(tilo_banner_view_set_delegate(banner, &bd, &log));
  CHECK_OK(tilo_banner_view_set_delegate(mrec, &md, &log));
  CHECK_OK(tilo_native_view_set_delegate(native, &nd, &log));
  CHECK_OK(tilo_line_banner_view_set_delegate(line, &ld, &log));
  CHECK_OK(tilo_light_popup_ad_loader_set_delegate(loader, &pd, &popup));

  // 1. A banner without auto-load (which requests nothing until load_ad: the C++ API's
  // test) loads and pays.
  CHECK_OK(tilo_window_add_view_pinned(window, banner, TILO_WINDOW_EDGE_BOTTOM, 50));
  CHECK_OK(tilo_banner_view_set_root_view_controller(banner, root));
  CALL_AND_WAIT(&log, tilo_banner_view_load_ad(banner));
  CHECK_LOG_AFTER(1, &log,
                  "banner.load(0 banner 170 AdMob);banner.impression(0 banner 170 AdMob);"
                  "banner.pay(0 0.010625 USD 3);");
  // A tap on the banner (844 - 34 - 50 from the top) clicks on the next turn of the loop.
  CHECK_IS(1, tilo_window_tap(window, 195, 785));
  CHECK_LOG(&log, "");
  CHECK_LOG_AFTER(0.1, &log, "banner.click(0 banner 170 AdMob);");

  // 2. An MREC that auto-loads once placed: still format 0; NULL entries skipped.
  CALL_AND_WAIT(&log, tilo_window_add_view(window, mrec, mrec_frame));
  CHECK_LOG_AFTER(1, &log, "banner.load(0 mrec 170 AdMob);");

  // 3. A native view with auto-load loads on each move into the window.
  CHECK_OK(tilo_native_view_bind_native_views(native, &layout));
  CALL_AND_WAIT(&log, tilo_window_add_view(window, native, native_frame));
  env->advance(env->impl, 1);
  CHECK_OK(tilo_window_remove_view(window, native));
  CALL_AND_WAIT(&log, tilo_window_add_view(window, native, native_frame));
  CHECK_LOG(&log,
            "native.load(3 native 170 NULL);native.impression(3 native 170 AdMob);"
            "native.pay(3 0.010625 USD 3);native.load(3 native 170 NULL);");

  // 4. Failures carry each view's domain, -1 and the view's unit.
  env->script(env->impl, "gad/native", NO_FILL);
  env->script(env->impl, "gad/mrec", NO_FILL);
  CHECK_OK(tilo_window_add_view_pinned(window, line, TILO_WINDOW_EDGE_TOP, 60));
  CALL_AND_WAIT(&log, tilo_line_banner_view_load_ad(line));
  CALL_AND_WAIT(&log, tilo_native_view_load_native_ad(native));
  CALL_AND_WAIT(&log, tilo_banner_view_load_ad(mrec));
  CHECK_LOG(&log,
            "line.fail(noinfo|com.tilo.objcbridge.linebanner -1 No fill. If no fill pers|native "
            "-1);"
            "native.fail(noinfo|com.tilo.objcbridge.native -1 No fill. If no fill pers|native -1);"
            "banner.fail(noinfo|com.tilo.objcbridge.banner -1 No fill. If no fill pers|mrec -1);");
  CALL_AND_WAIT(&popup.log, tilo_light_popup_ad_loader_load_ad(loader));
  CHECK_LOG(&popup.log,
            "loader.fail(noinfo|com.tilo.objcbridge.lightpopup.loader -1 No fill. If no fill "
            "pers|native -1);");
  CHECK(popup.ad == NULL);

  // 5. A light popup: impression, did_show; in a window that goes, dismissed at once, once
  // (its timer: the popup's own test), and destroyed inside did_dismiss.
  env->script(env->impl, "gad/native", kViewFill);
  other = tilo_window_create(390, 844, 3);
  CALL_AND_WAIT(&popup.log, tilo_light_popup_ad_loader_load_ad(loader));
  CHECK(popup.ad != NULL);
  CHECK_OK(tilo_light_popup_ad_set_delegate(popup.ad, &ad, &popup));
  CHECK_LOG(&popup.log, "loader.load(3 native 170 NULL);");
  CHECK_OK(tilo_light_popup_ad_show_from(popup.ad, tilo_window_root_view_controller(other)));
  CHECK_LOG_AFTER(1, &popup.log,
                  "loader.impression(3 native 170 NULL);loader.pay(3 0.010625 USD 3);"
                  "popup.show(3 native none NULL);");
  CHECK_OK(tilo_window_destroy(other));
  CHECK_LOG_AFTER(0.1, &popup.log, "popup.dismiss(3 native none NULL);destroy=TILO_STATUS_OK;");
  CHECK_LOG_AFTER(10, &popup.log, "");
  CHECK_STATUS(INVALID_HANDLE, tilo_light_popup_ad_destroy(popup.ad));

  // 6. Colours for the C++ side to check.
  CHECK_OK(tilo_line_banner_view_set_line_background_color(line, 0x11223344u));
  CHECK_OK(tilo_line_banner_view_set_ad_mark_text_color(line, 0x000000FFu));
  CHECK_OK(tilo_line_banner_view_set_ad_mark_background_color(line, 0xFFFFFF80u));
  CHECK_OK(tilo_line_banner_view_set_title_text_color(line, 0x00FF00FFu));
  CHECK_OK(tilo_line_banner_view_set_cta_text_color(line, 0x0000FFFFu));
  CHECK_OK(tilo_line_banner_view_set_cta_background_color(line, 0xFF000000u));

  // 7. A destroyed banner leaves its window (a callback on its way when a handle is destroyed
  // is dropped: CppApiTest's interstitial destroyed in did_show).
  CHECK_OK(tilo_banner_view_destroy(banner));
  CHECK_IS(0, tilo_window_tap(window, 195, 785));
  CHECK_STATUS(INVALID_HANDLE, tilo_banner_view_destroy(banner));
  CHECK_STATUS(INVALID_HANDLE, tilo_window_remove_view(window, banner));
  CHECK_OK(tilo_banner_view_destroy(mrec));
  CHECK_OK(tilo_light_popup_ad_loader_destroy(loader));
  out->window = window;
  out->native = native;
  out->line_banner = line;
  return 1;
}

int c_host_bad_input(c_host_env* env) {
  host_log log = {0};
  tilo_rewarded_ad_delegate rd = rewarded_delegate();
  tilo_rewarded_ad_delegate small = rewarded_delegate();
  tilo_banner_view_delegate bd = banner_view_delegate();
  tilo_banner_view_delegate other = banner_view_delegate();
  tilo_light_popup_ad_loader_delegate pd = loader_view_delegate();
  tilo_window* window = tilo_window_create(390, 844, 3);
  tilo_rewarded_ad* rewarded = tilo_rewarded_ad_create("reward");
  tilo_interstitial_ad* interstitial = tilo_interstitial_ad_create("inter");
  tilo_banner_view* banner = tilo_banner_view_create("banner", TILO_BANNER_SIZE_BANNER, 0);
  tilo_native_view* native = tilo_native_view_create("native", 0);
  tilo_light_popup_ad_loader* loader = tilo_light_popup_ad_loader_create("native");
  tilo_interstitial_ad* reused;
  const tilo_rect frame = {0, 0, 320, 50};
  tilo_rect bad = {0, 0, 320, 50};
  tilo_native_asset_layout layout = {0};
  int local = 0;
  char buffer[64];
  int64_t length = 0;
  CHECK(window && rewarded && interstitial && banner && native && loader);
  CHECK_OK(tilo_rewarded_ad_set_delegate(rewarded, &rd, &log));
  CHECK_OK(tilo_banner_view_set_delegate(banner, &bd, &log));
  env->script(env->impl, "gad/reward", FILL);

  // 1. Strings: NULL, empty, not UTF-8 (a lone continuation byte, an overlong '/'); sizes.
  CHECK_CREATE_FAILS(NULL_ARGUMENT, tilo_rewarded_ad_create(NULL));
  CHECK_CREATE_FAILS(EMPTY_STRING, tilo_interstitial_ad_create(""));
  CHECK_CREATE_FAILS(INVALID_UTF8, tilo_app_open_ad_create("unit\x80"));
  CHECK_CREATE_FAILS(INVALID_ARGUMENT, tilo_banner_view_create("banner", 2, 0));
  CHECK_CREATE_FAILS(EMPTY_STRING, tilo_native_view_create("", 0));
  CHECK_CREATE_FAILS(INVALID_UTF8, tilo_line_banner_view_create("line\xff", 0));
  CHECK_CREATE_FAILS(NULL_ARGUMENT, tilo_light_popup_ad_loader_create(NULL));
  CHECK_OK(tilo_set_user_id("player-7"));
  CHECK_STATUS(INVALID_UTF8, tilo_set_user_id("bad\xc0\xaf"));
  CHECK_STATUS(INVALID_UTF8, tilo_rewarded_ad_set_custom_data(rewarded, "\xed\xa0\x80"));
  CHECK_STATUS(NULL_ARGUMENT, tilo_rewarded_ad_set_placement(rewarded, NULL));
  // Room without the NUL is too small; exactly enough is filled; nothing past it.
  memset(buffer, '#', sizeof buffer);
  CHECK_STATUS(BUFFER_TOO_SMALL, tilo_get_user_id(buffer, 8, &length));
  CHECK(length == 8 && buffer[8] == '#');
  CHECK_OK(tilo_get_user_id(buffer, 9, &length));
  CHECK(length == 8 && strcmp(buffer, "player-7") == 0 && buffer[9] == '#');

  // 2. Enumerations out of range.
  CHECK_OK(tilo_set_log_level(TILO_LOG_LEVEL_ERROR));
  CHECK_STATUS(INVALID_ARGUMENT, tilo_set_log_level(3));
  CHECK(tilo_get_log_level() == TILO_LOG_LEVEL_ERROR);
  CHECK_OK(tilo_set_log_level(TILO_LOG_LEVEL_OFF));
  CHECK_STATUS(INVALID_ARGUMENT, tilo_set_has_user_consent(2));
  CHECK_STATUS(INVALID_ARGUMENT, tilo_set_tracking_authorization(9));
  CHECK_STATUS(INVALID_ARGUMENT, tilo_application_set_state(9));
  CHECK(tilo_application_get_state() == TILO_APPLICATION_ACTIVE);
  CHECK_STATUS(INVALID_ARGUMENT, tilo_run_main_loop_for(-1));

  // 3. Handles: another kind, never made, NULL; one row per lookup (the kinds share theirs).
  // None starts anything. A handle made in a destroyed one's slot leaves that one destroyed.
  CHECK_OK(tilo_interstitial_ad_destroy(interstitial));
  reused = tilo_interstitial_ad_create("inter");
  CHECK(reused && reused != interstitial);
  CHECK_STATUS(INVALID_HANDLE, tilo_interstitial_ad_load(interstitial));
  CHECK_IS(0, tilo_interstitial_ad_is_ready(reused));
  interstitial = reused;
  CHECK_STATUS(WRONG_HANDLE_TYPE, tilo_rewarded_ad_load((tilo_rewarded_ad*)interstitial));
  CHECK_STATUS(WRONG_HANDLE_TYPE, tilo_interstitial_ad_destroy((tilo_interstitial_ad*)rewarded));
  CHECK_STATUS(WRONG_HANDLE_TYPE, tilo_window_add_view(window, rewarded, frame));
  CHECK_STATUS(WRONG_HANDLE_TYPE, tilo_window_add_view((tilo_window*)banner, banner, frame));
  CHECK_STATUS(INVALID_HANDLE, tilo_rewarded_ad_load((tilo_rewarded_ad*)&local));
  CHECK_STATUS(INVALID_HANDLE, tilo_rewarded_ad_load(NULL));
  CHECK_STATUS(INVALID_HANDLE, tilo_rewarded_ad_show_from(rewarded, (tilo_view_controller*)&local));
  CHECK_STATUS(NULL_ARGUMENT, tilo_rewarded_ad_ad_info(rewarded, NULL));
  CHECK_STATUS(INVALID_HANDLE, tilo_window_add_view(window, NULL, frame));

  // 4. Placement and layout arguments.
  bad.width = -1;
  CHECK_STATUS(INVALID_ARGUMENT, tilo_window_add_view(window, banner, bad));
  bad.width = 320;
  bad.x = 1.0 / 0.0;
  CHECK_STATUS(INVALID_ARGUMENT, tilo_window_add_view(window, banner, bad));
  CHECK_STATUS(INVALID_ARGUMENT, tilo_window_add_view_pinned(window, banner, 2, 50));
  CHECK_STATUS(INVALID_ARGUMENT,
               tilo_window_add_view_pinned(window, banner, TILO_WINDOW_EDGE_TOP, 0));
  CHECK_STATUS(INVALID_ARGUMENT, tilo_window_remove_view(window, banner));
  CHECK_STATUS(NULL_ARGUMENT, tilo_native_view_bind_native_views(native, NULL));
  // (A first release's layout, which ends before ad_mark: HostsOfTheFirstReleaseKeepWorking.)
  layout.ad_mark = &bad;
  layout.size = sizeof layout;
  CHECK_STATUS(INVALID_ARGUMENT, tilo_native_view_bind_native_views(native, &layout));
  layout.ad_mark = NULL;
  layout.media = &bad;
  CHECK_STATUS(INVALID_ARGUMENT, tilo_native_view_bind_native_views(native, &layout));

  // 5. Delegates: too small (checked before the entries), a required entry missing.
  small.size = sizeof small - sizeof small.did_pay;
  small.did_fail_to_show = NULL;
  CHECK_STATUS(DELEGATE_TOO_SMALL, tilo_rewarded_ad_set_delegate(rewarded, &small, NULL));
  other.did_fail_with_error = NULL;
  CHECK_STATUS(MISSING_CALLBACK, tilo_banner_view_set_delegate(banner, &other, NULL));
  pd.did_load = NULL;
  CHECK_STATUS(MISSING_CALLBACK, tilo_light_popup_ad_loader_set_delegate(loader, &pd, NULL));

  // Nothing above started anything, and the delegates refused left the one before (the
  // views and full-screen kinds share one set_delegate).
  CHECK_LOG_AFTER(5, &log, "");
  CHECK_OK(tilo_rewarded_ad_show_from(rewarded, NULL));
  CHECK_LOG_AFTER(
      1, &log,
      "rewarded.showfail(noinfo|com.tilo.objcbridge -24 Ad is not ready to show|NULL -1);");

  CHECK(strcmp(tilo_status_name(42), "TILO_STATUS_UNKNOWN") == 0);
  CHECK_OK(tilo_window_destroy(window));
  CHECK_OK(tilo_banner_view_destroy(banner));
  CHECK_OK(tilo_rewarded_ad_destroy(rewarded));
  CHECK_OK(tilo_interstitial_ad_destroy(interstitial));
  CHECK_OK(tilo_native_view_destroy(native));
  CHECK_OK(tilo_light_popup_ad_loader_destroy(loader));
  return 1;
}
