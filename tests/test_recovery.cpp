// Runs the program on generated scenes with known polynomials and checks that the fitted
// models come back within what the noise allows and that every gross outlier is culled.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "KOLT_io.h"
#include "fcomplex.h"
#include "offset_poly.h"
#include "swap_io.h"

namespace fs = std::filesystem;

namespace {

const double range_poly[6] = {12.3, 1.5e-4, -2.1e-4, 2.0e-10, 1.2e-9, -3.0e-10};
const double az_poly[6] = {-4.7, -6.0e-5, 3.2e-4, -1.5e-10, 4.0e-10, 8.0e-10};
const double noise = 0.05;

std::string poly_arg(const double c[6]) {
  char buf[256];
  snprintf(buf, sizeof buf, "%.10g,%.10g,%.10g,%.10g,%.10g,%.10g", c[0], c[1], c[2], c[3], c[4],
           c[5]);
  return buf;
}

std::vector<fcomplex> read_grid(const fs::path &p, size_t ncells) {
  std::vector<fcomplex> g(ncells);
  FILE *fp = fopen(p.c_str(), "rb");
  EXPECT_NE(fp, nullptr);
  if (fp == nullptr) return g;
  EXPECT_EQ(fr_swap(g.data(), 4, 2 * ncells, fp), 2 * ncells);
  fclose(fp);
  return g;
}

KOLT_PAR read_par(const fs::path &p) {
  KOLT_PAR kp{};
  FILE *fp = fopen(p.c_str(), "r");
  EXPECT_NE(fp, nullptr);
  if (fp != nullptr) {
    read_KOLT_par(fp, &kp);
    fclose(fp);
  }
  return kp;
}

struct SCENE_CASE {
  int seed;
  int npoly;
};

class Recovery : public ::testing::TestWithParam<SCENE_CASE> {};

TEST_P(Recovery, ModelsWithinNoiseAndOutliersCulled) {
  const SCENE_CASE sc = GetParam();
  double rp[6], ap[6];
  for (int t = 0; t < 6; t++) {  // a model of fewer terms is generated without the others
    rp[t] = t < sc.npoly ? range_poly[t] : 0.0;
    ap[t] = t < sc.npoly ? az_poly[t] : 0.0;
  }
  const fs::path dir = fs::temp_directory_path() /
                       ("polyest_recovery_" + std::to_string(sc.seed) + "_" +
                        std::to_string(sc.npoly) + "_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string d = dir.string();
  const std::string gen = std::string(MKSCENE_BIN) + " " + d + "/offs " + d + "/ccp " + d +
                          "/par --seed " + std::to_string(sc.seed) + " --range-poly " +
                          poly_arg(rp) + " --az-poly " + poly_arg(ap) + " > /dev/null";
  ASSERT_EQ(system(gen.c_str()), 0);
  const KOLT_PAR before = read_par(dir / "par");
  const std::string run = std::string(POLYEST_BIN) + " " + d + "/offs " + d + "/ccp " + d +
                          "/par " + d + "/coffs - - " + std::to_string(sc.npoly) + " > " + d +
                          "/log";
  ASSERT_EQ(system(run.c_str()), 0);

  const KOLT_PAR kp = read_par(dir / "par");
  const int nr = before.offset_estimation_range_samples;
  const int naz = before.offset_estimation_azimuth_samples;
  const size_t ncells = static_cast<size_t>(nr) * naz;
  const auto offs = read_grid(dir / "offs", ncells);
  const auto coffs = read_grid(dir / "coffs", ncells);

  int good = 0, good_kept = 0, gross = 0;
  double worst_rng = 0.0, worst_az = 0.0;
  for (int i = 0; i < naz; i++) {
    for (int j = 0; j < nr; j++) {
      const double x = before.offset_estimation_starting_range +
                       j * static_cast<double>(before.offset_estimation_range_spacing);
      const double y = before.offset_estimation_starting_azimuth +
                       i * static_cast<double>(before.offset_estimation_azimuth_spacing);
      const double tr = r_poly1(rp, x, y), ta = az_poly1(ap, x, y);
      worst_rng = std::fmax(worst_rng, std::fabs(r_poly1(kp.range_offset_polynomial, x, y) - tr));
      worst_az = std::fmax(worst_az, std::fabs(az_poly1(kp.azimuth_offset_polynomial, x, y) - ta));
      const fcomplex in = offs[i * nr + j], out = coffs[i * nr + j];
      if (in.re == 0.0f) continue;  // failed cell
      const bool is_gross = std::fabs(in.re - tr) > 0.5 || std::fabs(in.im - ta) > 0.5;
      const bool kept = out.re != 0.0f || out.im != 0.0f;
      if (is_gross) {
        gross++;
        EXPECT_FALSE(kept) << "gross outlier kept at row " << i << " column " << j;
      } else {
        good++;
        good_kept += kept;
        if (kept) {
          EXPECT_TRUE(out.re == in.re && out.im == in.im);
        }
      }
    }
  }
  // The model error of a least-squares fit of n samples with npoly terms is about
  // noise * sqrt(npoly / n) at a typical point, a few times that at the grid's corners.
  const double tolerance = 8.0 * noise * std::sqrt(sc.npoly / static_cast<double>(good));
  RecordProperty("worst_model_error", std::to_string(worst_rng) + " " + std::to_string(worst_az) +
                                          " of " + std::to_string(tolerance));
  EXPECT_LT(worst_rng, tolerance);
  EXPECT_LT(worst_az, tolerance);
  EXPECT_GT(gross, 0);
  // 2.5-sigma culling of Gaussian noise removes about 1 % of the good samples per direction.
  EXPECT_GT(good_kept, 0.95 * good);
  for (int t = sc.npoly; t < 6; t++) {
    EXPECT_EQ(kp.range_offset_polynomial[t], 0.0);
    EXPECT_EQ(kp.azimuth_offset_polynomial[t], 0.0);
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Scenes, Recovery,
                         ::testing::Values(SCENE_CASE{1, 6}, SCENE_CASE{2, 6}, SCENE_CASE{3, 4},
                                           SCENE_CASE{4, 3}, SCENE_CASE{5, 1}));

}  // namespace
