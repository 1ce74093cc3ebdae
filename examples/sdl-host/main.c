/* A game-like SDL2 host: a game loop that pumps the SDK once per frame, draws its scene
 * and, on top of it, the SDK's window (a banner pinned to the bottom edge, and whatever
 * full-screen ad or popup is up) from tilo_window_render through a streaming texture.
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
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "game.h"

/* ---- Set-up ----------------------------------------------------------------------- */

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
  /* ARGB8888 is B, G, R, A in memory on little-endian: the SDK's premultiplied BGRA, copied
   * as is. A renderer without custom blend modes blends straight alpha: then RGBA. */
  if (game->renderer)
    game->texture = SDL_CreateTexture(game->renderer, SDL_PIXELFORMAT_ARGB8888,
                                      SDL_TEXTUREACCESS_STREAMING, game->width_px, game->height_px);
  game->pixel_format = TILO_PIXEL_FORMAT_BGRA_PREMULTIPLIED;
  if (game->texture && SDL_SetTextureBlendMode(game->texture, premultiplied) != 0) {
    SDL_DestroyTexture(game->texture);
    game->texture = SDL_CreateTexture(game->renderer, SDL_PIXELFORMAT_RGBA32,
                                      SDL_TEXTUREACCESS_STREAMING, game->width_px, game->height_px);
    if (game->texture) SDL_SetTextureBlendMode(game->texture, SDL_BLENDMODE_BLEND);
    game->pixel_format = TILO_PIXEL_FORMAT_RGBA;
  }
  if (!game->texture) {
    fprintf(stderr, "tilo-sdl-host: SDL: %s\n", SDL_GetError());
    return 0;
  }
  SDL_GetRendererInfo(game->renderer, &info);
  printf("sdl-host: %s video, %s renderer, %dx%d pixels, %s alpha\n", SDL_GetCurrentVideoDriver(),
         info.name, game->width_px, game->height_px,
         game->pixel_format == TILO_PIXEL_FORMAT_RGBA ? "straight" : "premultiplied");
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
  printf("sdl-host: %ld frames, %ld with pixels to upload\n", game.frame, game.uploads);

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
