// offmap: draws an offsets grid (offs or coffs) as a PNG of its residuals against the fitted
// polynomials of the scene's KOLT_par file: range and azimuth side by side, measured minus
// model, on a blue-white-red scale symmetric about zero; cells that are not samples in grey.
// The scale ends at S, five robust standard deviations of the residuals rounded up to 1, 2
// or 5 times a power of ten: noise stays visible, gross outliers saturate. Small grids are
// enlarged by whole pixels per cell, large ones reduced to at most 1024 pixels a side, each
// pixel showing the median residual of its block.
#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "binio/fcomplex.h"
#include "binio/swap_io.h"
#include "bitmap_font.h"
#include "grid/offset_grid.h"
#include "numerics/offset_poly.h"
#include "params/KOLT_io.h"

namespace {

constexpr int kMaxPanelPixels = 1024;
constexpr int kMinPanelPixels = 512;
constexpr int kMargin = 16, kGap = 32, kTextScale = 2, kBarHeight = 14;
constexpr int kTextHeight = FONT_ROWS * kTextScale;
constexpr RGB kWhite{255, 255, 255}, kBlack{0, 0, 0}, kGrey{150, 150, 150};
constexpr RGB kRed{178, 24, 43}, kBlue{33, 102, 172};

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
  auto mid = mags.begin() + static_cast<long>(mags.size() / 2);
  std::nth_element(mags.begin(), mid, mags.end());
  const double spread = 5.0 * 1.4826 * *mid;
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

struct LAYOUT {
  int up = 1, down = 1;  // pixels per cell, cells per pixel
  int pw = 0, ph = 0;    // panel size
  int slot = 0;          // panel column width (panel or its labels, whichever is wider)
  int panel_y = 0, bar_y = 0, label_y = 0, note_y = 0;
  int width = 0, height = 0;
  int panel_x(int p) const { return kMargin + p * (slot + kGap); }
};

LAYOUT layout_of(int nr, int naz, const char *const titles[2]) {
  LAYOUT l;
  const int side = std::max(nr, naz);
  if (side > kMaxPanelPixels) l.down = (side + kMaxPanelPixels - 1) / kMaxPanelPixels;
  else l.up = std::max(1, kMinPanelPixels / side);
  l.pw = (nr + l.down - 1) / l.down * l.up;
  l.ph = (naz + l.down - 1) / l.down * l.up;
  l.slot = std::max({l.pw, text_width(titles[0], kTextScale), text_width(titles[1], kTextScale)});
  l.panel_y = kMargin + kTextHeight + 8;
  l.bar_y = l.panel_y + l.ph + 12;
  l.label_y = l.bar_y + kBarHeight + 6;
  l.note_y = l.label_y + kTextHeight + 10;
  l.width = 2 * kMargin + 2 * l.slot + kGap;
  l.height = l.note_y + kTextHeight + kMargin;
  return l;
}

// One panel: each pixel block shows its cell, or on reduced grids the median residual of the
// samples among the cells it stands for (the field, not its isolated outliers, which would
// otherwise fill most blocks); grey when none of them is a sample.
void draw_panel(RGB_IMAGE *img, const LAYOUT &l, int x0, const RESIDUALS &r,
                const std::vector<float> &res, double s) {
  std::vector<float> block;
  for (int bi = 0; bi * l.down < r.naz; bi++)
    for (int bj = 0; bj * l.down < r.nr; bj++) {
      block.clear();
      for (int i = bi * l.down; i < std::min(r.naz, (bi + 1) * l.down); i++)
        for (int j = bj * l.down; j < std::min(r.nr, (bj + 1) * l.down); j++) {
          const size_t c = static_cast<size_t>(i) * r.nr + j;
          if (r.sample[c]) block.push_back(res[c]);
        }
      RGB colour = kGrey;
      if (!block.empty()) {
        auto mid = block.begin() + static_cast<long>(block.size() / 2);
        std::nth_element(block.begin(), mid, block.end());
        colour = colour_of(*mid, s);
      }
      fill_rect(img, x0 + bj * l.up, l.panel_y + bi * l.up, l.up, l.up, colour);
    }
  // Frame just outside the panel, so grey and white cells at the edge stay distinct.
  fill_rect(img, x0 - 1, l.panel_y - 1, l.pw + 2, 1, kBlack);
  fill_rect(img, x0 - 1, l.panel_y + l.ph, l.pw + 2, 1, kBlack);
  fill_rect(img, x0 - 1, l.panel_y, 1, l.ph, kBlack);
  fill_rect(img, x0 + l.pw, l.panel_y, 1, l.ph, kBlack);
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

}  // namespace

int main(int argc, char **argv) {
  if (argc != 4) {
    fputs("usage: offmap <offs_or_coffs> <KOLT_par> <png_out>\n"
          "  draws the range and azimuth residuals of the offsets grid against the KOLT_par\n"
          "  polynomials as a PNG image\n",
          stderr);
    exit(-1);
  }
  const char *grid_path = argv[1], *par_path = argv[2], *png_path = argv[3];
  if (same_file(png_path, grid_path) || same_file(png_path, par_path))
    fail("the PNG file would overwrite an input", png_path);

  FILE *fp_par = fopen(par_path, "r");
  if (fp_par == nullptr) fail("cannot open the KOLT parameter file", par_path);
  KOLT_PAR kp;
  read_KOLT_par(fp_par, &kp);
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
  const char *titles[2] = {"range residual (samples)", "azimuth residual (samples)"};
  const LAYOUT l = layout_of(nr, naz, titles);
  std::vector<unsigned char> pixels(3 * static_cast<size_t>(l.width) * l.height, 255);
  RGB_IMAGE img{l.width, l.height, pixels.data()};
  for (int p = 0; p < 2; p++) {
    const std::vector<float> &res = p == 0 ? r.rng : r.az;
    draw_text(&img, l.panel_x(p), kMargin, titles[p], kTextScale, kBlack);
    draw_panel(&img, l, l.panel_x(p), r, res, s);
    draw_bar(&img, l, l.panel_x(p), r, res, s);
  }
  const size_t beyond = count_beyond(r, s);
  char note[120];
  snprintf(note, sizeof note, "grey: no sample. beyond the scale: %zu samples", beyond);
  draw_text(&img, kMargin, l.note_y, note, kTextScale, kBlack);
  write_png(png_path, img);

  size_t nsamples = 0;
  for (unsigned char c : r.sample) nsamples += c;
  printf("offmap: %s: %d x %d px; panels %d x %d px at x %d and %d, y %d; %d x %d cells per "
         "%d x %d px\n",
         png_path, l.width, l.height, l.pw, l.ph, l.panel_x(0), l.panel_x(1), l.panel_y, l.down,
         l.down, l.up, l.up);
  printf("offmap: %zu samples of %zu cells; scale +-%g samples, %zu samples beyond it "
         "(largest |residual| %g)\n",
         nsamples, grid.size(), s, beyond, largest);
  return 0;
}
