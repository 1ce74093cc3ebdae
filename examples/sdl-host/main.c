/* A game-like SDL2 host: a game loop that pumps the SDK once per frame, draws its scene
 * and, on top of it, the SDK's window (a banner pinned to the bottom edge, and whatever
 * full-screen ad or popup is up) from tilo_window_render_rgba through a streaming texture.
 * Mouse clicks become taps on that window; R shows the rewarded ad loaded at start, P
 * loads and shows a light popup, Escape quits.
 *
 *   tilo-sdl-host [--bundle DIR] [--container DIR] [--api-base-url URL]
 *                 [--size WxH] [--scale 1|2|3] [--banner-unit ID] [--rewarded-unit ID]
 *                 [--popup-unit ID] [--frames N] [--press KEY@FRAME]... [--click X,Y@FRAME]...
 *                 [--check-banner]
 *
 * Bundle, container and backend default to TILO_BUNDLE_DIR, TILO_APP_CONTAINER and
 * TILO_API_BASE_URL. For unattended runs (SDL_VIDEODRIVER=offscreen): --frames ends the
 * loop after N frames; --press queues a key press for frame FRAME (a key name such as R,
 * P or Escape), held back while the game cannot take it yet (the SDK still starting, an
 * ad on screen, the rewarded ad still loading); --click queues a left click at window
 * coordinates, held back until the banner has loaded and no ad is on screen;
 * --check-banner reads the frame back once the banner has loaded and fails the run unless
 * the banner's pixels reached it. Every wait is counted in frames, never in seconds.
 * Exit status: 0, 1 when the banner check failed, 2 on bad arguments, an SDL failure or
 * scripted input never delivered. */
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tilo/tilo.h>

enum { MAX_SCRIPTED = 32, FRAMES_PER_SECOND = 60 };
static const double kBannerHeightPt = 50;
/* The scene's clear colour. */
static const Uint8 kSky[3] = {0x1c, 0x22, 0x3f};

/* A scripted key press, or a click when `key` is SDLK_UNKNOWN. */
struct press {
  SDL_Keycode key;
  int x, y;
  long frame;
  int delivered;
};

struct options {
  const char* bundle;
  const char* container;
  const char* api_base_url;
  const char* banner_unit;
  const char* rewarded_unit;
  const char* popup_unit;
  double width_pt, height_pt, scale;
  long frames; /* 0: until quit */
  int check_banner;
  struct press presses[MAX_SCRIPTED];
  int press_count;
};

enum ad_state { AD_IDLE, AD_LOADING, AD_READY, AD_SHOWING };

/* What the banner check found: pending until a frame settles it. */
enum check_state { CHECK_PENDING, CHECK_PASSED, CHECK_FAILED };

struct game {
  struct options options;
  long frame;
  int quit;
  int initialized;

  SDL_Window* sdl_window;
  SDL_Renderer* renderer;
  SDL_Texture* texture;
  int texture_premultiplied; /* else the pixels are converted to straight alpha */

  tilo_window* window;
  int width_px, height_px;
  uint8_t* pixels; /* the SDK window's render, premultiplied */
  uint8_t* straight;

  tilo_banner_view* banner;
  long banner_loaded_frame; /* -1 until did_load */

  tilo_rewarded_ad* rewarded;
  enum ad_state rewarded_state;

  tilo_light_popup_ad_loader* popup_loader;
  tilo_light_popup_ad* popup;
  enum ad_state popup_state;

  enum check_state check;
  char check_report[256];
};

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

static int fullscreen_busy(const struct game* game) {
  return game->rewarded_state == AD_SHOWING || game->popup_state == AD_SHOWING;
}

static void show_rewarded(struct game* game) {
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
  status =
      tilo_rewarded_ad_show_from(game->rewarded, tilo_window_root_view_controller(game->window));
  if (status != TILO_STATUS_OK) {
    printf("rewarded: cannot show: %s\n", tilo_status_name(status));
    game->rewarded_state = AD_READY;
  }
}

