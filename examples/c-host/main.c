/* A game-like C host: initializes the SDK, then loads and shows an interstitial, a
 * rewarded and an app-open ad one after the other from its window, loads a banner pinned
 * above the window's bottom safe area, a native ad laid out in its own asset views, a line
 * banner under the top safe area, a light popup it closes with a tap and a native ad it
 * draws itself from the ad's texts and icon, pumping the SDK once per frame, and reports its
 * lifecycle before it quits. Exits 0 when every ad was
 * dismissed or loaded (the views also counted their impression, the rewarded ad paid its
 * reward), 1 otherwise.
 *
 * Bundle, container and backend come from TILO_BUNDLE_DIR, TILO_APP_CONTAINER and
 * TILO_API_BASE_URL; the unit ids from the first arguments, else the defaults below. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <tilo/tilo.h>

struct game {
  int initialized, failed;
  int loaded, shown, dismissed, rewarded, impressed;
  tilo_window* window;
  tilo_light_popup_ad* popup; /* the loaded popup, ours to destroy */
  tilo_native_ad* native_ad;  /* a native ad the game draws itself, ours to destroy */
};

static void on_init(void* context, const tilo_error* error) {
  struct game* game = (struct game*)context;
  if (error) {
    fprintf(stderr, "init failed: %s %lld %s\n", error->domain, (long long)error->code,
            error->message);
    game->failed = 1;
  }
  game->initialized = 1;
}

static void print_info(const char* what, const tilo_ad_info* info) {
  printf("%s: format %lld unit %s network %s\n", what, (long long)info->ad_format, info->ad_unit_id,
         info->ad_network ? info->ad_network : "-");
}

static void print_error(const char* what, const tilo_error* error) {
  fprintf(stderr, "%s: %s %lld %s (unit %s, format %lld)\n", what, error->domain,
          (long long)error->code, error->message, error->ad_unit_id ? error->ad_unit_id : "-",
          (long long)error->ad_format);
}

/* The callbacks each kind needs; the handle argument differs in type only. */
#define GAME_CALLBACKS(kind, handle_type)                                           \
  static void kind##_load(void* c, handle_type* ad, const tilo_ad_info* info) {     \
    (void)ad;                                                                       \
    print_info(#kind " loaded", info);                                              \
    ((struct game*)c)->loaded = 1;                                                  \
  }                                                                                 \
  static void kind##_load_fail(void* c, handle_type* ad, const tilo_error* error) { \
    (void)ad;                                                                       \
    print_error(#kind " failed to load", error);                                    \
    ((struct game*)c)->failed = 1;                                                  \
  }                                                                                 \
  static void kind##_show(void* c, handle_type* ad, const tilo_ad_info* info) {     \
    (void)ad;                                                                       \
    print_info(#kind " shown", info);                                               \
    ((struct game*)c)->shown = 1;                                                   \
  }                                                                                 \
  static void kind##_show_fail(void* c, handle_type* ad, const tilo_ad_info* info,  \
                               const tilo_error* error) {                           \
    (void)ad;                                                                       \
    (void)info;                                                                     \
    print_error(#kind " failed to show", error);                                    \
    ((struct game*)c)->failed = 1;                                                  \
  }                                                                                 \
  static void kind##_dismiss(void* c, handle_type* ad, const tilo_ad_info* info) {  \
    (void)ad;                                                                       \
    print_info(#kind " dismissed", info);                                           \
    ((struct game*)c)->dismissed = 1;                                               \
  }                                                                                 \
  static void kind##_pay(void* c, handle_type* ad, const tilo_ad_info* info,        \
                         const tilo_revenue* revenue) {                             \
    (void)c;                                                                        \
    (void)ad;                                                                       \
    printf(#kind " paid %s %s for %s\n", revenue->value, revenue->currency_code,    \
           info->ad_unit_id);                                                       \
  }

GAME_CALLBACKS(interstitial, tilo_interstitial_ad)
GAME_CALLBACKS(rewarded, tilo_rewarded_ad)
GAME_CALLBACKS(app_open, tilo_app_open_ad)

static void rewarded_reward(void* c, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                            const tilo_rewarded_item* item) {
  (void)ad;
  (void)info;
  printf("rewarded earned %lld %s\n", (long long)item->amount, item->reward_type);
  ((struct game*)c)->rewarded = 1;
}

static void banner_load(void* c, tilo_banner_view* view, const tilo_ad_info* info) {
  (void)view;
  print_info("banner loaded", info);
  ((struct game*)c)->loaded = 1;
}

