// offmap: draws an offsets grid (offs or coffs) as a PNG of its residuals against the fitted
// polynomials of the scene's KOLT_par file: range and azimuth side by side, measured minus
// model, on a blue-white-red scale symmetric about zero; cells that are not samples in grey.
// The scale ends at S, five robust standard deviations of the residuals rounded up to 1, 2
// or 5 times a power of ten: noise stays visible, gross outliers saturate. Small grids are
// enlarged by whole pixels per cell, large ones reduced to at most 1024 pixels a side, each
// pixel showing the median residual of its block. A cell's pixels keep the grid's aspect
// (azimuth spacing over range spacing, clamped to 1:4 .. 4:1). The image names the grid file
// and the parameter file, and gives the grid's first and last range and azimuth coordinates.
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "binio/fcomplex.h"
#include "binio/swap_io.h"
#include "bitmap_font.h"
#include "grid/offset_grid.h"
#include "numerics/offset_poly.h"
#include "params/KOLT_io.h"

using namespace polyest;

namespace {

constexpr int kMaxPanelPixels = 1024;
constexpr int kMinPanelPixels = 512;
constexpr int kMargin = 16, kGap = 32, kTextScale = 2, kBarHeight = 14;
constexpr int kTextHeight = FONT_ROWS * kTextScale;
constexpr RGB kWhite{255, 255, 255}, kBlack{0, 0, 0}, kGrey{150, 150, 150};
constexpr RGB kRed{178, 24, 43}, kBlue{33, 102, 172};
constexpr double kMaxAspect = 4.0;  // of a cell's pixels, height over width, and its inverse
constexpr int kMaxPathChars = 48;   // of a file name shown in the image; longer ones lose their start
constexpr int kHeaderLines = 3;     // the grid file, the KOLT_par file, the grid's extent

#ifndef OFFMAP_VERSION
#define OFFMAP_VERSION "unknown"
#endif

const char usage_text[] =
    "usage: offmap <offs_or_coffs> <KOLT_par> <png_out>\n"
    "       offmap --help | -h | --version\n"
    "  draws the range and azimuth residuals of the offsets grid against the KOLT_par\n"
    "  polynomials as a PNG image\n";

[[noreturn]] void fail(const char *message, const char *path) {
  fprintf(stderr, "\nERROR: %s: %s\n\n", message, path);
  exit(-1);
}

struct RESIDUALS {
  int nr = 0, naz = 0;
  std::vector<float> rng, az;  // measured minus model, per cell
  std::vector<unsigned char> sample;
};

// Cell positions and polynomial values as polyest computes them.
RESIDUALS residuals_of(const KOLT_PAR *kp, const std::vector<fcomplex> &grid) {
  RESIDUALS r;
  const GRID_GEOMETRY g = grid_geometry(kp);
  r.nr = g.nr;
  r.naz = g.naz;
  const size_t n = grid.size();
  r.rng.assign(n, 0.0f);
  r.az.assign(n, 0.0f);
  r.sample.assign(n, 0);
  for (int i = 0; i < r.naz; i++) {
    const double y = grid_azimuth(g, i);
    for (int j = 0; j < r.nr; j++) {
      const double x = grid_range(g, j);
      const size_t c = static_cast<size_t>(i) * r.nr + j;
      const fcomplex v = grid[c];
      if (!is_offset_cell(v)) continue;
      r.sample[c] = 1;
      r.rng[c] = static_cast<float>(v.re - r_poly1(kp->range_offset_polynomial, x, y));
      r.az[c] = static_cast<float>(v.im - az_poly1(kp->azimuth_offset_polynomial, x, y));
    }
  }
  return r;
}

// The median of v (not empty; reordered): of an even number of values the mean of the two in
// the middle, so that a block of two samples, one on either side of zero, is not drawn as the
// larger of them (which would tint a map of symmetric residuals red).
double median_of(std::vector<float> *v) {
  const auto mid = v->begin() + static_cast<long>(v->size() / 2);
  std::nth_element(v->begin(), mid, v->end());
  if (v->size() % 2 != 0) return *mid;
  const float below = *std::max_element(v->begin(), mid);
  return 0.5 * (static_cast<double>(below) + static_cast<double>(*mid));
}

// 1, 2 or 5 times a power of ten, at least v (v > 0).
double nice_ceiling(double v) {
  double p = std::pow(10.0, std::floor(std::log10(v)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * p >= v * (1.0 - 1e-12)) return m * p;
  return 10.0 * p;
}

// Five robust standard deviations (1.4826 times the median |residual| over both panels),
// rounded up: the noise shows as pale tints and every gross outlier saturates, before and
// after culling alike, so the two maps of a pair share their scale when the fit is good.
double scale_of(const RESIDUALS &r, double *largest) {
  std::vector<float> mags;
  for (size_t c = 0; c < r.sample.size(); c++)
    if (r.sample[c]) {
      mags.push_back(std::fabs(r.rng[c]));
      mags.push_back(std::fabs(r.az[c]));
    }
  *largest = 0.0;
  for (float m : mags) *largest = std::max(*largest, static_cast<double>(m));
  if (mags.empty() || !(*largest > 0.0) || !std::isfinite(*largest)) return 1.0;
  const double spread = 5.0 * 1.4826 * median_of(&mags);
  return nice_ceiling(spread > 0.0 ? spread : *largest);
}

size_t count_beyond(const RESIDUALS &r, double s) {
  size_t n = 0;
  for (size_t c = 0; c < r.sample.size(); c++)
    n += r.sample[c] && (std::fabs(r.rng[c]) > s || std::fabs(r.az[c]) > s);
  return n;
}

RGB colour_of(double v, double s) {
  const double t = std::clamp(v / s, -1.0, 1.0);
  const RGB end = t >= 0.0 ? kRed : kBlue;
  const double a = std::fabs(t);
  auto mix = [a](int from, int to) {
    return static_cast<unsigned char>(std::lround(from + (to - from) * a));
  };
  return RGB{mix(255, end.r), mix(255, end.g), mix(255, end.b)};
}

// Along one axis a panel shows either up pixels per cell or one pixel per down cells.
struct AXIS {
  int up = 1, down = 1;
  int pixels(int cells) const { return (cells + down - 1) / down * up; }
};

// p pixels per cell, rounded to whole pixels or whole cells per pixel, within the largest
// panel size.
AXIS axis_of(int cells, double p) {
  AXIS a;
  if (p < 1.0) {
    a.down = static_cast<int>(std::ceil(1.0 / p - 1e-9));
    while (a.pixels(cells) > kMaxPanelPixels) a.down++;
    return a;
  }
  a.up = std::max(1, static_cast<int>(std::lround(p)));
  while (a.up > 1 && static_cast<long long>(cells) * a.up > kMaxPanelPixels) a.up--;
  return a;
}

// Height over width of a cell's pixels: the azimuth spacing over the range spacing, within
// 1/4 .. 4 (1 when either spacing is 0).
double pixel_aspect(const GRID_GEOMETRY &g) {
  if (g.range_step == 0 || g.azimuth_step == 0) return 1.0;
  const double a = std::fabs(static_cast<double>(g.azimuth_step)) / std::fabs(g.range_step);
  return std::clamp(a, 1.0 / kMaxAspect, kMaxAspect);
}

struct LAYOUT {
  AXIS range, azimuth;
  int pw = 0, ph = 0;  // panel size
  int slot = 0;        // panel column width (panel or its labels, whichever is wider)
  int header_y = 0, title_y = 0, panel_y = 0, bar_y = 0, label_y = 0, note_y = 0;
  int width = 0, height = 0;
  int panel_x(int p) const { return kMargin + p * (slot + kGap); }
};

// The panel's longer side (counting an azimuth cell as aspect range cells) is reduced to at
// most kMaxPanelPixels, or enlarged by whole pixels towards kMinPanelPixels; the other side
// follows from the pixels per cell that the longer one got, times or over the aspect.
LAYOUT layout_of(const GRID_GEOMETRY &g, const char *const titles[2],
                 const char *const header[kHeaderLines]) {
  LAYOUT l;
  const double aspect = pixel_aspect(g);
  const bool range_longer = g.nr >= g.naz * aspect;
  const double side = range_longer ? g.nr : g.naz * aspect;
  const double s = side > kMaxPanelPixels ? kMaxPanelPixels / side
                                          : std::max(1.0, std::floor(kMinPanelPixels / side));
  auto per_cell = [](const AXIS &a) { return static_cast<double>(a.up) / a.down; };
  if (range_longer) {
    l.range = axis_of(g.nr, s);
    l.azimuth = axis_of(g.naz, per_cell(l.range) * aspect);
  } else {
    l.azimuth = axis_of(g.naz, s * aspect);
    l.range = axis_of(g.nr, per_cell(l.azimuth) / aspect);
  }
  l.pw = l.range.pixels(g.nr);
  l.ph = l.azimuth.pixels(g.naz);
  l.slot = std::max({l.pw, text_width(titles[0], kTextScale), text_width(titles[1], kTextScale)});
  l.width = 2 * kMargin + 2 * l.slot + kGap;
  for (int k = 0; k < kHeaderLines; k++)
    l.width = std::max(l.width, 2 * kMargin + text_width(header[k], kTextScale));
  l.header_y = kMargin;
  l.title_y = l.header_y + kHeaderLines * (kTextHeight + 4) + 10;
  l.panel_y = l.title_y + kTextHeight + 8;
  l.bar_y = l.panel_y + l.ph + 12;
  l.label_y = l.bar_y + kBarHeight + 6;
  l.note_y = l.label_y + kTextHeight + 10;
  l.height = l.note_y + kTextHeight + kMargin;
  return l;
}

// One panel: each pixel block shows its cell, or on reduced grids the median residual of the
// samples among the cells it stands for (the field, not its isolated outliers, which would
// otherwise fill most blocks); grey when none of them is a sample. Counts the blocks drawn at
// either end of the scale.
struct SATURATED {
  size_t red = 0, blue = 0, shown = 0;  // at +S, at -S, blocks with samples
};

SATURATED draw_panel(RGB_IMAGE *img, const LAYOUT &l, int x0, const RESIDUALS &r,
                     const std::vector<float> &res, double s) {
  SATURATED sat;
  std::vector<float> block;
  const int dr = l.range.down, daz = l.azimuth.down;
  for (int bi = 0; bi * daz < r.naz; bi++)
    for (int bj = 0; bj * dr < r.nr; bj++) {
      block.clear();
      for (int i = bi * daz; i < std::min(r.naz, (bi + 1) * daz); i++)
        for (int j = bj * dr; j < std::min(r.nr, (bj + 1) * dr); j++) {
          const size_t c = static_cast<size_t>(i) * r.nr + j;
          if (r.sample[c]) block.push_back(res[c]);
        }
      RGB colour = kGrey;
      if (!block.empty()) {
        const double m = median_of(&block);
        colour = colour_of(m, s);
        sat.red += m / s >= 1.0;
        sat.blue += m / s <= -1.0;
        sat.shown++;
      }
      fill_rect(img, x0 + bj * l.range.up, l.panel_y + bi * l.azimuth.up, l.range.up,
                l.azimuth.up, colour);
    }
  // Frame just outside the panel, so grey and white cells at the edge stay distinct.
  fill_rect(img, x0 - 1, l.panel_y - 1, l.pw + 2, 1, kBlack);
  fill_rect(img, x0 - 1, l.panel_y + l.ph, l.pw + 2, 1, kBlack);
  fill_rect(img, x0 - 1, l.panel_y, 1, l.ph, kBlack);
  fill_rect(img, x0 + l.pw, l.panel_y, 1, l.ph, kBlack);
  return sat;
}

// Colour bar from -s to +s under the panel, its ends and centre labelled; an end reads "<-s"
// or ">+s" when residuals beyond it are drawn in its colour.
void draw_bar(RGB_IMAGE *img, const LAYOUT &l, int x0, const RESIDUALS &r,
              const std::vector<float> &res, double s) {
  for (int x = 0; x < l.pw; x++) {
    const double v = l.pw > 1 ? s * (2.0 * x / (l.pw - 1) - 1.0) : 0.0;
    fill_rect(img, x0 + x, l.bar_y, 1, kBarHeight, colour_of(v, s));
  }
  bool below = false, above = false;
  for (size_t c = 0; c < res.size(); c++)
    if (r.sample[c]) {
      below = below || res[c] < -s;
      above = above || res[c] > s;
    }
  char low[40], high[40];
  snprintf(low, sizeof low, "%s-%g", below ? "<" : "", s);
  snprintf(high, sizeof high, "%s+%g", above ? ">" : "", s);
  draw_text(img, x0, l.label_y, low, kTextScale, kBlack);
  draw_text(img, x0 + (l.pw - text_width("0", kTextScale)) / 2, l.label_y, "0", kTextScale,
            kBlack);
  draw_text(img, x0 + l.pw - text_width(high, kTextScale), l.label_y, high, kTextScale, kBlack);
}

void write_png(const char *path, const RGB_IMAGE &img) {
  FILE *fp = fopen(path, "wb");
  if (fp == nullptr) fail("cannot open the PNG file for writing", path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png))) fail("error writing the PNG file", path);
  png_init_io(png, fp);
  png_set_IHDR(png, info, img.width, img.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < img.height; y++)
    png_write_row(png, img.pixels + 3 * static_cast<size_t>(y) * img.width);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (fclose(fp) != 0) fail("error writing the PNG file", path);
}

