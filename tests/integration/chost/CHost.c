/* A C11 host of the C ABI: every full-screen wrapper driven through its delegate, the
 * conversions hosts of the bridge rely on, and bad input answered by named statuses. */
#include "CHost.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "tilo/tilo.h"

/* ---- checks ---------------------------------------------------------------------------- */

#define CHECK(env, condition)                                         \
  do {                                                                \
    if (!(condition)) return fail((env), __LINE__, "%s", #condition); \
  } while (0)

#define CHECK_STATUS(env, expected, call)                                                       \
  do {                                                                                          \
    const int actual_ = (call);                                                                 \
    if (actual_ != (expected)) {                                                                \
      return fail((env), __LINE__, "%s gave %s, expected %s", #call, tilo_status_name(actual_), \
                  tilo_status_name(expected));                                                  \
    }                                                                                           \
  } while (0)

#define CHECK_LOG(env, log, expected)                                                     \
  do {                                                                                    \
    if (strcmp((log)->text, (expected)) != 0) {                                           \
      return fail((env), __LINE__, "callbacks\n  were    %s\n  expected %s", (log)->text, \
                  (expected));                                                            \
    }                                                                                     \
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

/* ---- what the host records --------------------------------------------------------------- */

typedef struct host_log {
  char text[4096];
  int signal; /* set by the callbacks that end a phase */
  /* Destroyed from inside the named callback when set. */
  tilo_rewarded_ad* destroy_in_load;
  tilo_interstitial_ad* destroy_in_show;
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
  if (!info) {
    snprintf(out, size, "noinfo");
    return;
  }
  if (info->has_latency) {
    snprintf(out, size, "%lld %s %.0f %s", (long long)info->ad_format, info->ad_unit_id,
             info->latency_ms, info->ad_network ? info->ad_network : "NULL");
  } else {
    snprintf(out, size, "%lld %s none %s", (long long)info->ad_format, info->ad_unit_id,
             info->ad_network ? info->ad_network : "NULL");
  }
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
  /* Messages are cut at 24 characters: enough for "Ad is not ready to show". */
  record(log, "%s(%s|%s %lld %.24s|%s %lld)", what, text, error->domain, (long long)error->code,
         error->message, error->ad_unit_id ? error->ad_unit_id : "NULL",
         (long long)error->ad_format);
}

/* One set of delegate functions per kind: the handle types differ. */
#define HOST_CALLBACKS(kind, handle_type)                                                        \
  static void kind##_did_load(void* c, handle_type* ad, const tilo_ad_info* info) {              \
    (void)ad;                                                                                    \
    record_info((host_log*)c, #kind ".load", info);                                              \
    ((host_log*)c)->signal = 1;                                                                  \
  }                                                                                              \
  static void kind##_did_fail_to_load(void* c, handle_type* ad, const tilo_error* error) {       \
    (void)ad;                                                                                    \
    record_error((host_log*)c, #kind ".loadfail", NULL, error);                                  \
    ((host_log*)c)->signal = 1;                                                                  \
  }                                                                                              \
  static void kind##_did_show(void* c, handle_type* ad, const tilo_ad_info* info) {              \
    (void)ad;                                                                                    \
    record_info((host_log*)c, #kind ".show", info);                                              \
  }                                                                                              \
  static void kind##_did_fail_to_show(void* c, handle_type* ad, const tilo_ad_info* info,        \
                                      const tilo_error* error) {                                 \
    (void)ad;                                                                                    \
    record_error((host_log*)c, #kind ".showfail", info, error);                                  \
    ((host_log*)c)->signal = 1;                                                                  \
  }                                                                                              \
  static void kind##_did_click(void* c, handle_type* ad, const tilo_ad_info* info) {             \
    (void)ad;                                                                                    \
    record_info((host_log*)c, #kind ".click", info);                                             \
  }                                                                                              \
  static void kind##_did_record_impression(void* c, handle_type* ad, const tilo_ad_info* info) { \
    (void)ad;                                                                                    \
    record_info((host_log*)c, #kind ".impression", info);                                        \
  }                                                                                              \
  static void kind##_did_dismiss(void* c, handle_type* ad, const tilo_ad_info* info) {           \
    (void)ad;                                                                                    \
    record_info((host_log*)c, #kind ".dismiss", info);                                           \
    ((host_log*)c)->signal = 1;                                                                  \
  }                                                                                              \
  static void kind##_did_pay(void* c, handle_type* ad, const tilo_ad_info* info,                 \
                             const tilo_revenue* revenue) {                                      \
    (void)ad;                                                                                    \
    (void)info;                                                                                  \
    record((host_log*)c, #kind ".pay(%s %s %d)", revenue->value, revenue->currency_code,         \
           revenue->precision);                                                                  \
  }

HOST_CALLBACKS(rewarded, tilo_rewarded_ad)
HOST_CALLBACKS(interstitial, tilo_interstitial_ad)
HOST_CALLBACKS(open, tilo_app_open_ad)

static void rewarded_did_earn_reward(void* c, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                                     const tilo_rewarded_item* item) {
  (void)ad;
  (void)info;
  record((host_log*)c, "rewarded.reward(%lld %s)", (long long)item->amount, item->reward_type);
}

static tilo_rewarded_ad_delegate rewarded_delegate(void) {
  tilo_rewarded_ad_delegate d;
  memset(&d, 0, sizeof d);
  d.size = sizeof d;
  d.did_load = rewarded_did_load;
  d.did_fail_to_load = rewarded_did_fail_to_load;
  d.did_show = rewarded_did_show;
  d.did_fail_to_show = rewarded_did_fail_to_show;
  d.did_earn_reward = rewarded_did_earn_reward;
  d.did_click = rewarded_did_click;
  d.did_record_impression = rewarded_did_record_impression;
  d.did_dismiss = rewarded_did_dismiss;
  d.did_pay = rewarded_did_pay;
  return d;
}

static tilo_interstitial_ad_delegate interstitial_delegate(void) {
  tilo_interstitial_ad_delegate d;
  memset(&d, 0, sizeof d);
  d.size = sizeof d;
  d.did_load = interstitial_did_load;
  d.did_fail_to_load = interstitial_did_fail_to_load;
  d.did_show = interstitial_did_show;
  d.did_fail_to_show = interstitial_did_fail_to_show;
  d.did_click = interstitial_did_click;
  d.did_record_impression = interstitial_did_record_impression;
  d.did_dismiss = interstitial_did_dismiss;
  d.did_pay = interstitial_did_pay;
  return d;
}

static tilo_app_open_ad_delegate open_delegate(void) {
  tilo_app_open_ad_delegate d;
  memset(&d, 0, sizeof d);
  d.size = sizeof d;
  d.did_load = open_did_load;
  d.did_fail_to_load = open_did_fail_to_load;
  d.did_show = open_did_show;
  d.did_fail_to_show = open_did_fail_to_show;
  d.did_click = open_did_click;
  d.did_record_impression = open_did_record_impression;
  d.did_dismiss = open_did_dismiss;
  d.did_pay = open_did_pay;
  return d;
}

static const char* kNoFill =
    "{\"result\":\"error\",\"error\":{\"domain\":\"com.google.admob\",\"code\":1,"
    "\"description\":\"No fill.\"}}";
static const char* kFill =
    "{\"latencies\":[0.05,0.12],\"click\":true,\"dismissAfterMs\":500,"
    "\"revenue\":{\"value\":\"0.0125\",\"currency\":\"USD\",\"precision\":3},"
    "\"reward\":{\"amount\":10,\"type\":\"coins\"}}";

/* ---- scenarios ----------------------------------------------------------------------------- */

int c_host_full_screen_delegates(c_host_env* env) {
  host_log log;
  tilo_rewarded_ad_delegate rd = rewarded_delegate();
  tilo_interstitial_ad_delegate id = interstitial_delegate();
  tilo_app_open_ad_delegate od = open_delegate();
  tilo_window* window = tilo_window_create(390, 844, 3);
  tilo_view_controller* root = tilo_window_root_view_controller(window);
  tilo_rewarded_ad* rewarded = tilo_rewarded_ad_create("reward");
  tilo_interstitial_ad* interstitial = tilo_interstitial_ad_create("inter");
  tilo_app_open_ad* open = tilo_app_open_ad_create("open");
  tilo_ad_info info;
  memset(&log, 0, sizeof log);
  CHECK(env, window && root && rewarded && interstitial && open);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_set_delegate(rewarded, &rd, &log));
  /* The interstitial's host leaves did_show and did_pay NULL: they are skipped. */
  id.did_show = NULL;
  id.did_pay = NULL;
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_set_delegate(interstitial, &id, &log));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_app_open_ad_set_delegate(open, &od, &log));

  /* 1. Show before a load: only did_fail_to_show, -24, no info, no user info. */
  CHECK_STATUS(env, 0, tilo_rewarded_ad_is_ready(rewarded));
  CHECK_STATUS(env, 0, tilo_rewarded_ad_ad_info(rewarded, &info));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_show_from(rewarded, root));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_show_from(interstitial, NULL));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_app_open_ad_show(open));
  env->advance(env->impl, 1);
  CHECK_LOG(env, &log,
            "rewarded.showfail(noinfo|com.tilo.objcbridge -24 Ad is not ready to show|NULL -1);"
            "interstitial.showfail(noinfo|com.tilo.objcbridge -24 Ad is not ready to show|NULL "
            "-1);"
            "open.showfail(noinfo|com.tilo.objcbridge -24 Ad is not ready to show|NULL -1);");

  /* 2. Load errors carry the unit and the kind's format: interstitial 1, rewarded 2,
   *    app open 4. */
  env->script(env->impl, "gad/reward", kNoFill);
  env->script(env->impl, "gad/inter", kNoFill);
  env->script(env->impl, "gad/open", kNoFill);
  reset(&log);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_load(interstitial));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  log.signal = 0;
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_load(rewarded));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  log.signal = 0;
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_app_open_ad_load(open));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  CHECK_LOG(env, &log,
            "interstitial.loadfail(noinfo|com.tilo.objcbridge 204 No fill.. If no fill per|inter "
            "1);"
            "rewarded.loadfail(noinfo|com.tilo.objcbridge 204 No fill.. If no fill per|reward 2);"
            "open.loadfail(noinfo|com.tilo.objcbridge 204 No fill.. If no fill per|open 4);");
  CHECK_STATUS(env, 0, tilo_interstitial_ad_is_ready(interstitial));

  /* 3. A rewarded fill: info with format 2 and the summed latency, then the whole
   *    presentation, revenue after the 0.15 fee as decimal text. */
  env->script(env->impl, "gad/reward", kFill);
  reset(&log);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_load(rewarded));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  CHECK_LOG(env, &log, "rewarded.load(2 reward 170 AdMob);");
  CHECK_STATUS(env, 1, tilo_rewarded_ad_is_ready(rewarded));
  CHECK_STATUS(env, 1, tilo_rewarded_ad_ad_info(rewarded, &info));
  CHECK(env, info.ad_format == TILO_AD_FORMAT_REWARDED && strcmp(info.ad_unit_id, "reward") == 0);
  CHECK(env, info.has_latency && info.latency_ms > 169.9 && info.latency_ms < 170.1);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_set_custom_data(rewarded, "level=3"));
  reset(&log);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_show_from(rewarded, root));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  CHECK_LOG(env, &log,
            "rewarded.show(2 reward 170 AdMob);rewarded.pay(0.010625 USD 3);"
            "rewarded.reward(10 coins);rewarded.impression(2 reward 170 AdMob);"
            "rewarded.click(2 reward 170 AdMob);rewarded.dismiss(2 reward 170 AdMob);");
  CHECK_STATUS(env, 0, tilo_rewarded_ad_is_ready(rewarded));

  /* 4. The interstitial (format 1) with its NULL entries skipped, and the app-open ad
   *    (format 4) shown without a view controller. */
  env->script(env->impl, "gad/inter", kFill);
  env->script(env->impl, "gad/open", kFill);
  reset(&log);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_load(interstitial));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  log.signal = 0;
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_show_from(interstitial, root));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  CHECK_LOG(env, &log,
            "interstitial.load(1 inter 170 AdMob);interstitial.impression(1 inter 170 AdMob);"
            "interstitial.click(1 inter 170 AdMob);interstitial.dismiss(1 inter 170 AdMob);");
  reset(&log);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_app_open_ad_load(open));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  log.signal = 0;
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_app_open_ad_show(open));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  CHECK_LOG(env, &log,
            "open.load(4 open 170 AdMob);open.show(4 open 170 AdMob);open.pay(0.010625 USD 3);"
            "open.impression(4 open 170 AdMob);open.click(4 open 170 AdMob);"
            "open.dismiss(4 open 170 AdMob);");

  /* 5. A cleared delegate hears nothing. */
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_app_open_ad_set_delegate(open, NULL, NULL));
  reset(&log);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_app_open_ad_show(open));
  env->advance(env->impl, 1);
  CHECK_LOG(env, &log, "");

  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_destroy(rewarded));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_destroy(interstitial));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_app_open_ad_destroy(open));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_window_destroy(window));
  return 1;
}