static void banner_fail(void* c, tilo_banner_view* view, const tilo_error* error) {
  (void)view;
  print_error("banner failed", error);
  ((struct game*)c)->failed = 1;
}

/* The native view and the line banner report the same way; `label` names them. */
#define VIEW_CALLBACKS(kind, label, handle_type)                                        \
  static void kind##_load(void* c, handle_type* view, const tilo_ad_info* info) {       \
    (void)view;                                                                         \
    print_info(label " loaded", info);                                                  \
    ((struct game*)c)->loaded = 1;                                                      \
  }                                                                                     \
  static void kind##_fail(void* c, handle_type* view, const tilo_error* error) {        \
    (void)view;                                                                         \
    print_error(label " failed", error);                                                \
    ((struct game*)c)->failed = 1;                                                      \
  }                                                                                     \
  static void kind##_impression(void* c, handle_type* view, const tilo_ad_info* info) { \
    (void)view;                                                                         \
    print_info(label " impression", info);                                              \
    ((struct game*)c)->impressed = 1;                                                   \
  }

VIEW_CALLBACKS(native, "native", tilo_native_view)
VIEW_CALLBACKS(line_banner, "line banner", tilo_line_banner_view)

static void popup_load(void* c, tilo_light_popup_ad_loader* loader, tilo_light_popup_ad* ad,
                       const tilo_ad_info* info) {
  (void)loader;
  print_info("light popup loaded", info);
  ((struct game*)c)->popup = ad;
  ((struct game*)c)->loaded = 1;
}

static void popup_load_fail(void* c, tilo_light_popup_ad_loader* loader, const tilo_error* error) {
  (void)loader;
  print_error("light popup failed to load", error);
  ((struct game*)c)->failed = 1;
}

static void popup_show(void* c, tilo_light_popup_ad* ad, const tilo_ad_info* info) {
  (void)ad;
  print_info("light popup shown", info);
  ((struct game*)c)->shown = 1;
}

static void popup_dismiss(void* c, tilo_light_popup_ad* ad, const tilo_ad_info* info) {
  (void)ad;
  print_info("light popup dismissed", info);
  ((struct game*)c)->dismissed = 1;
}

static void popup_show_fail(void* c, tilo_light_popup_ad* ad, const tilo_error* error,
                            const tilo_ad_info* info) {
  (void)ad;
  (void)info;
  print_error("light popup failed to show", error);
  ((struct game*)c)->failed = 1;
}

/* Pumps the SDK once per frame until *flag or a failure; 10 seconds at most, after which
 * it says what did not happen. */
static int run_until(struct game* game, const int* flag, const char* what) {
  int frame;
  for (frame = 0; frame < 600 && !*flag && !game->failed; ++frame) {
    tilo_run_main_loop_for(1.0 / 60);
  }
  if (!*flag && !game->failed)
    fprintf(stderr, "c-host: gave up waiting for %s after 10 seconds\n", what);
  return *flag && !game->failed;
}

/* A full-screen ad stays until the player closes it: once it is on screen, the tap a
 * player would make on its close button (34 points in from the safe area's right edge, 22
 * below its top), then the dismissal. */
static int close_when_shown(struct game* game, const char* what) {
  if (!run_until(game, &game->shown, what)) return 0;
  if (tilo_window_tap(game->window, 390 - 34, 47 + 22) != 1) {
    fprintf(stderr, "c-host: the tap on the close button of the %s found nothing\n", what);
    return 0;
  }
  return run_until(game, &game->dismissed, what);
}

static int play_interstitial(struct game* game, const char* unit) {
  tilo_interstitial_ad_delegate delegate;
  tilo_interstitial_ad* ad = tilo_interstitial_ad_create(unit);
  int ok;
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = interstitial_load;
  delegate.did_fail_to_load = interstitial_load_fail;
  delegate.did_fail_to_show = interstitial_show_fail;
  delegate.did_show = interstitial_show;
  delegate.did_dismiss = interstitial_dismiss;
  delegate.did_pay = interstitial_pay;
  game->loaded = game->shown = game->dismissed = 0;
  tilo_interstitial_ad_set_delegate(ad, &delegate, game);
  tilo_interstitial_ad_load(ad);
  ok = run_until(game, &game->loaded, "interstitial load");
  if (ok && tilo_interstitial_ad_is_ready(ad) == 1) {
    tilo_interstitial_ad_show_from(ad, tilo_window_root_view_controller(game->window));
    ok = close_when_shown(game, "interstitial");
  }
  tilo_interstitial_ad_destroy(ad);
  return ok;
}

