// Runs the mkscene tool as a child process and checks the scene it writes.
#include <unistd.h>

#include "KOLT_io.h"
#include "offset_poly.h"
#include "swap_io.h"
#include "test_util.h"

namespace {

// A run of mkscene with the given arguments, writing into a directory of its own.
struct Scene {
  ScratchDir dir;
  CommandResult run;
  explicit Scene(const std::string &args)
      : run(run_command(std::string(MKSCENE_BIN) + " " + dir.path("offs") + " " +
                        dir.path("ccp") + " " + dir.path("par") + " " + args)) {}
  std::string file(const char *name) const { return slurp(dir.path(name)); }
};

TEST(Mkscene, SameSeedGivesTheSameBytesAnotherSeedAnotherScene) {
  Scene a("--seed 7"), b("--seed 7"), c("--seed 8");
  ASSERT_TRUE(a.run.status == 0 && b.run.status == 0 && c.run.status == 0);
  for (const char *name : {"offs", "ccp", "par"}) EXPECT_EQ(a.file(name), b.file(name)) << name;
  EXPECT_EQ(a.run.out, b.run.out);
  EXPECT_EQ(a.file("offs").size(), 64u * 128u * 8u);
  EXPECT_NE(a.file("offs"), c.file("offs"));
}

const int nr = 40, naz = 50;
const double rp[6] = {3, 1e-4, 2e-4, 1e-10, -2e-10, 3e-10};
const double ap[6] = {-2, 5e-5, -1e-4, 0, 1e-10, -1e-10};
const std::string grid_and_polys = "--nr 40 --naz 50 --range-poly 3,1e-4,2e-4,1e-10,-2e-10,3e-10 "
                                   "--az-poly -2,5e-5,-1e-4,0,1e-10,-1e-10 ";

// A cell's values and residuals against the true polynomials at the cell's coordinates by the
// scene's KOLT_par geometry.
struct Cell { float re, im, cc; double dr, da; };

std::vector<Cell> cells_of(const Scene &s) {
  std::string offs = s.file("offs"), ccp = s.file("ccp");
  bool whole = s.run.status == 0 && offs.size() == nr * naz * 8u && ccp.size() == nr * naz * 4u;
  EXPECT_TRUE(whole);
  FILE *fp = whole ? fopen(s.dir.path("par").c_str(), "r") : nullptr;
  if (fp == nullptr) return {};
  KOLT_PAR kp;
  read_KOLT_par(fp, &kp);
  fclose(fp);
  EXPECT_TRUE(kp.offset_estimation_range_samples == nr &&
              kp.offset_estimation_azimuth_samples == naz);
  EXPECT_DOUBLE_EQ(kp.offset_estimation_threshold, 0.15);
  std::vector<float> o(2 * nr * naz), c(nr * naz);
  memcpy(o.data(), offs.data(), offs.size());
  memcpy(c.data(), ccp.data(), ccp.size());
  swap_to_file_order(o.data(), 4, o.size());
  swap_to_file_order(c.data(), 4, c.size());
  std::vector<Cell> cells;
  for (int k = 0; k < nr * naz; k++) {
    int i = k / nr, j = k % nr;
    double x = kp.offset_estimation_starting_range + j * kp.offset_estimation_range_spacing;
    double y = kp.offset_estimation_starting_azimuth + i * kp.offset_estimation_azimuth_spacing;
    float re = o[2 * k], im = o[2 * k + 1];
    cells.push_back({re, im, c[k], re - r_poly1(rp, x, y), im - az_poly1(ap, x, y)});
  }
  return cells;
}

TEST(Mkscene, CellsFollowThePolynomialWithinTheNoise) {
  long good = 0, outliers = 0, failed = 0;
  double sum_sq = 0.0;
  for (const Cell &c : cells_of(Scene(grid_and_polys + "--seed 3 --outliers 0.2 --failed 0.05 "
                                                       "--noise 0.04"))) {
    if (c.re == 0.0f) {
      failed++;
      EXPECT_TRUE(c.im == 0.0f && c.cc == 0.0f);
    } else if (std::fabs(c.dr) < 0.5 && std::fabs(c.da) < 0.5) {
      good++;
      sum_sq += c.dr * c.dr + c.da * c.da;
      EXPECT_TRUE(c.cc >= 0.2f && c.cc <= 0.9f);
    } else {
      outliers++;
      EXPECT_TRUE(std::fabs(c.dr) >= 0.5 && std::fabs(c.da) >= 0.5);
      EXPECT_TRUE(c.cc >= 0.05f && c.cc <= 0.3f);
    }
  }
  // Binomial shares of 2000 cells, four standard deviations wide.
  EXPECT_TRUE(failed >= 60 && failed <= 140) << failed;
  EXPECT_TRUE(outliers >= 330 && outliers <= 470) << outliers;
  EXPECT_NEAR(std::sqrt(sum_sq / (2.0 * good)), 0.04, 0.04 * 0.06);
  // Without noise every cell is its polynomial to float precision (a coordinate shift by half
  // a sample would show).
  std::vector<Cell> exact = cells_of(Scene(grid_and_polys + "--noise 0 --outliers 0 --failed 0"));
  EXPECT_EQ(exact.size(), size_t{nr * naz});
  for (const Cell &c : exact) EXPECT_TRUE(std::fabs(c.dr) < 2e-6 && std::fabs(c.da) < 2e-6);
}

TEST(Mkscene, BadArgumentsEndWithOneMessageAndStatus255) {
  for (const char *args : {"--naz 12x", "--failed 0.6 --outliers 0.5", "--az-poly 1,2,3,4,5,6,7",
                           "--seed -1", "--noise nan", "--bogus 1", "--noise", "extra"}) {
    Scene s(args);
    EXPECT_EQ(s.run.status, 255) << args;
    EXPECT_EQ(s.run.err.rfind("\nERROR: ", 0), 0u) << args;
    EXPECT_EQ(s.run.out, "") << args;
    EXPECT_NE(access(s.dir.path("offs").c_str(), F_OK), 0) << args;
  }
}

}  // namespace