static void load_popup(struct game* game) {
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

/* Whether the game would act on `key` now; scripted presses wait for it. */
static int accepts_key(const struct game* game, SDL_Keycode key) {
  if (key == SDLK_ESCAPE) return 1;
  if (!game->initialized || fullscreen_busy(game)) return 0;
  if (key == SDLK_r) return game->rewarded_state == AD_READY;
  if (key == SDLK_p) return game->popup_state == AD_IDLE;
  return 1;
}

static void handle_key(struct game* game, SDL_Keycode key) {
  switch (key) {
    case SDLK_ESCAPE:
      game->quit = 1;
      break;
    case SDLK_r:
      show_rewarded(game);
      break;
    case SDLK_p:
      load_popup(game);
      break;
    default:
      break;
  }
  fflush(stdout);
}

/* Window coordinates -> points of the SDK's window, which fills the renderer's output. */
static void handle_click(struct game* game, int x, int y) {
  int window_w = 1, window_h = 1, output_w = 1, output_h = 1, handled;
  double x_pt, y_pt;
  SDL_GetWindowSize(game->sdl_window, &window_w, &window_h);
  if (SDL_GetRendererOutputSize(game->renderer, &output_w, &output_h) != 0 || window_w <= 0 ||
      window_h <= 0)
    return;
  x_pt = (double)x * output_w / window_w * game->width_px / output_w / game->options.scale;
  y_pt = (double)y * output_h / window_h * game->height_px / output_h / game->options.scale;
  handled = tilo_window_tap(game->window, x_pt, y_pt);
  printf("tap at (%.0f, %.0f) pt: %s\n", x_pt, y_pt,
         handled == 1   ? "handled by the ad"
         : handled == 0 ? "not on an ad"
                        : "refused");
  fflush(stdout);
}

/* The window's focus and visibility as the SDK's application state. */
static void handle_window_event(const SDL_WindowEvent* event) {
  switch (event->event) {
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_RESTORED:
      tilo_application_set_state(TILO_APPLICATION_ACTIVE);
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      tilo_application_set_state(TILO_APPLICATION_INACTIVE);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
      tilo_application_set_state(TILO_APPLICATION_BACKGROUND);
      break;
    default:
      break;
  }
}

static int accepts_click(const struct game* game) {
  return game->initialized && !fullscreen_busy(game) && game->banner_loaded_frame >= 0;
}

static void push_click(struct game* game, const struct press* press) {
  SDL_Event event;
  memset(&event, 0, sizeof event);
  event.type = SDL_MOUSEBUTTONDOWN;
  event.button.windowID = SDL_GetWindowID(game->sdl_window);
  event.button.button = SDL_BUTTON_LEFT;
  event.button.state = SDL_PRESSED;
  event.button.clicks = 1;
  event.button.x = press->x;
  event.button.y = press->y;
  printf("frame %ld: click at (%d, %d)\n", game->frame, press->x, press->y);
  SDL_PushEvent(&event);
  event.type = SDL_MOUSEBUTTONUP;
  event.button.state = SDL_RELEASED;
  SDL_PushEvent(&event);
}

/* Scripted input goes through the event queue like a player's. */
static void inject_scripted(struct game* game) {
  int i;
  for (i = 0; i < game->options.press_count; ++i) {
    struct press* press = &game->options.presses[i];
    const int click = press->key == SDLK_UNKNOWN;
    SDL_Event event;
    if (press->delivered || press->frame > game->frame) continue;
    if (click ? !accepts_click(game) : !accepts_key(game, press->key)) continue;
    press->delivered = 1;
    if (click) {
      push_click(game, press);
      return;
    }
    memset(&event, 0, sizeof event);
    event.type = SDL_KEYDOWN;
    event.key.windowID = SDL_GetWindowID(game->sdl_window);
    event.key.state = SDL_PRESSED;
    event.key.keysym.sym = press->key;
    event.key.keysym.scancode = SDL_GetScancodeFromKey(press->key);
    printf("frame %ld: press %s\n", game->frame, SDL_GetKeyName(press->key));
    SDL_PushEvent(&event);
    event.type = SDL_KEYUP;
    event.key.state = SDL_RELEASED;
    SDL_PushEvent(&event);
    /* One input per frame: the game sees the outcome of each before the next. */
    return;
  }
}

static void poll_events(struct game* game) {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        game->quit = 1;
        break;
      case SDL_KEYDOWN:
        if (!event.key.repeat) handle_key(game, event.key.keysym.sym);
        break;
      case SDL_MOUSEBUTTONUP:
        if (event.button.button == SDL_BUTTON_LEFT)
          handle_click(game, event.button.x, event.button.y);
        break;
      case SDL_WINDOWEVENT:
        handle_window_event(&event.window);
        break;
      default:
        break;
    }
  }
}

