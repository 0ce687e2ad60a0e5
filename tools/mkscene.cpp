// mkscene: writes a synthetic offset scene for polyest: the offsets grid (big-endian fcomplex,
// range offset then azimuth offset), the cross-correlation grid (big-endian float) and the
// scene's KOLT_par file. Every cell follows a known 6-term polynomial per direction in the
// cell's image coordinates plus Gaussian noise, except a share of gross outliers (displaced by
// 1 to 20 samples in both directions, low cross-correlation) and a share of failed cells
// (range offset, azimuth offset and cross-correlation all 0). On request, clustered damage as
// real pairs show it: decorrelated patches (water, layover), elliptical areas whose cells have a
// low cross-correlation and random offsets, and rectangular blocks of failed cells.
//
// The bytes written depend on the options only: the random numbers come from splitmix64, and
// the normal deviates are made with IEEE basic operations and square roots alone (no library
// distribution, no library logarithm), so every machine writes the same files for a seed.
// The patches and blocks draw from a second generator of their own, so a scene with them
// holds the same values as the scene without them in every cell outside them, and the
// default options draw exactly what they always drew.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "binio/fcomplex.h"
#include "binio/swap_io.h"
#include "grid/offset_grid.h"
#include "params/KOLT_io.h"

using namespace polyest;

namespace {

// The synthetic image pair: its default size, and pixel spacings in metres. The grid cells sit
// at the centres of equal patches that tile the image.
const int default_image_range_samples = 20480;
const int default_image_azimuth_lines = 40960;
const int max_image_size = 10000000;
const int max_areas = 1000;
const double range_pixel_spacing = 2.329562;
const double azimuth_pixel_spacing = 3.975000;
const int patch_size = 128;
const double cc_threshold = 0.15;

struct SCENE_OPTIONS {
  const char *offs_path = nullptr;
  const char *ccp_path = nullptr;
  const char *par_path = nullptr;
  int width = default_image_range_samples;   // image range samples
  int height = default_image_azimuth_lines;  // image azimuth lines
  int nr = 64;
  int naz = 128;
  int patches = 0;        // decorrelated patches
  int failed_blocks = 0;  // blocks of failed cells
  uint64_t seed = 1;
  double outlier_share = 0.10;
  double failed_share = 0.02;
  double noise = 0.05;
  double range_poly[6] = {12.3, 1.5e-4, -2.1e-4, 2.0e-10, 1.2e-9, -3.0e-10};
  double az_poly[6] = {-4.7, -6.0e-5, 3.2e-4, -1.5e-10, 4.0e-10, 8.0e-10};
};

#ifndef MKSCENE_VERSION
#define MKSCENE_VERSION "unknown"
#endif

const char usage_text[] =
    "usage: mkscene <offs> <ccp> <KOLT_par> [--width N] [--height N] [--nr N] [--naz N]\n"
    "               [--seed S] [--outliers F] [--failed F] [--noise S] [--patches N]\n"
    "               [--failed-blocks N] [--range-poly a0,..,a5] [--az-poly a0,..,a5]\n"
    "       mkscene --help | -h | --version";

const char help_text[] =
    "  writes a synthetic offsets grid, cross-correlation grid and KOLT_par file for polyest\n"
    "  --width N, --height N  image range samples and azimuth lines (20480, 40960)\n"
    "  --nr N, --naz N        grid columns and rows (64, 128), at most the image size\n"
    "  --seed S               seed of the random numbers (1)\n"
    "  --outliers F           share of gross outliers (0.10)\n"
    "  --failed F             share of failed cells (0.02)\n"
    "  --noise S              standard deviation of the offsets' noise in samples (0.05)\n"
    "  --patches N            decorrelated patches: low cross-correlation, random offsets (0)\n"
    "  --failed-blocks N      rectangular blocks of failed cells (0)\n"
    "  --range-poly a0,..,a5  true range polynomial (12.3,1.5e-4,-2.1e-4,2e-10,1.2e-9,-3e-10)\n"
    "  --az-poly a0,..,a5     true azimuth polynomial (-4.7,-6e-5,3.2e-4,-1.5e-10,4e-10,8e-10)\n";

[[noreturn]] void fail(const char *message, const char *detail) {
  fprintf(stderr, "\nERROR: %s%s\n\n", message, detail);
  exit(-1);
}

// splitmix64: a 64-bit counter passed through a fixed mixing function.
uint64_t next_random(uint64_t *state) {
  *state += 0x9E3779B97F4A7C15ULL;
  uint64_t z = *state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Uniform in [0, 1): the top 53 bits scaled by 2^-53, both steps exact.
double uniform01(uint64_t *state) {
  return static_cast<double>(next_random(state) >> 11) * 0x1.0p-53;
}

// Natural logarithm of x > 0: x = m * 2^e with m in [sqrt(1/2), sqrt(2)), and
// log m = 2 atanh(s), s = (m - 1) / (m + 1), summed as a fixed odd power series
// (|s| <= 0.172, so 15 terms reach double precision).
double portable_log(double x) {
  int e = 0;
  double m = std::frexp(x, &e);
  if (m < 0.70710678118654752440) {
    m = m * 2.0;
    e = e - 1;
  }
  double s = (m - 1.0) / (m + 1.0);
  double s2 = s * s;
  double sum = 0.0;
  for (int k = 14; k >= 0; k--) sum = sum * s2 + 1.0 / (2 * k + 1);
  return 2.0 * s * sum + e * 0.69314718055994530942;
}

// Standard normal deviate, polar form of the Box-Muller transform.
double normal_deviate(uint64_t *state) {
  for (;;) {
    double v1 = 2.0 * uniform01(state) - 1.0;
    double v2 = 2.0 * uniform01(state) - 1.0;
    double s = v1 * v1 + v2 * v2;
    if (s > 0.0 && s < 1.0) return v1 * std::sqrt(-2.0 * portable_log(s) / s);
  }
}

// A gross error: 1 to 20 samples, either sign.
double gross_error(uint64_t *state) {
  double size = 1.0 + 19.0 * uniform01(state);
  return uniform01(state) < 0.5 ? -size : size;
}

double poly_value(const double c[6], double x, double y) {
  return c[0] + c[1] * x + c[2] * y + c[3] * x * y + c[4] * x * x + c[5] * y * y;
}

int parse_int(const char *text, const char *option, int min, int max) {
  char *end = nullptr;
  long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < min || v > max)
    fail("invalid value for option ", option);
  return static_cast<int>(v);
}

double parse_double(const char *text, const char *option, double min, double max) {
  char *end = nullptr;
  double v = strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= min && v <= max))
    fail("invalid value for option ", option);
  return v;
}