typedef struct thread_call {
  tilo_rewarded_ad* ad;
  int load_status;
  int destroy_status;
  int state_status;
  tilo_rewarded_ad* created;
  int create_status;
} thread_call;

static void call_from_other_thread(void* arg) {
  thread_call* call = (thread_call*)arg;
  call->load_status = tilo_rewarded_ad_load(call->ad);
  call->destroy_status = tilo_rewarded_ad_destroy(call->ad);
  call->state_status = tilo_application_set_state(TILO_APPLICATION_BACKGROUND);
  call->created = tilo_rewarded_ad_create("reward");
  call->create_status = tilo_last_status();
}

int c_host_bad_input(c_host_env* env) {
  host_log log;
  tilo_rewarded_ad_delegate rd = rewarded_delegate();
  tilo_rewarded_ad_delegate small = rewarded_delegate();
  tilo_rewarded_ad* rewarded = tilo_rewarded_ad_create("reward");
  tilo_interstitial_ad* interstitial = tilo_interstitial_ad_create("inter");
  tilo_rewarded_ad* stale = tilo_rewarded_ad_create("reward");
  int local = 0;
  char buffer[64];
  int64_t length = 0;
  thread_call call;
  memset(&log, 0, sizeof log);
  memset(&call, 0, sizeof call);
  CHECK(env, rewarded && interstitial && stale);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_set_delegate(rewarded, &rd, &log));
  env->script(env->impl, "gad/reward", kFill);

  /* 1. Strings: NULL, empty, not UTF-8 (a lone continuation byte, an overlong '/'). */
  CHECK(env, tilo_rewarded_ad_create(NULL) == NULL);
  CHECK_STATUS(env, TILO_STATUS_NULL_ARGUMENT, tilo_last_status());
  CHECK(env, tilo_interstitial_ad_create("") == NULL);
  CHECK_STATUS(env, TILO_STATUS_EMPTY_STRING, tilo_last_status());
  CHECK(env, tilo_app_open_ad_create("unit\x80") == NULL);
  CHECK_STATUS(env, TILO_STATUS_INVALID_UTF8, tilo_last_status());
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_set_user_id("player-7"));
  CHECK_STATUS(env, TILO_STATUS_INVALID_UTF8, tilo_set_user_id("bad\xc0\xaf"));
  CHECK_STATUS(env, TILO_STATUS_INVALID_UTF8,
               tilo_rewarded_ad_set_custom_data(rewarded, "\xed\xa0\x80"));
  CHECK_STATUS(env, TILO_STATUS_NULL_ARGUMENT, tilo_rewarded_ad_set_placement(rewarded, NULL));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_get_user_id(buffer, sizeof buffer, &length));
  CHECK(env, length == 8 && strcmp(buffer, "player-7") == 0);
  CHECK_STATUS(env, TILO_STATUS_BUFFER_TOO_SMALL, tilo_get_user_id(buffer, 4, &length));
  CHECK(env, length == 8);
  CHECK_STATUS(env, TILO_STATUS_INVALID_ARGUMENT,
               tilo_set_development_base_url("http://example.com"));
  CHECK_STATUS(env, TILO_STATUS_ALREADY_STARTED, tilo_set_bundle_directory("/tmp"));

  /* 2. Enumerations out of range. */
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_set_log_level(TILO_LOG_LEVEL_ERROR));
  CHECK_STATUS(env, TILO_STATUS_INVALID_ARGUMENT, tilo_set_log_level(3));
  CHECK(env, tilo_get_log_level() == TILO_LOG_LEVEL_ERROR);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_set_log_level(TILO_LOG_LEVEL_OFF));
  CHECK_STATUS(env, TILO_STATUS_INVALID_ARGUMENT, tilo_set_has_user_consent(2));
  CHECK_STATUS(env, TILO_STATUS_INVALID_ARGUMENT, tilo_set_tracking_authorization(9));
  CHECK_STATUS(env, TILO_STATUS_INVALID_ARGUMENT, tilo_application_set_state(9));
  CHECK(env, tilo_application_get_state() == TILO_APPLICATION_ACTIVE);
  CHECK(env, tilo_window_create(390, 844, 9) == NULL);
  CHECK_STATUS(env, TILO_STATUS_INVALID_ARGUMENT, tilo_last_status());
  CHECK_STATUS(env, TILO_STATUS_INVALID_ARGUMENT, tilo_run_main_loop_for(-1));

  /* 3. Handles: another kind, destroyed, never made, NULL. None starts anything. */
  CHECK_STATUS(env, TILO_STATUS_WRONG_HANDLE_TYPE,
               tilo_rewarded_ad_load((tilo_rewarded_ad*)interstitial));
  CHECK_STATUS(env, TILO_STATUS_WRONG_HANDLE_TYPE,
               tilo_interstitial_ad_destroy((tilo_interstitial_ad*)rewarded));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_destroy(stale));
  CHECK_STATUS(env, TILO_STATUS_INVALID_HANDLE, tilo_rewarded_ad_destroy(stale));
  CHECK_STATUS(env, TILO_STATUS_INVALID_HANDLE, tilo_rewarded_ad_load(stale));
  CHECK_STATUS(env, TILO_STATUS_INVALID_HANDLE, tilo_rewarded_ad_is_ready(stale));
  CHECK_STATUS(env, TILO_STATUS_INVALID_HANDLE, tilo_rewarded_ad_load((tilo_rewarded_ad*)&local));
  CHECK_STATUS(env, TILO_STATUS_INVALID_HANDLE, tilo_rewarded_ad_load(NULL));
  CHECK_STATUS(env, TILO_STATUS_INVALID_HANDLE,
               tilo_rewarded_ad_show_from(rewarded, (tilo_view_controller*)&local));
  CHECK_STATUS(env, TILO_STATUS_NULL_ARGUMENT, tilo_rewarded_ad_ad_info(rewarded, NULL));

  /* 4. A delegate struct smaller than this version's is refused; the old one stays. */
  small.size = sizeof small - sizeof small.did_pay;
  small.did_fail_to_show = NULL;
  CHECK_STATUS(env, TILO_STATUS_DELEGATE_TOO_SMALL,
               tilo_rewarded_ad_set_delegate(rewarded, &small, NULL));

  /* 5. Main-thread-only calls from another thread. */
  call.ad = rewarded;
  env->on_other_thread(env->impl, call_from_other_thread, &call);
  CHECK_STATUS(env, TILO_STATUS_WRONG_THREAD, call.load_status);
  CHECK_STATUS(env, TILO_STATUS_WRONG_THREAD, call.destroy_status);
  CHECK_STATUS(env, TILO_STATUS_WRONG_THREAD, call.state_status);
  CHECK(env, call.created == NULL);
  CHECK_STATUS(env, TILO_STATUS_WRONG_THREAD, call.create_status);
  CHECK(env, tilo_application_get_state() == TILO_APPLICATION_ACTIVE);

  /* Nothing above loaded or changed anything: the handle and its first delegate still
   * work, and a show reaches did_fail_to_show. */
  env->advance(env->impl, 5);
  CHECK_LOG(env, &log, "");
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_show_from(rewarded, NULL));
  env->advance(env->impl, 1);
  CHECK_LOG(env, &log,
            "rewarded.showfail(noinfo|com.tilo.objcbridge -24 Ad is not ready to show|NULL -1);");

  CHECK(env, strcmp(tilo_status_name(TILO_STATUS_WRONG_THREAD), "TILO_STATUS_WRONG_THREAD") == 0);
  CHECK(env, strcmp(tilo_status_name(42), "TILO_STATUS_UNKNOWN") == 0);
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_destroy(rewarded));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_destroy(interstitial));
  return 1;
}

