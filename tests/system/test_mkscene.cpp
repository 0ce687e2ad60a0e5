// mkscene's scenes: every cell its polynomial plus noise, gross outlier or failed cell, in the
// shares asked for. (Its exact bytes for one seed and its argument errors are golden cases.)
#include "numerics/offset_poly.h"
#include "system/scene.h"

namespace {

const double rp[6] = {3, 1e-4, 2e-4, 1e-10, -2e-10, 3e-10};
const double ap[6] = {-2, 5e-5, -1e-4, 0, 1e-10, -1e-10};

// Per cell: range and azimuth offset, cc, and the residuals against the true polynomials.
std::vector<std::array<double, 5>> cells_of(const std::vector<std::string> &options) {
  std::vector<std::string> all = {"--nr", "40", "--naz", "50", "--range-poly",
                                  "3,1e-4,2e-4,1e-10,-2e-10,3e-10", "--az-poly",
                                  "-2,5e-5,-1e-4,0,1e-10,-1e-10"};
  all.insert(all.end(), options.begin(), options.end());
  Scene s(all);
  const KOLT_PAR kp = read_par(s.par);
  EXPECT_DOUBLE_EQ(kp.offset_estimation_threshold, 0.15);
  const GRID_GEOMETRY g = grid_geometry(&kp);
  const std::vector<float> o = read_floats(s.offs), c = read_floats(s.ccp);
  EXPECT_TRUE(g.nr == 40 && g.naz == 50 && o.size() == 4000u && c.size() == 2000u);
  std::vector<std::array<double, 5>> cells;
  for (size_t k = 0; k < c.size() && 2 * k + 1 < o.size(); k++) {
    const double x = grid_range(g, int(k % 40)), y = grid_azimuth(g, int(k / 40));
    cells.push_back({o[2 * k], o[2 * k + 1], c[k], o[2 * k] - r_poly1(rp, x, y),
                     o[2 * k + 1] - az_poly1(ap, x, y)});
  }
  return cells;
}

TEST(Mkscene, CellsFollowThePolynomialWithinTheNoise) {
  long good = 0, outliers = 0, failed = 0;
  double sum_sq = 0.0;
  for (const auto &[re, im, cc, dr, da] :
       cells_of({"--seed", "3", "--outliers", "0.2", "--failed", "0.05", "--noise", "0.04"})) {
    if (re == 0.0) {
      failed++;
      EXPECT_TRUE(im == 0.0 && cc == 0.0);
    } else if (std::fabs(dr) < 0.5 && std::fabs(da) < 0.5) {
      good++;
      sum_sq += dr * dr + da * da;
      EXPECT_TRUE(cc >= 0.2 && cc <= 0.9f);
    } else {
      outliers++;
      EXPECT_TRUE(std::fabs(dr) >= 0.5 && std::fabs(da) >= 0.5 && cc >= 0.05f && cc <= 0.3f);
    }
  }
  // Binomial shares of 2000 cells, four standard deviations wide.
  EXPECT_TRUE(failed >= 60 && failed <= 140) << failed;
  EXPECT_TRUE(outliers >= 330 && outliers <= 470) << outliers;
  EXPECT_NEAR(std::sqrt(sum_sq / (2.0 * good)), 0.04, 0.04 * 0.06);
  // Without noise every cell is its polynomial to float precision (a coordinate shift by half
  // a sample would show).
  for (const auto &c : cells_of({"--noise", "0", "--outliers", "0", "--failed", "0"}))
    EXPECT_TRUE(std::fabs(c[3]) < 2e-6 && std::fabs(c[4]) < 2e-6);
}

}  // namespace