// Six comma-separated numbers, nothing else.
void parse_poly(const char *text, const char *option, double c[6]) {
  const char *p = text;
  for (int t = 0; t < 6; t++) {
    char *end = nullptr;
    c[t] = strtod(p, &end);
    if (end == p || !std::isfinite(c[t]) || *end != (t < 5 ? ',' : '\0'))
      fail("option needs six comma-separated numbers: ", option);
    p = end + 1;
  }
}

SCENE_OPTIONS parse_command_line(int argc, char **argv) {
  SCENE_OPTIONS opt;
  int npositional = 0;
  for (int i = 1; i < argc; i++) {
    const char *arg = argv[i];
    if (strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0) {
      printf("%s\n%s", usage_text, help_text);
      exit(0);
    }
    if (strcmp(arg, "--version") == 0) {
      puts("mkscene version " MKSCENE_VERSION);
      exit(0);
    }
    if (strncmp(arg, "--", 2) != 0) {
      if (npositional == 0) opt.offs_path = arg;
      if (npositional == 1) opt.ccp_path = arg;
      if (npositional == 2) opt.par_path = arg;
      npositional++;
      continue;
    }
    if (i + 1 >= argc) fail("option needs a value: ", arg);
    const char *value = argv[++i];
    if (strcmp(arg, "--width") == 0) {
      opt.width = parse_int(value, arg, 1, max_image_size);
    } else if (strcmp(arg, "--height") == 0) {
      opt.height = parse_int(value, arg, 1, max_image_size);
    } else if (strcmp(arg, "--nr") == 0) {
      opt.nr = parse_int(value, arg, 1, max_image_size);
    } else if (strcmp(arg, "--naz") == 0) {
      opt.naz = parse_int(value, arg, 1, max_image_size);
    } else if (strcmp(arg, "--patches") == 0) {
      opt.patches = parse_int(value, arg, 0, max_areas);
    } else if (strcmp(arg, "--failed-blocks") == 0) {
      opt.failed_blocks = parse_int(value, arg, 0, max_areas);
    } else if (strcmp(arg, "--seed") == 0) {
      char *end = nullptr;
      opt.seed = strtoull(value, &end, 10);
      if (value[0] < '0' || value[0] > '9' || *end != '\0') fail("invalid value for option ", arg);
    } else if (strcmp(arg, "--outliers") == 0) {
      opt.outlier_share = parse_double(value, arg, 0.0, 1.0);
    } else if (strcmp(arg, "--failed") == 0) {
      opt.failed_share = parse_double(value, arg, 0.0, 1.0);
    } else if (strcmp(arg, "--noise") == 0) {
      opt.noise = parse_double(value, arg, 0.0, 1.0e6);
    } else if (strcmp(arg, "--range-poly") == 0) {
      parse_poly(value, arg, opt.range_poly);
    } else if (strcmp(arg, "--az-poly") == 0) {
      parse_poly(value, arg, opt.az_poly);
    } else {
      fail("unknown option: ", arg);
    }
  }
  if (npositional != 3) fail("three file names are needed\n", usage_text);
  if (opt.nr > opt.width) fail("more grid columns than image range samples: ", "--nr");
  if (opt.naz > opt.height) fail("more grid rows than image azimuth lines: ", "--naz");
  if (static_cast<long long>(opt.nr) * opt.naz >= 2147483647LL)
    fail("the grid has more cells than polyest takes (2147483646): ", "--nr x --naz");
  if (opt.outlier_share + opt.failed_share > 1.0)
    fail("the shares of outliers and failed cells add up to more than 1", "");
  return opt;
}

