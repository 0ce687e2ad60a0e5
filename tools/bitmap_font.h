#pragma once
// An 8-bit RGB image in memory and the drawing offmap needs: pixels, rectangles, and text
// in a built-in 5 x 9 bitmap font (7 rows above the baseline, 2 for descenders) of the
// printable ASCII characters.

struct RGB {
  unsigned char r, g, b;
};

struct RGB_IMAGE {
  int width, height;
  unsigned char *pixels;  // rows top to bottom, 3 bytes per pixel
};

constexpr int FONT_COLUMNS = 5;
constexpr int FONT_ROWS = 9;

// Pixels outside the image are ignored.
void set_pixel(RGB_IMAGE *img, int x, int y, RGB color);
void fill_rect(RGB_IMAGE *img, int x0, int y0, int w, int h, RGB color);

// Width in pixels of text drawn with glyphs enlarged scale times (one blank column between).
int text_width(const char *text, int scale);
// Draws text with its top left corner at (x0, y0).
void draw_text(RGB_IMAGE *img, int x0, int y0, const char *text, int scale, RGB color);