/* ---- Drawing ---------------------------------------------------------------------- */

/* The scene: a few blocks drifting by, animated by frame count, above the banner strip. */
static void draw_scene(struct game* game) {
  int output_w = 0, output_h = 0, i;
  const double banner_px = kBannerHeightPt * game->options.scale;
  SDL_GetRendererOutputSize(game->renderer, &output_w, &output_h);
  SDL_SetRenderDrawBlendMode(game->renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(game->renderer, kSky[0], kSky[1], kSky[2], 255);
  SDL_RenderClear(game->renderer);
  for (i = 0; i < 6; ++i) {
    const int size = output_w / 10;
    const int play_h = output_h - (int)(banner_px * output_h / game->height_px) - size;
    SDL_Rect block;
    if (play_h <= 0 || output_w <= size) break;
    block.w = block.h = size;
    block.x = (int)((game->frame * (2 + i) + i * 97) % (output_w - size));
    block.y = (int)((game->frame * (1 + i % 3) + i * 151) % play_h);
    SDL_SetRenderDrawColor(game->renderer, (Uint8)(90 + 25 * i), (Uint8)(200 - 20 * i), 120, 255);
    SDL_RenderFillRect(game->renderer, &block);
  }
}

/* Renders the SDK's window into the texture. */
static int upload_window(struct game* game) {
  const size_t stride = (size_t)game->width_px * 4;
  tilo_status status = tilo_window_render_rgba(game->window, game->pixels, stride);
  const uint8_t* source = game->pixels;
  if (status != TILO_STATUS_OK) {
    fprintf(stderr, "sdl-host: render failed: %s\n", tilo_status_name(status));
    return 0;
  }
  if (!game->texture_premultiplied) {
    /* Renderers without custom blend modes blend straight alpha. */
    size_t i, count = (size_t)game->width_px * game->height_px;
    for (i = 0; i < count; ++i) {
      const uint8_t* p = game->pixels + i * 4;
      uint8_t* q = game->straight + i * 4;
      const unsigned a = p[3];
      int c;
      q[3] = (uint8_t)a;
      for (c = 0; c < 3; ++c) {
        const unsigned value = a ? (p[c] * 255u + a / 2) / a : 0;
        q[c] = (uint8_t)(value > 255 ? 255 : value);
      }
    }
    source = game->straight;
  }
  if (SDL_UpdateTexture(game->texture, NULL, source, (int)stride) != 0) {
    fprintf(stderr, "sdl-host: texture upload failed: %s\n", SDL_GetError());
    return 0;
  }
  return 1;
}

/* ---- The banner check ------------------------------------------------------------- */

static int differs(int a, int b, int tolerance) {
  return abs(a - b) > tolerance;
}

/* Compares the banner strip of the frame as drawn (`after`) with what the SDK rendered
 * there composited over the scene (`before`): every pixel must match, and enough of them
 * must have changed from the scene for the banner to count as seen. */
static void judge_banner_strip(struct game* game, int top, int rows, const uint8_t* before,
                               const uint8_t* after) {
  const int width = game->width_px;
  long changed = 0, total = (long)width * rows;
  int x, y, c;
  for (y = 0; y < rows; ++y) {
    for (x = 0; x < width; ++x) {
      const uint8_t* sdk = game->pixels + ((size_t)(top + y) * width + x) * 4;
      const uint8_t* under = before + ((size_t)y * width + x) * 4;
      const uint8_t* seen = after + ((size_t)y * width + x) * 4;
      int moved = 0;
      for (c = 0; c < 3; ++c) {
        /* Premultiplied "over", with room for the renderer's rounding. */
        const int expected = sdk[c] + (under[c] * (255 - sdk[3]) + 127) / 255;
        if (differs(seen[c], expected, 3)) {
          snprintf(game->check_report, sizeof game->check_report,
                   "frame %ld pixel (%d, %d) channel %d reads %d, the banner gives %d", game->frame,
                   x, top + y, c, seen[c], expected);
          game->check = CHECK_FAILED;
          return;
        }
        if (differs(seen[c], under[c], 8)) moved = 1;
      }
      changed += moved;
    }
  }
  /* Until the banner has drawn its ad, the strip shows the scene: wait for a later frame. */
  if (changed * 20 >= total) {
    snprintf(game->check_report, sizeof game->check_report,
             "%ld of %ld pixels of the bottom %d rows show the banner (frame %ld)", changed, total,
             rows, game->frame);
    game->check = CHECK_PASSED;
  }
}

/* The strip the banner is pinned to: its height above the window's bottom edge. */
static void banner_strip(const struct game* game, int* top, int* rows) {
  *rows = (int)(kBannerHeightPt * game->options.scale + 0.5);
  if (*rows > game->height_px) *rows = game->height_px;
  *top = game->height_px - *rows;
}

static int read_strip(struct game* game, int top, int rows, uint8_t* out) {
  SDL_Rect rect;
  rect.x = 0;
  rect.y = top;
  rect.w = game->width_px;
  rect.h = rows;
  if (SDL_RenderReadPixels(game->renderer, &rect, SDL_PIXELFORMAT_RGBA32, out,
                           game->width_px * 4) != 0) {
    snprintf(game->check_report, sizeof game->check_report, "cannot read the frame back: %s",
             SDL_GetError());
    game->check = CHECK_FAILED;
    return 0;
  }
  return 1;
}

/* ---- The frame -------------------------------------------------------------------- */

static void draw_frame(struct game* game) {
  int top = 0, rows = 0, output_w = 0, output_h = 0;
  uint8_t *before = NULL, *after = NULL;
  const int checking =
      game->options.check_banner && game->check == CHECK_PENDING && game->banner_loaded_frame >= 0;
  int uploaded = upload_window(game);
  draw_scene(game);
  if (checking) {
    SDL_GetRendererOutputSize(game->renderer, &output_w, &output_h);
    if (output_w != game->width_px || output_h != game->height_px) {
      snprintf(game->check_report, sizeof game->check_report,
               "the frame is %dx%d pixels, the SDK's window %dx%d: nothing to compare", output_w,
               output_h, game->width_px, game->height_px);
      game->check = CHECK_FAILED;
    } else {
      banner_strip(game, &top, &rows);
      before = malloc((size_t)game->width_px * rows * 4);
      after = malloc((size_t)game->width_px * rows * 4);
      if (!before || !after || !read_strip(game, top, rows, before)) {
        free(before);
        free(after);
        before = after = NULL;
      }
    }
  }
  if (uploaded) SDL_RenderCopy(game->renderer, game->texture, NULL, NULL);
  if (before && after && read_strip(game, top, rows, after))
    judge_banner_strip(game, top, rows, before, after);
  free(before);
  free(after);
  SDL_RenderPresent(game->renderer);
}

/* ---- Set-up and arguments --------------------------------------------------------- */

static void usage(FILE* out) {
  fprintf(
      out,
      "usage: tilo-sdl-host [--bundle DIR] [--container DIR] [--api-base-url URL]\n"
      "                     [--size WxH] [--scale 1|2|3] [--banner-unit ID] [--rewarded-unit ID]\n"
      "                     [--popup-unit ID] [--frames N] [--press KEY@FRAME]...\n"
      "                     [--click X,Y@FRAME]... [--check-banner]\n"
      "keys: R shows a rewarded ad, P a light popup, Escape quits; clicks tap the ads\n");
}

static int parse_count(const char* text, long* out) {
  char* end = NULL;
  long value;
  if (!text || !*text) return 0;
  errno = 0;
  value = strtol(text, &end, 10);
  if (errno || *end || value < 0) return 0;
  *out = value;
  return 1;
}

/* WIDTHxHEIGHT in points, each 100 to 2000: room for a banner and a popup card. */
static int parse_size(const char* text, long* width, long* height) {
  char buffer[32];
  char* x;
  if (strlen(text) >= sizeof buffer) return 0;
  strcpy(buffer, text);
  x = strchr(buffer, 'x');
  if (!x) return 0;
  *x = '\0';
  return parse_count(buffer, width) && parse_count(x + 1, height) && *width >= 100 &&
         *width <= 2000 && *height >= 100 && *height <= 2000;
}

/* KEY@FRAME, KEY an SDL key name ("R", "P", "Escape"). */
static int parse_press(const char* text, struct press* press) {
  char name[32];
  const char* at = strrchr(text, '@');
  size_t length;
  if (!at || at == text) return 0;
  length = (size_t)(at - text);
  if (length >= sizeof name) return 0;
  memcpy(name, text, length);
  name[length] = '\0';
  press->key = SDL_GetKeyFromName(name);
  press->delivered = 0;
  return press->key != SDLK_UNKNOWN && parse_count(at + 1, &press->frame);
}

/* X,Y@FRAME, in window coordinates. */
static int parse_click(const char* text, struct press* press) {
  char buffer[48];
  char *comma, *at;
  long x = 0, y = 0;
  if (strlen(text) >= sizeof buffer) return 0;
  strcpy(buffer, text);
  comma = strchr(buffer, ',');
  at = strchr(buffer, '@');
  if (!comma || !at || at < comma) return 0;
  *comma = *at = '\0';
  if (!parse_count(buffer, &x) || !parse_count(comma + 1, &y) ||
      !parse_count(at + 1, &press->frame) || x > INT_MAX || y > INT_MAX)
    return 0;
  press->key = SDLK_UNKNOWN;
  press->x = (int)x;
  press->y = (int)y;
  press->delivered = 0;
  return 1;
}

/* 0 on success, else the exit status. */
static int parse_options(int argc, char** argv, struct options* options) {
  int i;
  memset(options, 0, sizeof *options);
  options->banner_unit = "banner-main";
  options->rewarded_unit = "rewarded-main";
  options->popup_unit = "light-popup-main";
  options->width_pt = 400;
  options->height_pt = 640;
  options->scale = 1;
  for (i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : NULL;
    int takes_value = 1;
    if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
      usage(stdout);
      return -1;
    } else if (!strcmp(arg, "--check-banner")) {
      options->check_banner = 1;
      takes_value = 0;
    } else if (!value) {
      fprintf(stderr, "tilo-sdl-host: %s needs a value\n", arg);
      return 2;
    } else if (!strcmp(arg, "--bundle")) {
      options->bundle = value;
    } else if (!strcmp(arg, "--container")) {
      options->container = value;
    } else if (!strcmp(arg, "--api-base-url")) {
      options->api_base_url = value;
    } else if (!strcmp(arg, "--banner-unit")) {
      options->banner_unit = value;
    } else if (!strcmp(arg, "--rewarded-unit")) {
      options->rewarded_unit = value;
    } else if (!strcmp(arg, "--popup-unit")) {
      options->popup_unit = value;
    } else if (!strcmp(arg, "--size")) {
      long width = 0, height = 0;
      if (!parse_size(value, &width, &height)) {
        fprintf(stderr, "tilo-sdl-host: --size takes WIDTHxHEIGHT in points, not \"%s\"\n", value);
        return 2;
      }
      options->width_pt = (double)width;
      options->height_pt = (double)height;
    } else if (!strcmp(arg, "--scale")) {
      long scale = 0;
      if (!parse_count(value, &scale) || scale < 1 || scale > 3) {
        fprintf(stderr, "tilo-sdl-host: --scale takes 1, 2 or 3, not \"%s\"\n", value);
        return 2;
      }
      options->scale = (double)scale;
    } else if (!strcmp(arg, "--frames")) {
      if (!parse_count(value, &options->frames) || options->frames == 0) {
        fprintf(stderr, "tilo-sdl-host: --frames takes a positive count, not \"%s\"\n", value);
        return 2;
      }
    } else if (!strcmp(arg, "--press") || !strcmp(arg, "--click")) {
      const int click = !strcmp(arg, "--click");
      struct press* press = &options->presses[options->press_count];
      if (options->press_count == MAX_SCRIPTED) {
        fprintf(stderr, "tilo-sdl-host: at most %d --press and --click\n", MAX_SCRIPTED);
        return 2;
      }
      if (click ? !parse_click(value, press) : !parse_press(value, press)) {
        fprintf(stderr, "tilo-sdl-host: %s takes %s, not \"%s\"\n", arg,
                click ? "X,Y@FRAME" : "KEY@FRAME", value);
        return 2;
      }
      ++options->press_count;
    } else {
      fprintf(stderr, "tilo-sdl-host: unknown argument %s\n", arg);
      usage(stderr);
      return 2;
    }
    i += takes_value;
  }
  return 0;
}

