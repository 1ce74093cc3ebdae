/* The SDL host's input: keys, clicks and window events from SDL's queue, and scripted
 * presses and clicks pushed into that queue when the game can take them. */
#include <stdio.h>
#include <string.h>

#include "game.h"

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

/* A click scripted for a frame after an ad went up is the player's tap on that ad (its
 * close button, say); one scripted earlier waits until the game is back. */
static int accepts_click(const struct game* game, const struct press* press) {
  return game->initialized && game->banner_loaded_frame >= 0 &&
         (!fullscreen_busy(game) || press->frame > game->fullscreen_since);
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
void inject_scripted(struct game* game) {
  int i;
  for (i = 0; i < game->options.press_count; ++i) {
    struct press* press = &game->options.presses[i];
    const int click = press->key == SDLK_UNKNOWN;
    SDL_Event event;
    if (press->delivered || press->frame > game->frame) continue;
    if (click ? !accepts_click(game, press) : !accepts_key(game, press->key)) continue;
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

void poll_events(struct game* game) {
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