static int play_rewarded(struct game* game, const char* unit) {
  tilo_rewarded_ad_delegate delegate;
  tilo_rewarded_ad* ad = tilo_rewarded_ad_create(unit);
  int ok;
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = rewarded_load;
  delegate.did_fail_to_load = rewarded_load_fail;
  delegate.did_fail_to_show = rewarded_show_fail;
  delegate.did_earn_reward = rewarded_reward;
  delegate.did_show = rewarded_show;
  delegate.did_dismiss = rewarded_dismiss;
  delegate.did_pay = rewarded_pay;
  game->loaded = game->shown = game->dismissed = 0;
  tilo_rewarded_ad_set_delegate(ad, &delegate, game);
  tilo_rewarded_ad_load(ad);
  ok = run_until(game, &game->loaded, "rewarded load");
  if (ok) {
    tilo_rewarded_ad_set_custom_data(ad, "level=3");
    tilo_rewarded_ad_show_from(ad, tilo_window_root_view_controller(game->window));
    ok = close_when_shown(game, "rewarded") && game->rewarded;
  }
  tilo_rewarded_ad_destroy(ad);
  return ok;
}

static int play_app_open(struct game* game, const char* unit) {
  tilo_app_open_ad_delegate delegate;
  tilo_app_open_ad* ad = tilo_app_open_ad_create(unit);
  int ok;
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = app_open_load;
  delegate.did_fail_to_load = app_open_load_fail;
  delegate.did_fail_to_show = app_open_show_fail;
  delegate.did_show = app_open_show;
  delegate.did_dismiss = app_open_dismiss;
  delegate.did_pay = app_open_pay;
  game->loaded = game->shown = game->dismissed = 0;
  tilo_app_open_ad_set_delegate(ad, &delegate, game);
  tilo_app_open_ad_load(ad);
  ok = run_until(game, &game->loaded, "app open load");
  if (ok) {
    tilo_app_open_ad_show(ad);
    ok = close_when_shown(game, "app open");
  }
  tilo_app_open_ad_destroy(ad);
  return ok;
}

/* A banner above the bottom safe area, loaded when the game asks; one frame is drawn. */
static int play_banner(struct game* game, const char* unit) {
  static uint8_t pixels[1170 * 2532 * 4]; /* 390 x 844 points at scale 3 */
  tilo_banner_view_delegate delegate;
  tilo_banner_view* banner = tilo_banner_view_create(unit, TILO_BANNER_SIZE_BANNER, 0);
  int ok;
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = banner_load;
  delegate.did_fail_with_error = banner_fail;
  game->loaded = 0;
  tilo_banner_view_set_delegate(banner, &delegate, game);
  tilo_window_add_view_pinned(game->window, banner, TILO_WINDOW_EDGE_BOTTOM, 50);
  tilo_banner_view_load_ad(banner);
  ok = run_until(game, &game->loaded, "banner load") &&
       tilo_window_render_rgba(game->window, pixels, 1170 * 4) == TILO_STATUS_OK;
  tilo_banner_view_destroy(banner); /* it leaves the window */
  return ok;
}

/* Says which step of a view's set-up the SDK refused. */
static int set_up(const char* what, tilo_status status) {
  if (status != TILO_STATUS_OK) fprintf(stderr, "c-host: %s: %s\n", what, tilo_status_name(status));
  return status == TILO_STATUS_OK;
}

/* A native ad under the top safe area, drawn in asset views laid out by the game: it
 * loads when asked and counts its impression once on screen; one frame is drawn. */
static int play_native(struct game* game, const char* unit) {
  static uint8_t pixels[1170 * 2532 * 4];
  const tilo_rect frame = {0, 47, 390, 120};
  const tilo_rect icon = {12, 12, 48, 48}, title = {72, 12, 210, 20}, body = {72, 36, 210, 40},
                  advertiser = {12, 92, 200, 16}, call_to_action = {294, 24, 84, 32};
  tilo_native_asset_layout layout;
  tilo_native_view_delegate delegate;
  tilo_native_view* native = tilo_native_view_create(unit, 0);
  int ok;
  memset(&layout, 0, sizeof layout);
  layout.size = sizeof layout;
  layout.icon = &icon;
  layout.title = &title;
  layout.advertiser = &advertiser;
  layout.body = &body;
  layout.call_to_action = &call_to_action;
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = native_load;
  delegate.did_fail_with_error = native_fail;
  delegate.did_record_impression = native_impression;
  game->loaded = game->impressed = 0;
  ok = set_up("native delegate", tilo_native_view_set_delegate(native, &delegate, game)) &&
       set_up("native asset views", tilo_native_view_bind_native_views(native, &layout)) &&
       set_up("native placement", tilo_window_add_view(game->window, native, frame)) &&
       set_up("native load", tilo_native_view_load_native_ad(native));
  ok = ok && run_until(game, &game->loaded, "the native ad to load") &&
       run_until(game, &game->impressed, "the native ad's impression") &&
       tilo_window_render_rgba(game->window, pixels, 1170 * 4) == TILO_STATUS_OK;
  tilo_native_view_destroy(native); /* it leaves the window */
  return ok;
}

