/* The SDL host's command line (see main.c). */
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "game.h"

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
int parse_options(int argc, char** argv, struct options* options) {
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
