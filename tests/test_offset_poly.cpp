#include "offset_poly.h"

#include "basis.h"
#include "svd.h"
#include "test_util.h"

namespace {

TEST(OffsetPoly, PinnedValuesShowTheGrouping) {
  const struct { double c[6], x, y, value; } cases[] = {
      {{1, 2, 3, 4, 5, 6}, 2.0, 3.0, 112.0},
      {{1, 2, 3, 4, 5, 6}, 0.0, 0.0, 1.0},
      // Summed term by term in monomial order these would round to 1e16 + 2 and
      // 2.0069999999999997; any other association of the sums also gives another value.
      {{0, 1, 1, 0, 1e16, 0}, 1.0, 1.0, 1e16},
      {{0.1, 0.2, 0.1, 0.3, 0.7, 1.1}, 1.1, 0.7, 2.0070000000000006},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(r_poly1(c.c, c.x, c.y), c.value);
    EXPECT_EQ(az_poly1(c.c, c.x, c.y), c.value);
  }
}

// Every basis writes exactly p[1] .. p[N], the first N of the polynomial's terms in its order.
TEST(OffsetPoly, BasesGiveThePolynomialsTermsInOrder) {
  const std::pair<int, basis_fn> bases[] = {{1, fpoly1}, {3, fpoly3}, {4, fpoly4}, {6, fpoly6},
                                            {3, pm3}};
  const double terms_at_2_3[] = {1, 2, 3, 6, 4, 9};  // 1, x, y, x*y, x*x, y*y
  for (auto [n, basis] : bases) {
    double p[8] = {-99, -99, -99, -99, -99, -99, -99, -99};
    basis(p, 2.0, 3.0);
    EXPECT_TRUE(p[0] == -99.0 && p[n + 1] == -99.0) << n;
    for (int k = 1; k <= n; k++) EXPECT_EQ(p[k], terms_at_2_3[k - 1]) << n << " terms, " << k;
  }
}

}  // namespace
