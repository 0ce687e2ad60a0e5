// Runs the program on generated scenes with known polynomials: the fitted models must come
// back within what the noise allows and every gross outlier must be culled.
#include "KOLT_io.h"
#include "fcomplex.h"
#include "offset_poly.h"
#include "swap_io.h"
#include "test_util.h"

namespace {

const double range_poly[6] = {12.3, 1.5e-4, -2.1e-4, 2.0e-10, 1.2e-9, -3.0e-10};
const double az_poly[6] = {-4.7, -6.0e-5, 3.2e-4, -1.5e-10, 4.0e-10, 8.0e-10};
const double noise = 0.05;  // the generator's default

std::vector<fcomplex> read_grid(const std::string &path, size_t ncells) {
  std::string bytes = slurp(path);
  std::vector<fcomplex> g(ncells);
  EXPECT_EQ(bytes.size(), ncells * sizeof(fcomplex));
  memcpy(g.data(), bytes.data(), std::min(bytes.size(), ncells * sizeof(fcomplex)));
  swap_to_file_order(g.data(), 4, 2 * ncells);
  return g;
}

KOLT_PAR read_par(const std::string &path) {
  KOLT_PAR kp{};
  FILE *fp = fopen(path.c_str(), "r");
  if (fp == nullptr) return kp;
  stdout_of([&] { read_KOLT_par(fp, &kp); });
  fclose(fp);
  return kp;
}

std::string poly_arg(const double c[6]) {
  char buf[256];
  snprintf(buf, sizeof buf, "%.10g,%.10g,%.10g,%.10g,%.10g,%.10g", c[0], c[1], c[2], c[3], c[4],
           c[5]);
  return buf;
}

class Recovery : public ::testing::TestWithParam<std::pair<int, int>> {};  // seed, npoly

TEST_P(Recovery, ModelsWithinNoiseAndOutliersCulled) {
  const auto [seed, npoly] = GetParam();
  double rp[6], ap[6];  // a model of fewer terms is generated without the others
  for (int t = 0; t < 6; t++) {
    rp[t] = t < npoly ? range_poly[t] : 0.0;
    ap[t] = t < npoly ? az_poly[t] : 0.0;
  }
  ScratchDir d;
  const std::string files = d.path("offs") + " " + d.path("ccp") + " " + d.path("par");
  ASSERT_EQ(run_command(std::string(MKSCENE_BIN) + " " + files + " --seed " +
                        std::to_string(seed) + " --range-poly " + poly_arg(rp) + " --az-poly " +
                        poly_arg(ap)).status, 0);
  const KOLT_PAR before = read_par(d.path("par"));
  ASSERT_EQ(run_command(std::string(POLYEST_BIN) + " " + files + " " + d.path("coffs") +
                        " - - " + std::to_string(npoly)).status, 0);
  const KOLT_PAR kp = read_par(d.path("par"));
  const int nr = before.offset_estimation_range_samples;
  const int naz = before.offset_estimation_azimuth_samples;
  const auto offs = read_grid(d.path("offs"), size_t(nr) * naz);
  const auto coffs = read_grid(d.path("coffs"), size_t(nr) * naz);

  int good = 0, good_kept = 0, gross = 0;
  double worst = 0.0;
  for (int i = 0; i < naz; i++) {
    for (int j = 0; j < nr; j++) {
      const double x = before.offset_estimation_starting_range +
                       j * double(before.offset_estimation_range_spacing);
      const double y = before.offset_estimation_starting_azimuth +
                       i * double(before.offset_estimation_azimuth_spacing);
      const double tr = r_poly1(rp, x, y), ta = az_poly1(ap, x, y);
      worst = std::max({worst, std::fabs(r_poly1(kp.range_offset_polynomial, x, y) - tr),
                        std::fabs(az_poly1(kp.azimuth_offset_polynomial, x, y) - ta)});
      const fcomplex in = offs[i * nr + j], out = coffs[i * nr + j];
      if (in.re == 0.0f) continue;  // a failed cell
      const bool kept = out.re != 0.0f || out.im != 0.0f;
      if (std::fabs(in.re - tr) > 0.5 || std::fabs(in.im - ta) > 0.5) {
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
  // A least-squares model of n samples with npoly terms errs by about noise * sqrt(npoly / n)
  // at a typical point and a few times that at the grid's corners.
  EXPECT_LT(worst, 8.0 * noise * std::sqrt(npoly / double(good)));
  EXPECT_GT(gross, 0);
  // 2.5-sigma culling of Gaussian noise removes about 1 % of the good samples per direction.
  EXPECT_GT(good_kept, 0.95 * good);
  for (int t = npoly; t < 6; t++)
    EXPECT_TRUE(kp.range_offset_polynomial[t] == 0.0 && kp.azimuth_offset_polynomial[t] == 0.0);
}

INSTANTIATE_TEST_SUITE_P(Scenes, Recovery,
                         ::testing::Values(std::pair{1, 6}, std::pair{2, 6}, std::pair{3, 4},
                                           std::pair{4, 3}, std::pair{5, 1}));

}  // namespace
