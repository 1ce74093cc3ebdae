// Draws the PNG files of mediation/creatives/: the built-in test ads' media, icons and
// banners. Flat colours on purpose: they keep the files small (the library embeds them).
//
//   c++ -std=c++20 scripts/make_test_creatives.cpp -o /tmp/make_test_creatives
//       $(pkg-config --cflags --libs cairo libpng) && /tmp/make_test_creatives mediation/creatives
#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Rgb {
  double r, g, b;
};

Rgb hex(unsigned value) {
  return {((value >> 16) & 0xff) / 255.0, ((value >> 8) & 0xff) / 255.0, (value & 0xff) / 255.0};
}

void fill(cairo_t* cr, unsigned colour) {
  const Rgb c = hex(colour);
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
  cairo_fill(cr);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

void circle(cairo_t* cr, double x, double y, double r, unsigned colour) {
  cairo_arc(cr, x, y, r, 0, 2 * M_PI);
  fill(cr, colour);
}

void text(cairo_t* cr, const char* s, double x, double y, double size, unsigned colour,
          bool centred = false) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr, s, &e);
  const Rgb c = hex(colour);
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
  cairo_move_to(cr, centred ? x - e.width / 2 - e.x_bearing : x, y);
  cairo_show_text(cr, s);
}

// Match-three tiles on a violet board.
void puzzleTiles(cairo_t* cr, double x0, double y0, double cell, int cols, int rows) {
  const unsigned colours[] = {0xFF5A5F, 0xFFC93C, 0x3DDC97, 0x4CC9F0, 0xF72585};
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < cols; ++col) {
      roundedRect(cr, x0 + col * cell + 4, y0 + row * cell + 4, cell - 8, cell - 8, cell / 5);
      fill(cr, colours[(row * 2 + col * 3 + (row + col) / 3) % 5]);
    }
  }
}

void puzzleMedia(cairo_t* cr) {
  cairo_rectangle(cr, 0, 0, 640, 360);
  fill(cr, 0x4B2BB5);
  roundedRect(cr, 150, 20, 340, 320, 28);
  fill(cr, 0x34208A);
  puzzleTiles(cr, 170, 40, 60, 5, 5);
  const double stars[][3] = {{60, 70, 10}, {95, 250, 7}, {560, 90, 12}, {585, 280, 8}};
  for (const auto& star : stars) circle(cr, star[0], star[1], star[2], 0xFFE66D);
}

void puzzleIcon(cairo_t* cr) {
  roundedRect(cr, 0, 0, 128, 128, 28);
  fill(cr, 0xFF9F1C);
  puzzleTiles(cr, 14, 14, 50, 2, 2);
}

void harborMedia(cairo_t* cr) {
  cairo_rectangle(cr, 0, 0, 640, 360);
  fill(cr, 0x7EC8F2);
  circle(cr, 540, 80, 44, 0xFFD23F);
  for (auto [x, y] : {std::pair{110.0, 90.0}, {300, 60}, {430, 150}}) {
    circle(cr, x, y, 26, 0xFFFFFF);
    circle(cr, x + 30, y - 10, 32, 0xFFFFFF);
    circle(cr, x + 64, y, 24, 0xFFFFFF);
  }
  cairo_rectangle(cr, 0, 280, 640, 80);
  fill(cr, 0x1D6FA3);
  // The airship: envelope, gondola, fins.
  cairo_save(cr);
  cairo_translate(cr, 250, 190);
  cairo_scale(cr, 1.0, 0.42);
  cairo_arc(cr, 0, 0, 120, 0, 2 * M_PI);
  cairo_restore(cr);
  fill(cr, 0xE63946);
  roundedRect(cr, 205, 232, 90, 28, 8);
  fill(cr, 0x6D4C41);
  cairo_move_to(cr, 120, 190);
  cairo_line_to(cr, 90, 150);
  cairo_line_to(cr, 150, 175);
  cairo_close_path(cr);
  fill(cr, 0xB71C1C);
  // A treasure chest on the quay.
  roundedRect(cr, 470, 236, 90, 56, 6);
  fill(cr, 0x8D5524);
  cairo_rectangle(cr, 470, 256, 90, 8);
  fill(cr, 0xFFD23F);
}

void harborIcon(cairo_t* cr) {
  roundedRect(cr, 0, 0, 128, 128, 28);
  fill(cr, 0x1D6FA3);
  circle(cr, 92, 36, 18, 0xFFD23F);
  cairo_save(cr);
  cairo_translate(cr, 60, 70);
  cairo_scale(cr, 1.0, 0.45);
  cairo_arc(cr, 0, 0, 42, 0, 2 * M_PI);
  cairo_restore(cr);
  fill(cr, 0xE63946);
  roundedRect(cr, 46, 86, 28, 12, 4);
  fill(cr, 0xFFFFFF);
}