// Grid geometry: nr x naz patches tile the image, each cell at the centre of its patch.
void fill_KOLT_par(const SCENE_OPTIONS &opt, KOLT_PAR *kp) {
  memset(kp, 0, sizeof *kp);
  snprintf(kp->title, sizeof kp->title, "synthetic offset scene, seed %llu",
           static_cast<unsigned long long>(opt.seed));
  kp->initial_range_offset = static_cast<int>(std::lround(opt.range_poly[0]));
  kp->initial_azimuth_offset = static_cast<int>(std::lround(opt.az_poly[0]));
  kp->range_samp_1 = kp->range_samp_2 = opt.width;
  kp->az_samp_1 = kp->az_samp_2 = opt.height;
  kp->number_of_nonzero_range_pixels_1 = kp->number_of_nonzero_range_pixels_2 = opt.width;
  kp->range_pixel_spacing_1 = kp->range_pixel_spacing_2 = range_pixel_spacing;
  kp->az_pixel_spacing_1 = kp->az_pixel_spacing_2 = azimuth_pixel_spacing;
  int rspacing = opt.width / opt.nr;
  int azspacing = opt.height / opt.naz;
  kp->offset_estimation_range_spacing = rspacing;
  kp->offset_estimation_starting_range = rspacing / 2;
  kp->offset_estimation_ending_range = rspacing / 2 + (opt.nr - 1) * rspacing;
  kp->offset_estimation_range_samples = opt.nr;
  kp->offset_estimation_azimuth_spacing = azspacing;
  kp->offset_estimation_starting_azimuth = azspacing / 2;
  kp->offset_estimation_ending_azimuth = azspacing / 2 + (opt.naz - 1) * azspacing;
  kp->offset_estimation_azimuth_samples = opt.naz;
  kp->offset_estimation_patch_width = patch_size;
  kp->offset_estimation_patch_height = patch_size;
  kp->offset_estimation_threshold = cc_threshold;
  kp->map_azimuth_lines = opt.height;
  kp->map_width = kp->number_map_range_pixels = opt.width;
  kp->range_looks = kp->azimuth_looks = 1;
}

// Clustered damage in image coordinates: decorrelated patches are axis-aligned ellipses with
// semi-axes of 4 to 12 % of the image's width and height, failed blocks rectangles with sides
// of 5 to 20 %; both anywhere in the image (also partly outside it).
struct AREAS {
  struct ELLIPSE { double x, y, rx, ry; };
  struct RECT { double x0, y0, x1, y1; };
  std::vector<ELLIPSE> patches;
  std::vector<RECT> blocks;

  bool in_patch(double x, double y) const {
    for (const ELLIPSE &e : patches) {
      const double u = (x - e.x) / e.rx, v = (y - e.y) / e.ry;
      if (u * u + v * v <= 1.0) return true;
    }
    return false;
  }
  bool in_block(double x, double y) const {
    for (const RECT &r : blocks)
      if (x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1) return true;
    return false;
  }
};

AREAS draw_areas(const SCENE_OPTIONS &opt, uint64_t *state) {
  AREAS a;
  const double w = opt.width, h = opt.height;
  for (int k = 0; k < opt.patches; k++) {
    const double x = w * uniform01(state), y = h * uniform01(state);
    const double rx = w * (0.04 + 0.08 * uniform01(state));
    const double ry = h * (0.04 + 0.08 * uniform01(state));
    a.patches.push_back({x, y, rx, ry});
  }
  for (int k = 0; k < opt.failed_blocks; k++) {
    const double x0 = w * uniform01(state), y0 = h * uniform01(state);
    const double bw = w * (0.05 + 0.15 * uniform01(state));
    const double bh = h * (0.05 + 0.15 * uniform01(state));
    a.blocks.push_back({x0, y0, x0 + bw, y0 + bh});
  }
  return a;
}

FILE *create_file(const char *path) {
  FILE *fp = fopen(path, "wb");
  if (fp == nullptr) fail("cannot create file: ", path);
  return fp;
}

