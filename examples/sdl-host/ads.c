/* The SDL host's ads: the SDK's callbacks, printed as they come, the banner, rewarded ad
 * and popup loader set up at start, and the game's actions that show them. */
#include <stdio.h>
#include <string.h>

#include "game.h"

/* ---- Printing what happens -------------------------------------------------------- */

static void print_info(const char* what, const tilo_ad_info* info) {
  printf("%s (unit %s, network %s)\n", what, info && info->ad_unit_id ? info->ad_unit_id : "-",
         info && info->ad_network ? info->ad_network : "-");
  fflush(stdout);
}

static void print_error(const char* what, const tilo_error* error) {
  printf("%s: %s %lld %s\n", what, error ? error->domain : "-",
         error ? (long long)error->code : 0LL, error ? error->message : "");
  fflush(stdout);
}

static void print_revenue(const char* what, const tilo_revenue* revenue) {
  printf("%s paid %s %s\n", what, revenue->value, revenue->currency_code);
  fflush(stdout);
}

/* ---- SDK callbacks ---------------------------------------------------------------- */

static void on_initialized(void* context, const tilo_error* error) {
  struct game* game = (struct game*)context;
  if (error) {
    print_error("sdl-host: initialization failed", error);
  } else {
    printf("sdl-host: initialized\n");
  }
  game->initialized = 1;
}

static void banner_loaded(void* context, tilo_banner_view* view, const tilo_ad_info* info) {
  struct game* game = (struct game*)context;
  (void)view;
  print_info("banner: loaded", info);
  if (game->banner_loaded_frame < 0) game->banner_loaded_frame = game->frame;
}

static void banner_failed(void* context, tilo_banner_view* view, const tilo_error* error) {
  (void)context;
  (void)view;
  print_error("banner: failed to load", error);
}

static void banner_clicked(void* context, tilo_banner_view* view, const tilo_ad_info* info) {
  (void)context;
  (void)view;
  print_info("banner: clicked", info);
}

static void banner_impression(void* context, tilo_banner_view* view, const tilo_ad_info* info) {
  (void)context;
  (void)view;
  print_info("banner: impression", info);
}

static void banner_paid(void* context, tilo_banner_view* view, const tilo_ad_info* info,
                        const tilo_revenue* revenue) {
  (void)context;
  (void)view;
  (void)info;
  print_revenue("banner:", revenue);
}

static void rewarded_loaded(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info) {
  (void)ad;
  print_info("rewarded: loaded", info);
  ((struct game*)context)->rewarded_state = AD_READY;
}

static void rewarded_failed_to_load(void* context, tilo_rewarded_ad* ad, const tilo_error* error) {
  (void)ad;
  print_error("rewarded: failed to load", error);
  ((struct game*)context)->rewarded_state = AD_IDLE;
}

static void rewarded_shown(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info) {
  (void)context;
  (void)ad;
  print_info("rewarded: shown", info);
}

static void rewarded_failed_to_show(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                                    const tilo_error* error) {
  struct game* game = (struct game*)context;
  (void)info;
  print_error("rewarded: failed to show", error);
  /* Whatever was loaded is spent or unusable: load the next one. */
  game->rewarded_state = tilo_rewarded_ad_load(ad) == TILO_STATUS_OK ? AD_LOADING : AD_IDLE;
}

static void rewarded_earned(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                            const tilo_rewarded_item* item) {
  (void)context;
  (void)ad;
  (void)info;
  printf("rewarded: reward %lld %s\n", (long long)item->amount, item->reward_type);
  fflush(stdout);
}

static void rewarded_dismissed(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info) {
  struct game* game = (struct game*)context;
  print_info("rewarded: dismissed", info);
  /* Ready for the next R. */
  game->rewarded_state = tilo_rewarded_ad_load(ad) == TILO_STATUS_OK ? AD_LOADING : AD_IDLE;
}

static void rewarded_paid(void* context, tilo_rewarded_ad* ad, const tilo_ad_info* info,
                          const tilo_revenue* revenue) {
  (void)context;
  (void)ad;
  (void)info;
  print_revenue("rewarded:", revenue);
}