static int apply_startup_settings(const struct options* options) {
  tilo_status status = TILO_STATUS_OK;
  if (options->bundle) status = tilo_set_bundle_directory(options->bundle);
  if (status == TILO_STATUS_OK && options->container)
    status = tilo_set_application_container(options->container);
  if (status == TILO_STATUS_OK && options->api_base_url)
    status = tilo_set_development_base_url(options->api_base_url);
  if (status != TILO_STATUS_OK) {
    fprintf(stderr, "tilo-sdl-host: bad start-up setting: %s\n", tilo_status_name(status));
    return 0;
  }
  return 1;
}

static int open_sdl(struct game* game) {
  SDL_RendererInfo info;
  const SDL_BlendMode premultiplied = SDL_ComposeCustomBlendMode(
      SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD,
      SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD);
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    fprintf(stderr, "tilo-sdl-host: SDL_Init: %s\n", SDL_GetError());
    return 0;
  }
  game->sdl_window = SDL_CreateWindow("Tilo SDL host", SDL_WINDOWPOS_CENTERED,
                                      SDL_WINDOWPOS_CENTERED, game->width_px, game->height_px, 0);
  if (game->sdl_window)
    game->renderer = SDL_CreateRenderer(game->sdl_window, -1, SDL_RENDERER_PRESENTVSYNC);
  if (game->renderer)
    game->texture = SDL_CreateTexture(game->renderer, SDL_PIXELFORMAT_RGBA32,
                                      SDL_TEXTUREACCESS_STREAMING, game->width_px, game->height_px);
  if (!game->texture) {
    fprintf(stderr, "tilo-sdl-host: SDL: %s\n", SDL_GetError());
    return 0;
  }
  game->texture_premultiplied = SDL_SetTextureBlendMode(game->texture, premultiplied) == 0;
  if (!game->texture_premultiplied) SDL_SetTextureBlendMode(game->texture, SDL_BLENDMODE_BLEND);
  SDL_GetRendererInfo(game->renderer, &info);
  printf("sdl-host: %s video, %s renderer, %dx%d pixels, %s alpha\n", SDL_GetCurrentVideoDriver(),
         info.name, game->width_px, game->height_px,
         game->texture_premultiplied ? "premultiplied" : "straight");
  return 1;
}

