#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "basis.h"
#include "offset_poly.h"
#include "svd.h"

namespace {

TEST(OffsetPoly, PinnedValues) {
  const double c[] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(r_poly1(c, 2.0, 3.0), 112.0);
  EXPECT_EQ(az_poly1(c, 2.0, 3.0), 112.0);
  EXPECT_EQ(r_poly1(c, 0.0, 0.0), 1.0);
  // Grouping: the x terms are summed first, then a0, then the y terms. Summed term by term
  // in monomial order the result would be 1e16 + 2.
  const double big[] = {0, 1, 1, 0, 1e16, 0};
  EXPECT_EQ(r_poly1(big, 1.0, 1.0), 1e16);
  EXPECT_EQ(az_poly1(big, 1.0, 1.0), 1e16);
}

TEST(OffsetPoly, AgreesWithEveryBasis) {
  const basis_fn bases[] = {fpoly1, fpoly3, fpoly4, fpoly6, pm3};
  const int terms[] = {1, 3, 4, 6, 3};
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> coord(-5000.0, 5000.0), coef(-2.0, 2.0);
  for (int b = 0; b < 5; b++) {
    for (int trial = 0; trial < 200; trial++) {
      double x = coord(rng), y = coord(rng);
      double p[8], c[6] = {0, 0, 0, 0, 0, 0};
      for (double &e : p) e = -99.0;
      bases[b](p, x, y);
      // Exactly p[1] .. p[N] are written.
      EXPECT_EQ(p[0], -99.0);
      EXPECT_EQ(p[terms[b] + 1], -99.0);
      double sum = 0.0, magnitude = 0.0;
      for (int k = 1; k <= terms[b]; k++) {
        c[k - 1] = coef(rng);
        sum += c[k - 1] * p[k];
        magnitude += std::fabs(c[k - 1] * p[k]);
      }
      EXPECT_NEAR(r_poly1(c, x, y), sum, 1e-14 * magnitude) << "basis " << b;
      EXPECT_EQ(r_poly1(c, x, y), az_poly1(c, x, y));
      if (terms[b] == 1) {
        EXPECT_EQ(r_poly1(c, x, y), c[0]);
      }
    }
  }
  double p[7];
  fpoly6(p, 2.0, 3.0);
  const double expect[] = {1, 2, 3, 6, 4, 9};
  for (int k = 1; k <= 6; k++) EXPECT_EQ(p[k], expect[k - 1]);
}

}  // namespace