static void popup_shown(void* context, tilo_light_popup_ad* ad, const tilo_ad_info* info) {
  (void)context;
  (void)ad;
  print_info("light popup: shown", info);
}

static void popup_dismissed(void* context, tilo_light_popup_ad* ad, const tilo_ad_info* info) {
  struct game* game = (struct game*)context;
  print_info("light popup: dismissed", info);
  tilo_light_popup_ad_destroy(ad); /* allowed inside its own callback */
  game->popup = NULL;
  game->popup_state = AD_IDLE;
}

static void popup_failed_to_show(void* context, tilo_light_popup_ad* ad, const tilo_error* error,
                                 const tilo_ad_info* info) {
  struct game* game = (struct game*)context;
  (void)info;
  print_error("light popup: failed to show", error);
  tilo_light_popup_ad_destroy(ad);
  game->popup = NULL;
  game->popup_state = AD_IDLE;
}

static void popup_loaded(void* context, tilo_light_popup_ad_loader* loader, tilo_light_popup_ad* ad,
                         const tilo_ad_info* info) {
  struct game* game = (struct game*)context;
  tilo_light_popup_ad_delegate delegate;
  tilo_status status;
  (void)loader;
  print_info("light popup: loaded", info);
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_show = popup_shown;
  delegate.did_dismiss = popup_dismissed;
  delegate.did_fail_to_show = popup_failed_to_show;
  tilo_light_popup_ad_destroy(game->popup); /* a stale one, if any; NULL is harmless */
  game->popup = ad;
  tilo_light_popup_ad_set_delegate(ad, &delegate, game);
  status = tilo_light_popup_ad_show_from(ad, tilo_window_root_view_controller(game->window));
  if (status != TILO_STATUS_OK) {
    printf("light popup: cannot show: %s\n", tilo_status_name(status));
    tilo_light_popup_ad_destroy(ad);
    game->popup = NULL;
    game->popup_state = AD_IDLE;
    return;
  }
  game->popup_state = AD_SHOWING;
  game->fullscreen_since = game->frame;
}

static void popup_failed_to_load(void* context, tilo_light_popup_ad_loader* loader,
                                 const tilo_error* error) {
  (void)loader;
  print_error("light popup: failed to load", error);
  ((struct game*)context)->popup_state = AD_IDLE;
}

static void popup_clicked(void* context, tilo_light_popup_ad_loader* loader,
                          const tilo_ad_info* info) {
  (void)context;
  (void)loader;
  print_info("light popup: clicked", info);
}

/* ---- Game actions ----------------------------------------------------------------- */

int fullscreen_busy(const struct game* game) {
  return game->rewarded_state == AD_SHOWING || game->popup_state == AD_SHOWING;
}

void show_rewarded(struct game* game) {
  tilo_status status;
  if (fullscreen_busy(game)) {
    printf("rewarded: an ad is already on screen\n");
    return;
  }
  if (game->rewarded_state != AD_READY) {
    printf("rewarded: not ready yet\n");
    if (game->rewarded_state == AD_IDLE && tilo_rewarded_ad_load(game->rewarded) == TILO_STATUS_OK)
      game->rewarded_state = AD_LOADING;
    return;
  }
  game->rewarded_state = AD_SHOWING;
  game->fullscreen_since = game->frame;
  status =
      tilo_rewarded_ad_show_from(game->rewarded, tilo_window_root_view_controller(game->window));
  if (status != TILO_STATUS_OK) {
    printf("rewarded: cannot show: %s\n", tilo_status_name(status));
    game->rewarded_state = AD_READY;
  }
}

void load_popup(struct game* game) {
  tilo_status status;
  if (fullscreen_busy(game) || game->popup_state == AD_LOADING) {
    printf("light popup: busy\n");
    return;
  }
  status = tilo_light_popup_ad_loader_load_ad(game->popup_loader);
  if (status != TILO_STATUS_OK) {
    printf("light popup: cannot load: %s\n", tilo_status_name(status));
    return;
  }
  printf("light popup: loading\n");
  game->popup_state = AD_LOADING;
}