static int open_tilo(struct game* game) {
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
  game->straight = calloc((size_t)game->width_px * game->height_px, 4);
  if (!game->pixels || !game->straight) return 0;
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

static void close_all(struct game* game) {
  /* The window is going away: the SDK saves and uploads its analytics. */
  if (game->window) {
    tilo_application_set_state(TILO_APPLICATION_BACKGROUND);
    tilo_run_main_loop_for(0.2);
  }
  tilo_light_popup_ad_destroy(game->popup);
  tilo_light_popup_ad_loader_destroy(game->popup_loader);
  tilo_rewarded_ad_destroy(game->rewarded);
  tilo_banner_view_destroy(game->banner);
  tilo_window_destroy(game->window);
  free(game->pixels);
  free(game->straight);
  if (game->texture) SDL_DestroyTexture(game->texture);
  if (game->renderer) SDL_DestroyRenderer(game->renderer);
  if (game->sdl_window) SDL_DestroyWindow(game->sdl_window);
  SDL_Quit();
}

/* Holds the loop near FRAMES_PER_SECOND where vsync does not (offscreen drivers). */
static void pace(Uint64 frame_start) {
  const Uint64 budget_ms = 1000 / FRAMES_PER_SECOND;
  const Uint64 spent = SDL_GetTicks64() - frame_start;
  if (spent < budget_ms) SDL_Delay((Uint32)(budget_ms - spent));
}

int main(int argc, char** argv) {
  static struct game game;
  int status, i, undelivered = 0;
  memset(&game, 0, sizeof game);
  game.banner_loaded_frame = -1;
  status = parse_options(argc, argv, &game.options);
  if (status) return status < 0 ? 0 : status;
  setvbuf(stdout, NULL, _IOLBF, 0);
  if (!apply_startup_settings(&game.options) || !open_tilo(&game) || !open_sdl(&game)) {
    close_all(&game);
    return 2;
  }

  while (!game.quit) {
    const Uint64 frame_start = SDL_GetTicks64();
    inject_scripted(&game);
    poll_events(&game);
    tilo_run_main_loop_for(0); /* callbacks and timers due by now */
    draw_frame(&game);
    ++game.frame;
    if (game.options.frames && game.frame >= game.options.frames) break;
    pace(frame_start);
  }
  printf("sdl-host: %ld frames\n", game.frame);

  for (i = 0; i < game.options.press_count; ++i) {
    const struct press* press = &game.options.presses[i];
    if (press->delivered) continue;
    if (press->key == SDLK_UNKNOWN) {
      printf("sdl-host: scripted click %d,%d@%ld never delivered\n", press->x, press->y,
             press->frame);
    } else {
      printf("sdl-host: scripted press %s@%ld never delivered\n", SDL_GetKeyName(press->key),
             press->frame);
    }
    undelivered = 1;
  }
  status = 0;
  if (game.options.check_banner) {
    if (game.check == CHECK_PASSED) {
      printf("banner check: ok: %s\n", game.check_report);
    } else {
      printf("banner check: FAILED: %s\n", game.check == CHECK_FAILED ? game.check_report
                                           : game.banner_loaded_frame < 0
                                               ? "the banner did not load"
                                               : "the banner's pixels never reached the frame");
      status = 1;
    }
  }
  close_all(&game);
  return status ? status : undelivered ? 2 : 0;
}