void close_file(FILE *fp, const char *path) {
  if (ferror(fp) || fclose(fp) != 0) fail("error writing file: ", path);
}

void print_poly(const char *label, const double c[6]) {
  printf("%s", label);
  for (int t = 0; t < 6; t++) printf(" %.6e", c[t]);
  printf("\n");
}

}  // namespace

int main(int argc, char **argv) {
  SCENE_OPTIONS opt = parse_command_line(argc, argv);
  KOLT_PAR kp;
  fill_KOLT_par(opt, &kp);

  FILE *fp_offs = create_file(opt.offs_path);
  FILE *fp_ccp = create_file(opt.ccp_path);
  FILE *fp_par = create_file(opt.par_path);

  // Per cell, in grid order: the cell's kind, then its noise, then its gross errors and
  // cross-correlation. Failed cells draw nothing more. A cell in a failed block is then
  // failed, one in a decorrelated patch gets offsets anywhere within 16 samples of the model
  // and a cross-correlation of 0.03 ... 0.25 from the areas' generator.
  uint64_t state = opt.seed;
  uint64_t area_state = opt.seed ^ 0xD1B54A32D192ED03ULL;
  const AREAS areas = draw_areas(opt, &area_state);
  long npatch_cells = 0, nblock_cells = 0;
  std::vector<fcomplex> offs_row(opt.nr);
  std::vector<float> ccp_row(opt.nr);
  long nfailed = 0, noutliers = 0, ngood = 0;
  const GRID_GEOMETRY g = grid_geometry(&kp);
  for (int i = 0; i < opt.naz; i++) {
    double y = grid_azimuth(g, i);
    for (int j = 0; j < opt.nr; j++) {
      double x = grid_range(g, j);
      double kind = uniform01(&state);
      double rng = 0.0, az = 0.0, cc = 0.0;
      long *count = &nfailed;
      if (kind >= opt.failed_share) {
        rng = poly_value(opt.range_poly, x, y) + opt.noise * normal_deviate(&state);
        az = poly_value(opt.az_poly, x, y) + opt.noise * normal_deviate(&state);
        if (kind < opt.failed_share + opt.outlier_share) {
          rng = rng + gross_error(&state);
          az = az + gross_error(&state);
          cc = 0.05 + 0.25 * uniform01(&state);
          count = &noutliers;
        } else {
          cc = 0.2 + 0.7 * uniform01(&state);
          count = &ngood;
        }
      }
      if (areas.in_block(x, y)) {
        rng = az = cc = 0.0;
        count = &nblock_cells;
      } else if (areas.in_patch(x, y)) {
        rng = poly_value(opt.range_poly, x, y) + 32.0 * uniform01(&area_state) - 16.0;
        az = poly_value(opt.az_poly, x, y) + 32.0 * uniform01(&area_state) - 16.0;
        cc = 0.03 + 0.22 * uniform01(&area_state);
        count = &npatch_cells;
      }
      (*count)++;
      offs_row[j] = {static_cast<float>(rng), static_cast<float>(az)};
      ccp_row[j] = static_cast<float>(cc);
    }
    size_t n = static_cast<size_t>(opt.nr);
    if (fw_swap(offs_row.data(), 4, 2 * n, fp_offs) != 2 * n)
      fail("error writing file: ", opt.offs_path);
    if (fw_swap(ccp_row.data(), 4, n, fp_ccp) != n) fail("error writing file: ", opt.ccp_path);
  }
  std::string par_text = format_KOLT_par(&kp);
  if (fwrite(par_text.data(), 1, par_text.size(), fp_par) != par_text.size())
    fail("error writing file: ", opt.par_path);
  close_file(fp_offs, opt.offs_path);
  close_file(fp_ccp, opt.ccp_path);
  close_file(fp_par, opt.par_path);

  printf("synthetic scene: %d x %d cells (range x azimuth), seed %llu\n", opt.nr, opt.naz,
         static_cast<unsigned long long>(opt.seed));
  printf("grid: range start %d spacing %d, azimuth start %d spacing %d\n",
         kp.offset_estimation_starting_range, kp.offset_estimation_range_spacing,
         kp.offset_estimation_starting_azimuth, kp.offset_estimation_azimuth_spacing);
  printf("cells: %ld good, %ld gross outliers, %ld failed; noise sigma %.4f samples\n", ngood,
         noutliers, nfailed + nblock_cells, opt.noise);
  if (opt.patches > 0 || opt.failed_blocks > 0)
    printf("areas: decorrelated patches %d (%ld cells), failed blocks %d (%ld cells)\n",
           opt.patches, npatch_cells, opt.failed_blocks, nblock_cells);
  print_poly("true range_offset_polynomial:  ", opt.range_poly);
  print_poly("true azimuth_offset_polynomial:", opt.az_poly);
  return 0;
}
