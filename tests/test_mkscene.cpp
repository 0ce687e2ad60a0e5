// Runs the mkscene tool as a child process and checks the scene it writes.
#include <unistd.h>

#include "KOLT_io.h"
#include "offset_poly.h"
#include "swap_io.h"
#include "test_util.h"

namespace {

const int nr = 40, naz = 50;
const double rp[6] = {3, 1e-4, 2e-4, 1e-10, -2e-10, 3e-10};
const double ap[6] = {-2, 5e-5, -1e-4, 0, 1e-10, -1e-10};
const std::string grid_and_polys = "--nr 40 --naz 50 --range-poly 3,1e-4,2e-4,1e-10,-2e-10,3e-10 "
                                   "--az-poly -2,5e-5,-1e-4,0,1e-10,-1e-10 ";

struct Scene {
  ScratchDir dir;
  CommandResult run;
  explicit Scene(const std::string &args)
      : run(run_command(std::string(MKSCENE_BIN) + " " + dir.path("offs") + " " +
                        dir.path("ccp") + " " + dir.path("par") + " " + args)) {}
  std::string file(const char *name) const { return slurp(dir.path(name)); }
};

// Per cell: range and azimuth offset, cc, and the residuals against the true polynomials at
// the cell's coordinates by the scene's KOLT_par geometry.
std::vector<std::array<double, 5>> cells_of(const Scene &s) {
  std::string offs = s.file("offs"), ccp = s.file("ccp");
  EXPECT_TRUE(s.run.status == 0 && offs.size() == nr * naz * 8u && ccp.size() == nr * naz * 4u);
  if (offs.size() != nr * naz * 8u || ccp.size() != nr * naz * 4u) return {};
  KOLT_PAR kp{};
  FILE *fp = fopen(s.dir.path("par").c_str(), "r");
  stdout_of([&] { read_KOLT_par(fp, &kp); });
  fclose(fp);
  EXPECT_DOUBLE_EQ(kp.offset_estimation_threshold, 0.15);
  std::vector<float> o(2 * nr * naz), c(nr * naz);
  memcpy(o.data(), offs.data(), offs.size());
  memcpy(c.data(), ccp.data(), ccp.size());
  swap_to_file_order(o.data(), 4, o.size());
  swap_to_file_order(c.data(), 4, c.size());
  std::vector<std::array<double, 5>> cells;
  for (int k = 0; k < nr * naz; k++) {
    double x = kp.offset_estimation_starting_range + (k % nr) * kp.offset_estimation_range_spacing;
    double y = kp.offset_estimation_starting_azimuth +
               (k / nr) * kp.offset_estimation_azimuth_spacing;
    cells.push_back({o[2 * k], o[2 * k + 1], c[k], o[2 * k] - r_poly1(rp, x, y),
                     o[2 * k + 1] - az_poly1(ap, x, y)});
  }
  return cells;
}

TEST(Mkscene, SameSeedGivesTheSameBytesAnotherSeedAnotherScene) {
  Scene a("--seed 7"), b("--seed 7"), c("--seed 8");
  ASSERT_TRUE(a.run.status == 0 && b.run.status == 0 && c.run.status == 0);
  for (const char *name : {"offs", "ccp", "par"}) EXPECT_EQ(a.file(name), b.file(name)) << name;
  EXPECT_EQ(a.file("offs").size(), 64u * 128u * 8u);
  EXPECT_NE(a.file("offs"), c.file("offs"));
}

TEST(Mkscene, CellsFollowThePolynomialWithinTheNoise) {
  long good = 0, outliers = 0, failed = 0;
  double sum_sq = 0.0;
  for (const auto &[re, im, cc, dr, da] :
       cells_of(Scene(grid_and_polys + "--seed 3 --outliers 0.2 --failed 0.05 --noise 0.04"))) {
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
  for (const auto &c : cells_of(Scene(grid_and_polys + "--noise 0 --outliers 0 --failed 0")))
    EXPECT_TRUE(std::fabs(c[3]) < 2e-6 && std::fabs(c[4]) < 2e-6);
}

TEST(Mkscene, BadArgumentsEndWithOneMessageAndStatus255) {
  for (const char *args : {"--naz 12x", "--failed 0.6 --outliers 0.5", "--az-poly 1,2,3,4,5,6,7",
                           "--noise nan", "--bogus 1", "extra"}) {
    Scene s(args);
    EXPECT_TRUE(s.run.status == 255 && s.run.err.rfind("\nERROR: ", 0) == 0) << args;
    EXPECT_NE(access(s.dir.path("offs").c_str(), F_OK), 0) << args;
  }
}

}  // namespace
