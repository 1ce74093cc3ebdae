/* The state the SDL host's parts share: its options, the game, and what each part offers
 * the others (see main.c for what the host does). */
#ifndef TILO_SDL_HOST_GAME_H
#define TILO_SDL_HOST_GAME_H

#include <SDL.h>
#include <stdint.h>

#include <tilo/tilo.h>

enum { MAX_SCRIPTED = 32, FRAMES_PER_SECOND = 60 };
static const double kBannerHeightPt = 50;

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
  int pixel_format; /* a tilo_pixel_format the texture takes as is */
  long uploads;     /* frames whose render changed pixels */

  tilo_window* window;
  int width_px, height_px;
  uint8_t* pixels; /* the SDK window's render, in pixel_format */

  tilo_banner_view* banner;
  long banner_loaded_frame; /* -1 until did_load */

  tilo_rewarded_ad* rewarded;
  enum ad_state rewarded_state;
  long fullscreen_since; /* the frame the rewarded ad or the popup went up */

  tilo_light_popup_ad_loader* popup_loader;
  tilo_light_popup_ad* popup;
  enum ad_state popup_state;

  enum check_state check;
  char check_report[256];
};

/* options.c: the command line. 0 on success, -1 after --help, else the exit status. */
int parse_options(int argc, char** argv, struct options* options);

/* ads.c: the SDK set up (window, banner, rewarded ad, popup loader) and the game's ad
 * actions. open_tilo returns 0 on failure. */
int open_tilo(struct game* game);
int fullscreen_busy(const struct game* game);
void show_rewarded(struct game* game);
void load_popup(struct game* game);

/* input.c: scripted input queued for this frame, then the frame's events handled. */
void inject_scripted(struct game* game);
void poll_events(struct game* game);

/* draw.c: the scene, the SDK's window over it, and the banner check when asked for. */
void draw_frame(struct game* game);

#endif