void gardenMedia(cairo_t* cr) {
  cairo_rectangle(cr, 0, 0, 640, 360);
  fill(cr, 0xCFF4D2);
  circle(cr, 160, 520, 300, 0x56C596);
  circle(cr, 520, 560, 320, 0x329D9C);
  const unsigned petals[] = {0xFF6B6B, 0xFFD93D, 0xC77DFF};
  int i = 0;
  for (auto [x, y] : {std::pair{90.0, 250.0}, {200, 220}, {450, 250}, {560, 230}}) {
    for (int p = 0; p < 5; ++p) {
      const double a = p * 2 * M_PI / 5;
      circle(cr, x + 14 * std::cos(a), y + 14 * std::sin(a), 11, petals[i % 3]);
    }
    circle(cr, x, y, 8, 0xFFFFFF);
    ++i;
  }
  const char* word[] = {"W", "O", "R", "D"};
  for (int k = 0; k < 4; ++k) {
    roundedRect(cr, 196 + k * 64, 70, 56, 56, 10);
    fill(cr, 0xFFFFFF);
    text(cr, word[k], 224 + k * 64, 110, 34, 0x205E4A, true);
  }
}

void gardenIcon(cairo_t* cr) {
  roundedRect(cr, 0, 0, 128, 128, 28);
  fill(cr, 0x56C596);
  roundedRect(cr, 30, 30, 68, 68, 14);
  fill(cr, 0xFFFFFF);
  text(cr, "W", 64, 84, 48, 0x205E4A, true);
}

void banner(cairo_t* cr) {
  cairo_rectangle(cr, 0, 0, 640, 100);
  fill(cr, 0x2A1B6E);
  cairo_save(cr);
  cairo_translate(cr, 14, 14);
  cairo_scale(cr, 72 / 128.0, 72 / 128.0);
  puzzleIcon(cr);
  cairo_restore(cr);
  text(cr, "Tilo Puzzle Quest", 104, 46, 26, 0xFFFFFF);
  text(cr, "Match tiles, win daily rewards", 104, 78, 18, 0xC9B8FF);
  roundedRect(cr, 500, 24, 124, 52, 26);
  fill(cr, 0xFFC93C);
  text(cr, "PLAY", 562, 59, 24, 0x2A1B6E, true);
}

void mrec(cairo_t* cr) {
  cairo_rectangle(cr, 0, 0, 600, 500);
  fill(cr, 0x4B2BB5);
  puzzleTiles(cr, 150, 36, 60, 5, 4);
  text(cr, "Tilo Puzzle Quest", 300, 336, 40, 0xFFFFFF, true);
  text(cr, "Match tiles, clear levels", 300, 380, 24, 0xC9B8FF, true);
  roundedRect(cr, 190, 412, 220, 60, 30);
  fill(cr, 0xFFC93C);
  text(cr, "PLAY FREE", 300, 452, 26, 0x2A1B6E, true);
}

// Opaque pictures as RGB, the rest as RGBA, at zlib's best compression.
bool writePng(cairo_surface_t* surface, const std::string& path) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  bool opaque = true;
  for (int y = 0; y < h && opaque; ++y) {
    for (int x = 0; x < w; ++x) {
      if ((reinterpret_cast<const uint32_t*>(data + y * stride)[x] >> 24) != 0xff) opaque = false;
    }
  }
  const int channels = opaque ? 3 : 4;
  std::vector<unsigned char> rows(static_cast<size_t>(w) * h * channels);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t p = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
      const unsigned a = p >> 24;
      unsigned char* out = &rows[(static_cast<size_t>(y) * w + x) * channels];
      for (int c = 0; c < 3; ++c) {
        const unsigned v = (p >> (16 - 8 * c)) & 0xff;  // premultiplied
        out[c] = a ? static_cast<unsigned char>(std::min(255u, (v * 255 + a / 2) / a)) : 0;
      }
      if (!opaque) out[3] = static_cast<unsigned char>(a);
    }
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, w, h, 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, &rows[static_cast<size_t>(y) * w * channels]);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

// `w` × `h` is the drawing's size; the file has `scale` times as many pixels a side.
bool write(const std::string& dir, const char* name, int w, int h, void (*draw)(cairo_t*),
           double scale = 1) {
  cairo_surface_t* surface = cairo_image_surface_create(
      CAIRO_FORMAT_ARGB32, static_cast<int>(w * scale), static_cast<int>(h * scale));
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, scale, scale);
  draw(cr);
  cairo_destroy(cr);
  const std::string path = dir + "/" + name;
  const bool ok = writePng(surface, path);
  cairo_surface_destroy(surface);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_test_creatives DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = write(dir, "puzzle-media.png", 640, 360, puzzleMedia, 0.75);
  ok = write(dir, "puzzle-icon.png", 128, 128, puzzleIcon) && ok;
  ok = write(dir, "harbor-media.png", 640, 360, harborMedia, 0.75) && ok;
  ok = write(dir, "harbor-icon.png", 128, 128, harborIcon) && ok;
  ok = write(dir, "garden-media.png", 640, 360, gardenMedia, 0.75) && ok;
  ok = write(dir, "garden-icon.png", 128, 128, gardenIcon) && ok;
  ok = write(dir, "banner-320x50.png", 640, 100, banner) && ok;
  ok = write(dir, "mrec-300x250.png", 600, 500, mrec, 0.75) && ok;
  return ok ? 0 : 1;
}
