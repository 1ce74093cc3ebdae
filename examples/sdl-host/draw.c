/* The SDL host's drawing: its own scene, the SDK's window over it through a streaming
 * texture, and the banner check that reads the frame back. */
#include <stdio.h>
#include <stdlib.h>

#include "game.h"

/* The scene's clear colour. */
static const Uint8 kSky[3] = {0x1c, 0x22, 0x3f};

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

/* Renders what changed in the SDK's window into the texture; idle frames upload nothing.
 * The texture keeps the pixels of earlier frames, so only the damaged rows go up. */
static int upload_window(struct game* game) {
  const size_t stride = (size_t)game->width_px * 4;
  tilo_rect damaged;
  SDL_Rect rect;
  tilo_status status =
      tilo_window_render(game->window, game->pixels, stride, game->pixel_format, &damaged);
  if (status != TILO_STATUS_OK) {
    fprintf(stderr, "sdl-host: render failed: %s\n", tilo_status_name(status));
    return 0;
  }
  if (damaged.width <= 0 || damaged.height <= 0) return 1;
  rect.x = (int)damaged.x;
  rect.y = (int)damaged.y;
  rect.w = (int)damaged.width;
  rect.h = (int)damaged.height;
  if (SDL_UpdateTexture(game->texture, &rect,
                        game->pixels + (size_t)rect.y * stride + (size_t)rect.x * 4,
                        (int)stride) != 0) {
    fprintf(stderr, "sdl-host: texture upload failed: %s\n", SDL_GetError());
    return 0;
  }
  ++game->uploads;
  return 1;
}

/* ---- The banner check ------------------------------------------------------------- */

static int differs(int a, int b, int tolerance) {
  return abs(a - b) > tolerance;
}

/* The SDK's pixel at (x, y) as premultiplied R, G, B, A, whichever format the texture
 * takes. */
static void sdk_pixel(const struct game* game, int x, int y, uint8_t out[4]) {
  const uint8_t* p = game->pixels + ((size_t)y * game->width_px + x) * 4;
  int c;
  if (game->pixel_format == TILO_PIXEL_FORMAT_BGRA_PREMULTIPLIED) {
    out[0] = p[2];
    out[1] = p[1];
    out[2] = p[0];
    out[3] = p[3];
    return;
  }
  for (c = 0; c < 3; ++c) out[c] = (uint8_t)((p[c] * p[3] + 127) / 255);
  out[3] = p[3];
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
      uint8_t sdk[4];
      const uint8_t* under = before + ((size_t)y * width + x) * 4;
      const uint8_t* seen = after + ((size_t)y * width + x) * 4;
      int moved = 0;
      sdk_pixel(game, x, top + y, sdk);
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

void draw_frame(struct game* game) {
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