int open_tilo(struct game* game) {
  tilo_banner_view_delegate banner;
  tilo_rewarded_ad_delegate rewarded;
  tilo_light_popup_ad_loader_delegate popup;
  tilo_status status;

  printf("sdl-host: Tilo %s\n", tilo_version());
  tilo_set_log_level(TILO_LOG_LEVEL_ERROR);
  tilo_set_has_user_consent(TILO_YES);
  game->window =
      tilo_window_create(game->options.width_pt, game->options.height_pt, game->options.scale);
  if (!game->window) {
    fprintf(stderr, "tilo-sdl-host: tilo_window_create: %s\n",
            tilo_status_name(tilo_last_status()));
    return 0;
  }
  tilo_window_pixel_size(game->window, &game->width_px, &game->height_px);
  game->pixels = calloc((size_t)game->width_px * game->height_px, 4);
  if (!game->pixels) return 0;
  tilo_application_set_state(TILO_APPLICATION_ACTIVE);
  tilo_initialize(on_initialized, game);

  /* The banner loads once it is on screen in an active application. */
  memset(&banner, 0, sizeof banner);
  banner.size = sizeof banner;
  banner.did_load = banner_loaded;
  banner.did_fail_with_error = banner_failed;
  banner.did_click = banner_clicked;
  banner.did_record_impression = banner_impression;
  banner.did_pay = banner_paid;
  game->banner = tilo_banner_view_create(game->options.banner_unit, TILO_BANNER_SIZE_BANNER, 1);
  if (!game->banner) {
    fprintf(stderr, "tilo-sdl-host: banner: %s\n", tilo_status_name(tilo_last_status()));
    return 0;
  }
  tilo_banner_view_set_delegate(game->banner, &banner, game);
  tilo_banner_view_set_root_view_controller(game->banner,
                                            tilo_window_root_view_controller(game->window));
  status = tilo_window_add_view_pinned(game->window, game->banner, TILO_WINDOW_EDGE_BOTTOM,
                                       kBannerHeightPt);
  if (status != TILO_STATUS_OK) {
    fprintf(stderr, "tilo-sdl-host: placing the banner: %s\n", tilo_status_name(status));
    return 0;
  }

  memset(&rewarded, 0, sizeof rewarded);
  rewarded.size = sizeof rewarded;
  rewarded.did_load = rewarded_loaded;
  rewarded.did_fail_to_load = rewarded_failed_to_load;
  rewarded.did_show = rewarded_shown;
  rewarded.did_fail_to_show = rewarded_failed_to_show;
  rewarded.did_earn_reward = rewarded_earned;
  rewarded.did_dismiss = rewarded_dismissed;
  rewarded.did_pay = rewarded_paid;
  game->rewarded = tilo_rewarded_ad_create(game->options.rewarded_unit);
  if (!game->rewarded) {
    fprintf(stderr, "tilo-sdl-host: rewarded: %s\n", tilo_status_name(tilo_last_status()));
    return 0;
  }
  tilo_rewarded_ad_set_delegate(game->rewarded, &rewarded, game);
  if (tilo_rewarded_ad_load(game->rewarded) == TILO_STATUS_OK) game->rewarded_state = AD_LOADING;

  memset(&popup, 0, sizeof popup);
  popup.size = sizeof popup;
  popup.did_load = popup_loaded;
  popup.did_fail_with_error = popup_failed_to_load;
  popup.did_click = popup_clicked;
  game->popup_loader = tilo_light_popup_ad_loader_create(game->options.popup_unit);
  if (!game->popup_loader) {
    fprintf(stderr, "tilo-sdl-host: light popup: %s\n", tilo_status_name(tilo_last_status()));
    return 0;
  }
  tilo_light_popup_ad_loader_set_delegate(game->popup_loader, &popup, game);
  return 1;
}