/* A native ad the game draws with its own renderer: it copies the texts and the icon
 * (asking for the icon's size first), and tells the SDK when the ad is on screen. */
static void host_native_load(void* c, tilo_native_ad_loader* loader, tilo_native_ad* ad,
                             const tilo_ad_info* info) {
  (void)loader;
  print_info("own native loaded", info);
  ((struct game*)c)->native_ad = ad;
  ((struct game*)c)->loaded = 1;
}
static void host_native_fail(void* c, tilo_native_ad_loader* loader, const tilo_error* error) {
  (void)loader;
  print_error("own native failed", error);
  ((struct game*)c)->failed = 1;
}
static void host_native_impression(void* c, tilo_native_ad_loader* loader,
                                   const tilo_ad_info* info) {
  (void)loader;
  print_info("own native impression", info);
  ((struct game*)c)->impressed = 1;
}

/* Asked without a buffer, the SDK answers with the size it needs. */
static int sized(const char* what, tilo_status status) {
  return status == TILO_STATUS_BUFFER_TOO_SMALL || set_up(what, status);
}

static int play_own_native(struct game* game, const char* unit) {
  static uint8_t icon[512 * 512 * 4];
  char headline[128], call_to_action[64];
  int64_t length = 0;
  int width = 0, height = 0, ok;
  tilo_native_ad_loader_delegate delegate;
  tilo_native_ad_loader* loader = tilo_native_ad_loader_create(unit);
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = host_native_load;
  delegate.did_fail_with_error = host_native_fail;
  delegate.did_record_impression = host_native_impression;
  game->loaded = game->impressed = 0;
  game->native_ad = NULL;
  ok = set_up("own native delegate", tilo_native_ad_loader_set_delegate(loader, &delegate, game)) &&
       set_up("own native load", tilo_native_ad_loader_load_ad(loader)) &&
       run_until(game, &game->loaded, "the native ad the game draws to load");
  ok =
      ok &&
      set_up("headline",
             tilo_native_ad_get_headline(game->native_ad, headline, sizeof headline, &length)) &&
      set_up("call to action", tilo_native_ad_get_call_to_action(game->native_ad, call_to_action,
                                                                 sizeof call_to_action, &length)) &&
      sized("icon size", tilo_native_ad_get_icon(game->native_ad, NULL, 0, 0,
                                                 TILO_PIXEL_FORMAT_RGBA, &width, &height)) &&
      (size_t)width * (size_t)height * 4 <= sizeof icon &&
      set_up("icon", tilo_native_ad_get_icon(game->native_ad, icon, sizeof icon, 0,
                                             TILO_PIXEL_FORMAT_RGBA, &width, &height));
  if (ok) printf("own native: \"%s\" [%s], icon %dx%d\n", headline, call_to_action, width, height);
  /* ... drawn by the game's renderer; now it is on screen. */
  ok = ok && set_up("own native impression", tilo_native_ad_record_impression(game->native_ad)) &&
       run_until(game, &game->impressed, "the impression of the native ad the game draws");
  if (game->native_ad) tilo_native_ad_destroy(game->native_ad);
  tilo_native_ad_loader_destroy(loader);
  return ok;
}

