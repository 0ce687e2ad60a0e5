// Runs the mkscene tool as a child process and checks the scene it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "KOLT_io.h"

namespace {

std::string slurp(const std::string &path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

// Scratch directories of this process, removed at exit.
struct SCRATCH {
  char root[32] = "/tmp/test_mkscene_XXXXXX";
  int count = 0;
  SCRATCH() { EXPECT_NE(mkdtemp(root), nullptr); }
  ~SCRATCH() { std::filesystem::remove_all(root); }
} scratch;

// Runs mkscene with the given arguments in a new scratch directory; returns the directory
// and the exit status.
std::string run_mkscene(const std::string &args, int *status) {
  std::string dir = scratch.root + ("/" + std::to_string(++scratch.count));
  std::filesystem::create_directory(dir);
  std::string files = " " + dir + "/offs " + dir + "/ccp " + dir + "/par ";
  std::string redirect = " >" + dir + "/out 2>" + dir + "/err";
  int rc = std::system((MKSCENE_BIN + files + args + redirect).c_str());
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return dir;
}

float big_endian_float(const std::string &bytes, size_t index) {
  uint32_t v = 0;
  for (size_t b = 0; b < 4; b++) v = (v << 8) | static_cast<unsigned char>(bytes[4 * index + b]);
  float f;
  memcpy(&f, &v, 4);
  return f;
}

double poly(const double c[6], double x, double y) {
  return c[0] + c[1] * x + c[2] * y + c[3] * x * y + c[4] * x * x + c[5] * y * y;
}

const int nr = 40, naz = 50;
const double rp[6] = {3, 1e-4, 2e-4, 1e-10, -2e-10, 3e-10};
const double ap[6] = {-2, 5e-5, -1e-4, 0, 1e-10, -1e-10};
const std::string grid_and_polys = "--nr 40 --naz 50 --range-poly 3,1e-4,2e-4,1e-10,-2e-10,3e-10 "
                                   "--az-poly -2,5e-5,-1e-4,0,1e-10,-1e-10 ";

// Calls check(re, im, cc, range residual, azimuth residual) for every cell, the residuals
// against the true polynomials at the coordinates the KOLT_par geometry gives the cell.
template <class CHECK>
void for_each_cell(const std::string &dir, CHECK check) {
  std::string offs = slurp(dir + "/offs"), ccp = slurp(dir + "/ccp");
  ASSERT_EQ(offs.size(), size_t{nr * naz * 8});
  ASSERT_EQ(ccp.size(), size_t{nr * naz * 4});
  KOLT_PAR kp;
  FILE *fp = fopen((dir + "/par").c_str(), "r");
  ASSERT_NE(fp, nullptr);
  read_KOLT_par(fp, &kp);
  fclose(fp);
  ASSERT_EQ(kp.offset_estimation_range_samples, nr);
  ASSERT_EQ(kp.offset_estimation_azimuth_samples, naz);
  EXPECT_DOUBLE_EQ(kp.offset_estimation_threshold, 0.15);
  for (size_t k = 0; k < size_t{nr * naz}; k++) {
    int i = int(k / nr), j = int(k % nr);
    double x = kp.offset_estimation_starting_range + j * kp.offset_estimation_range_spacing;
    double y = kp.offset_estimation_starting_azimuth + i * kp.offset_estimation_azimuth_spacing;
    float re = big_endian_float(offs, 2 * k), im = big_endian_float(offs, 2 * k + 1);
    check(re, im, big_endian_float(ccp, k), re - poly(rp, x, y), im - poly(ap, x, y));
  }
}

}  // namespace

TEST(Mkscene, SameSeedGivesTheSameBytesAnotherSeedAnotherScene) {
  int s[3];
  std::string a = run_mkscene("--seed 7", &s[0]), b = run_mkscene("--seed 7", &s[1]);
  std::string c = run_mkscene("--seed 8", &s[2]);
  ASSERT_TRUE(s[0] == 0 && s[1] == 0 && s[2] == 0);
  for (const char *name : {"/offs", "/ccp", "/par", "/out"})
    EXPECT_EQ(slurp(a + name), slurp(b + name)) << name;
  EXPECT_EQ(slurp(a + "/offs").size(), 64u * 128u * 8u);
  EXPECT_NE(slurp(a + "/offs"), slurp(c + "/offs"));
}

TEST(Mkscene, CellsFollowThePolynomialWithinTheNoise) {
  int status;
  std::string dir =
      run_mkscene(grid_and_polys + "--seed 3 --outliers 0.2 --failed 0.05 --noise 0.04", &status);
  ASSERT_EQ(status, 0);
  long good = 0, outliers = 0, failed = 0;
  double sum_sq = 0.0;
  for_each_cell(dir, [&](float re, float im, float cc, double dr, double da) {
    if (re == 0.0f) {
      failed++;
      EXPECT_TRUE(im == 0.0f && cc == 0.0f);
    } else if (std::fabs(dr) < 0.5 && std::fabs(da) < 0.5) {
      good++;
      sum_sq += dr * dr + da * da;
      EXPECT_TRUE(cc >= 0.2f && cc <= 0.9f);
    } else {
      outliers++;
      EXPECT_TRUE(std::fabs(dr) >= 0.5 && std::fabs(da) >= 0.5);
      EXPECT_TRUE(cc >= 0.05f && cc <= 0.3f);
    }
  });
  // Binomial shares of 2000 cells, four standard deviations wide.
  EXPECT_TRUE(failed >= 60 && failed <= 140) << failed;
  EXPECT_TRUE(outliers >= 330 && outliers <= 470) << outliers;
  EXPECT_NEAR(std::sqrt(sum_sq / (2.0 * good)), 0.04, 0.04 * 0.06);

  // Without noise every cell is its polynomial to float precision (a coordinate shift by half a
  // sample would show).
  dir = run_mkscene(grid_and_polys + "--noise 0 --outliers 0 --failed 0", &status);
  ASSERT_EQ(status, 0);
  for_each_cell(dir, [](float, float, float, double dr, double da) {
    EXPECT_TRUE(std::fabs(dr) < 2e-6 && std::fabs(da) < 2e-6);
  });
}

TEST(Mkscene, BadArgumentsEndWithOneMessageAndStatus255) {
  for (const char *args : {"--naz 12x", "--failed 0.6 --outliers 0.5", "--az-poly 1,2,3,4,5,6,7",
                           "--seed -1", "--noise nan", "--bogus 1", "--noise", "extra"}) {
    int status;
    std::string dir = run_mkscene(args, &status);
    EXPECT_EQ(status, 255) << args;
    EXPECT_EQ(slurp(dir + "/err").rfind("\nERROR: ", 0), 0u) << args;
    EXPECT_EQ(slurp(dir + "/out"), "") << args;
    EXPECT_NE(access((dir + "/offs").c_str(), F_OK), 0) << args;
  }
}