static void destroying_did_load(void* c, tilo_rewarded_ad* ad, const tilo_ad_info* info) {
  host_log* log = (host_log*)c;
  record_info(log, "rewarded.load", info);
  record(log, "destroy=%s", tilo_status_name(tilo_rewarded_ad_destroy(log->destroy_in_load)));
  /* The handle this callback got is gone now. */
  record(log, "after=%s", tilo_status_name(tilo_rewarded_ad_show_from(ad, NULL)));
  log->signal = 1;
}

static void destroying_did_show(void* c, tilo_interstitial_ad* ad, const tilo_ad_info* info) {
  host_log* log = (host_log*)c;
  (void)ad;
  record_info(log, "interstitial.show", info);
  record(log, "destroy=%s", tilo_status_name(tilo_interstitial_ad_destroy(log->destroy_in_show)));
  record(log, "again=%s", tilo_status_name(tilo_interstitial_ad_destroy(log->destroy_in_show)));
}

int c_host_destroy_inside_callbacks(c_host_env* env) {
  host_log log;
  tilo_rewarded_ad_delegate rd = rewarded_delegate();
  tilo_interstitial_ad_delegate id = interstitial_delegate();
  memset(&log, 0, sizeof log);
  env->script(env->impl, "gad/reward", kFill);
  env->script(env->impl, "gad/inter", kFill);

  /* 1. A rewarded handle destroyed inside its own did_load: nothing after it. */
  rd.did_load = destroying_did_load;
  log.destroy_in_load = tilo_rewarded_ad_create("reward");
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_set_delegate(log.destroy_in_load, &rd, &log));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_rewarded_ad_load(log.destroy_in_load));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  env->advance(env->impl, 5);
  CHECK_LOG(env, &log,
            "rewarded.load(2 reward 170 AdMob);destroy=TILO_STATUS_OK;"
            "after=TILO_STATUS_INVALID_HANDLE;");

  /* 2. An interstitial destroyed inside did_show, mid-presentation: the impression, click
   *    and dismissal that follow reach nobody, and a second destroy is harmless. */
  reset(&log);
  id.did_show = destroying_did_show;
  log.destroy_in_show = tilo_interstitial_ad_create("inter");
  CHECK_STATUS(env, TILO_STATUS_OK,
               tilo_interstitial_ad_set_delegate(log.destroy_in_show, &id, &log));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_load(log.destroy_in_show));
  CHECK(env, env->drive_until(env->impl, &log.signal, 30));
  CHECK_STATUS(env, TILO_STATUS_OK, tilo_interstitial_ad_show_from(log.destroy_in_show, NULL));
  env->advance(env->impl, 5);
  CHECK_LOG(env, &log,
            "interstitial.load(1 inter 170 AdMob);interstitial.show(1 inter 170 AdMob);"
            "destroy=TILO_STATUS_OK;again=TILO_STATUS_INVALID_HANDLE;");
  return 1;
}