/* A line banner, 40 points high under the top safe area, in the game's colours. */
static int play_line_banner(struct game* game, const char* unit) {
  tilo_line_banner_view_delegate delegate;
  tilo_line_banner_view* line = tilo_line_banner_view_create(unit, 0);
  int ok;
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = line_banner_load;
  delegate.did_fail_with_error = line_banner_fail;
  delegate.did_record_impression = line_banner_impression;
  game->loaded = game->impressed = 0;
  ok = set_up("line banner delegate", tilo_line_banner_view_set_delegate(line, &delegate, game)) &&
       set_up("line banner colours",
              tilo_line_banner_view_set_line_background_color(line, 0x1C1C1EFFu)) &&
       set_up("line banner colours",
              tilo_line_banner_view_set_title_text_color(line, 0xF2F2F7FFu)) &&
       set_up("line banner colours",
              tilo_line_banner_view_set_cta_background_color(line, 0x0A84FFFFu)) &&
       set_up("line banner placement",
              tilo_window_add_view_pinned(game->window, line, TILO_WINDOW_EDGE_TOP, 40)) &&
       set_up("line banner load", tilo_line_banner_view_load_ad(line));
  ok = ok && run_until(game, &game->loaded, "the line banner to load") &&
       run_until(game, &game->impressed, "the line banner's impression");
  tilo_line_banner_view_destroy(line); /* it leaves the window */
  return ok;
}

/* A light popup over the game, closed by a tap on its close button (or its own timer). */
static int play_light_popup(struct game* game, const char* unit) {
  tilo_light_popup_ad_loader_delegate delegate;
  tilo_light_popup_ad_delegate popup_delegate;
  tilo_light_popup_ad_loader* loader = tilo_light_popup_ad_loader_create(unit);
  int ok;
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = popup_load;
  delegate.did_fail_with_error = popup_load_fail;
  memset(&popup_delegate, 0, sizeof popup_delegate);
  popup_delegate.size = sizeof popup_delegate;
  popup_delegate.did_show = popup_show;
  popup_delegate.did_dismiss = popup_dismiss;
  popup_delegate.did_fail_to_show = popup_show_fail;
  game->loaded = game->shown = game->dismissed = 0;
  tilo_light_popup_ad_loader_set_delegate(loader, &delegate, game);
  tilo_light_popup_ad_loader_load_ad(loader);
  ok = run_until(game, &game->loaded, "light popup load");
  if (ok) {
    tilo_light_popup_ad_set_delegate(game->popup, &popup_delegate, game);
    tilo_light_popup_ad_set_card_view_background_color(game->popup, 0x1C1C1EFFu);
    tilo_light_popup_ad_show_from(game->popup, tilo_window_root_view_controller(game->window));
    ok = run_until(game, &game->shown, "light popup on screen");
    /* The close button sits 8 points above the bottom safe area, 52 points high. */
    if (ok) tilo_window_tap(game->window, 195, 844 - 34 - 8 - 26);
    ok = ok && run_until(game, &game->dismissed, "light popup dismissal");
    tilo_light_popup_ad_destroy(game->popup);
  }
  tilo_light_popup_ad_loader_destroy(loader);
  return ok;
}

int main(int argc, char** argv) {
  struct game game;
  int ok;
  memset(&game, 0, sizeof game);
  printf("Tilo %s\n", tilo_version());
  tilo_set_log_level(TILO_LOG_LEVEL_ERROR);
  tilo_set_has_user_consent(TILO_YES);
  game.window = tilo_window_create(390, 844, 3);
  tilo_window_set_safe_area_insets(game.window, 47, 0, 34, 0);
  tilo_initialize(on_init, &game);
  ok = run_until(&game, &game.initialized, "initialization");
  ok = ok && play_interstitial(&game, argc > 1 ? argv[1] : "interstitial-main");
  ok = ok && play_rewarded(&game, argc > 2 ? argv[2] : "rewarded-main");
  ok = ok && play_app_open(&game, argc > 3 ? argv[3] : "app-open-main");
  ok = ok && play_banner(&game, argc > 4 ? argv[4] : "banner-main");
  ok = ok && play_light_popup(&game, argc > 5 ? argv[5] : "native-main");
  ok = ok && play_native(&game, argc > 6 ? argv[6] : "native-main");
  ok = ok && play_line_banner(&game, argc > 7 ? argv[7] : "line-banner-main");
  ok = ok && play_own_native(&game, argc > 6 ? argv[6] : "native-main");
  /* The window is hidden: the SDK saves and uploads its analytics. */
  tilo_application_set_state(TILO_APPLICATION_BACKGROUND);
  tilo_run_main_loop_for(0.2);
  tilo_window_destroy(game.window);
  /* What is not sent yet is saved for the next run, and every SDK thread ends here. */
  if (tilo_shutdown() != TILO_STATUS_OK) ok = 0;
  printf("%s\n", ok ? "c-host: every ad shown" : "c-host: failed");
  return ok ? 0 : 1;
}