bool same_file(const char *a, const char *b) {
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// A file name as shown in the image: a character beyond ASCII (one UTF-8 sequence) as '?',
// and of a long name its last kMaxPathChars characters, the first three of them dots.
std::string shown_path(const char *path) {
  std::string text;
  for (const char *p = path; *p != '\0'; p++) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x80) text += *p;
    else if ((c & 0xC0) != 0x80) text += '?';  // a lead byte; continuation bytes are dropped
  }
  if (text.size() <= kMaxPathChars) return text;
  return "..." + text.substr(text.size() - (kMaxPathChars - 3));
}

}  // namespace

int main(int argc, char **argv) {
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
      fputs(usage_text, stdout);
      return 0;
    }
    if (strcmp(argv[i], "--version") == 0) {
      puts("offmap version " OFFMAP_VERSION);
      return 0;
    }
  }
  if (argc != 4) {
    fputs(usage_text, stderr);
    exit(-1);
  }
  const char *grid_path = argv[1], *par_path = argv[2], *png_path = argv[3];
  if (same_file(png_path, grid_path) || same_file(png_path, par_path))
    fail("the PNG file would overwrite an input", png_path);

  FILE *fp_par = fopen(par_path, "r");
  if (fp_par == nullptr) fail("cannot open the KOLT parameter file", par_path);
  KOLT_PAR kp;
  ALLOC_ERROR err{};
  if (read_KOLT_par(fp_par, &kp, &err) != 0) {
    fputs(alloc_message(err).c_str(), stderr);
    exit(-1);
  }
  fclose(fp_par);
  const int nr = kp.offset_estimation_range_samples, naz = kp.offset_estimation_azimuth_samples;
  if (nr <= 0 || naz <= 0 || static_cast<long long>(nr) * naz > (1LL << 30))
    fail("the offset grid size in the parameter file is not usable", par_path);

  // A short grid file leaves its missing cells zero: they show as non-samples.
  std::vector<fcomplex> grid(static_cast<size_t>(nr) * naz, fcomplex{0.0f, 0.0f});
  FILE *fp_grid = fopen(grid_path, "rb");
  if (fp_grid == nullptr) fail("cannot open the offsets grid", grid_path);
  fr_swap(grid.data(), 4, 2 * grid.size(), fp_grid);
  fclose(fp_grid);

  const RESIDUALS r = residuals_of(&kp, grid);
  double largest;
  const double s = scale_of(r, &largest);
  const GRID_GEOMETRY g = grid_geometry(&kp);
  const std::string grid_line = "residuals of " + shown_path(grid_path);
  const std::string par_line = "against the polynomials of " + shown_path(par_path);
  char extent_line[200];
  snprintf(extent_line, sizeof extent_line,
           "range %.0f .. %.0f (left to right), azimuth %.0f .. %.0f (top to bottom)",
           grid_range(g, 0), grid_range(g, nr - 1), grid_azimuth(g, 0), grid_azimuth(g, naz - 1));
  const char *header[kHeaderLines] = {grid_line.c_str(), par_line.c_str(), extent_line};
  const char *titles[2] = {"range residual (samples)", "azimuth residual (samples)"};
  const LAYOUT l = layout_of(g, titles, header);
  std::vector<unsigned char> pixels(3 * static_cast<size_t>(l.width) * l.height, 255);
  RGB_IMAGE img{l.width, l.height, pixels.data()};
  for (int k = 0; k < kHeaderLines; k++)
    draw_text(&img, kMargin, l.header_y + k * (kTextHeight + 4), header[k], kTextScale, kBlack);
  SATURATED sat[2];
  for (int p = 0; p < 2; p++) {
    const std::vector<float> &res = p == 0 ? r.rng : r.az;
    draw_text(&img, l.panel_x(p), l.title_y, titles[p], kTextScale, kBlack);
    sat[p] = draw_panel(&img, l, l.panel_x(p), r, res, s);
    draw_bar(&img, l, l.panel_x(p), r, res, s);
  }
  const size_t beyond = count_beyond(r, s);
  char note[120];
  snprintf(note, sizeof note, "grey: no sample or culled. beyond the scale: %zu samples", beyond);
  draw_text(&img, kMargin, l.note_y, note, kTextScale, kBlack);
  write_png(png_path, img);

  size_t nsamples = 0;
  for (unsigned char c : r.sample) nsamples += c;
  printf("offmap: %s: %d x %d px; panels %d x %d px at x %d and %d, y %d; %d x %d cells per "
         "%d x %d px\n",
         png_path, l.width, l.height, l.pw, l.ph, l.panel_x(0), l.panel_x(1), l.panel_y,
         l.range.down, l.azimuth.down, l.range.up, l.azimuth.up);
  printf("offmap: %zu samples of %zu cells; scale +-%g samples, %zu samples beyond it "
         "(largest |residual| %g)\n",
         nsamples, grid.size(), s, beyond, largest);
  printf("offmap: map points at the scale's ends (red +S / blue -S): range %zu / %zu, azimuth "
         "%zu / %zu, of %zu points with samples per panel\n",
         sat[0].red, sat[0].blue, sat[1].red, sat[1].blue, sat[0].shown);
  return 0;
}
