// The numerics: the fast decomposition and pair fit, and the library's single fit, against the
// straightforward reference bit for bit; the fit's results on a case worked by hand; the offset
// polynomial.
#include <unistd.h>

#include "numerics/offset_poly.h"
#include "numerics/pair_fit.h"
#include "numerics/svd.h"
#include "oracle/svd_oracle.h"
#include "runtime/nr_util.h"
#include "support/test_support.h"

using namespace polyest;

namespace {

// Random entries of mixed scale, with zero, repeated and proportional columns mixed in.
Matrix random_matrix(int m, int n, std::mt19937_64 &rng) {
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  std::uniform_int_distribution<int> kind(0, 5);
  Matrix a(m, n);
  for (int j = 1; j <= n; j++) {
    const int k = kind(rng);
    const double scale = std::pow(10.0, 6 * uni(rng));
    for (int i = 1; i <= m; i++) {
      if (k == 0) a[i][j] = 0.0;
      else if (k == 1 && j > 1) a[i][j] = 3.0 * a[i][j - 1];
      else if (k == 2) a[i][j] = std::round(4 * uni(rng));
      else a[i][j] = scale * uni(rng);
    }
  }
  return a;
}

// Up to 10 columns, so that the loops for more columns than the fixed-column kernels take run
// too; and a matrix without rows.
TEST(Svd, DecompositionMatchesReferenceBitForBit) {
  std::mt19937_64 rng(7);
  for (int m : {0, 1, 2, 3, 5, 6, 7, 10, 63, 64, 65, 130, 1000})
    for (int n = 1; n <= 10; n++)
      for (int rep = 0; rep < 3; rep++) {
        SCOPED_TRACE(testing::Message() << m << "x" << n << " #" << rep);
        Matrix a = random_matrix(m, n, rng), ref = a, v(n, n), vref(n, n);
        // Only the first column non-zero: zero pivots where the loops beyond the kernels run.
        for (int j = 2; rep == 0 && n >= 9 && j <= n; j++)
          for (int i = 1; i <= m; i++) a[i][j] = ref[i][j] = 0.0;
        std::vector<double> w(n + 1), wref(n + 1);
        svdcmp(a.p(), m, n, w.data(), v.p());
        oracle_svdcmp(ref.p(), m, n, wref.data(), vref.p());
        for (int j = 1; j <= n; j++) {
          ASSERT_TRUE(same_bits(w[j], wref[j])) << "w" << j;
          for (int i = 1; i <= m; i++) ASSERT_TRUE(same_bits(a[i][j], ref[i][j])) << i << "," << j;
          for (int i = 1; i <= n; i++) ASSERT_TRUE(same_bits(v[i][j], vref[i][j])) << i << "," << j;
        }
      }
}

// The hypotenuse without overflow or underflow, whichever side is larger; the decomposition and
// its reference share it.
TEST(Svd, Pythag) {
  EXPECT_EQ(pythag(3.0, -4.0), 5.0);
  EXPECT_EQ(pythag(-4.0, 3.0), 5.0);
  EXPECT_EQ(pythag(0.0, 0.0), 0.0);
  EXPECT_EQ(pythag(0.0, -2.5), 2.5);
  EXPECT_DOUBLE_EQ(pythag(3e300, 4e300), 5e300);
  EXPECT_DOUBLE_EQ(pythag(3e-300, 4e-300), 5e-300);
}

TEST(SvdDeathTest, NonFiniteInputEndsWithNoConvergence) {
  ScratchDir dir;
  Matrix a(4, 3);
  for (int i = 1; i <= 4; i++)
    for (int j = 1; j <= 3; j++) a[i][j] = i + 2 * j;
  a[2][2] = NAN;
  EXPECT_EXIT(
      {
        Matrix v(3, 3);
        std::vector<double> w(4);
        if (freopen(dir.path("stdout").c_str(), "w", stdout)) svdcmp(a.p(), 4, 3, w.data(), v.p());
      },
      testing::ExitedWithCode(255), "^\nERROR: run-time error:\n$");
  EXPECT_EQ(slurp(dir.path("stdout")), "no convergence in 30 svdcmp iterations\n");
}

// Samples and the results of one fit; vectors are 1-based.
struct Fit {
  std::vector<double> x, y, z, sig, a, w;
  Matrix u, v;
  double chisq = -1.0;
  Fit(int ndata, int ma)
      : x(ndata + 1), y(x), z(x), sig(ndata + 1, 1.0), a(ma + 1, 7.0), w(ma + 1), u(ndata, ma),
        v(ma, ma) {}
  void run(basis_fn basis) {
    svdfit(x.data(), y.data(), z.data(), sig.data(), u.rows, a.data(), v.rows, u.p(), v.p(),
           w.data(), &chisq, basis);
  }
  Matrix covariance() {
    Matrix cvm(v.rows, v.rows);
    svdvar(v.p(), v.rows, w.data(), cvm.p());
    return cvm;
  }
};

// Weighted mean 40/21, chi-square 41/21 and variance 4/21 of the mean.
TEST(Fit, WeightedMeanChiSquareAndVariance) {
  Fit mean(3, 1);
  mean.z = {0, 1, 2, 4};
  mean.sig = {0, 1, 0.5, 2};
  mean.run(fpoly1);
  EXPECT_NEAR(mean.a[1], 40.0 / 21.0, 1e-15);
  EXPECT_NEAR(mean.chisq, 41.0 / 21.0, 1e-15);
  EXPECT_NEAR(mean.covariance()[1][1], 4.0 / 21.0, 1e-16);
}

// The cut-off of the fits is 1e-12 of the largest singular value: a value exactly on it is
// kept, the next smaller double is zeroed.
TEST(Fit, SingularValuesBelowTheCutOffAreZeroed) {
  double w[5] = {0, 1e-12, 1.0, std::nextafter(1e-12, 0.0), 0.5};
  zero_negligible(w, 4);
  EXPECT_TRUE(w[1] == 1e-12 && w[2] == 1.0 && w[3] == 0.0 && w[4] == 0.5);
}

// The first MA terms of 1, x, y, xy, x^2, y^2, x^2 y, x y^2, x^3 (the program's bases take 1,
// 3, 4, 6; beyond 7 the loops for more columns than the fixed-column kernels take run).
template <int MA>
void poly_basis(double p[], double x, double y) {
  const double terms[] = {1.0, x, y, x * y, x * x, y * y, x * x * y, x * y * y, x * x * x};
  for (int j = 1; j <= MA; j++) p[j] = terms[j - 1];
}
// The model's own bases where they exist (the pair fit evaluates them inline, several rows at
// a time), the same terms by this function elsewhere.
const basis_fn test_bases[] = {nullptr, fpoly1, poly_basis<2>, fpoly3,        fpoly4,
                               poly_basis<5>, fpoly6, poly_basis<7>, poly_basis<8>, poly_basis<9>};

// Each build of the pair fit this machine can run (SSE2 always, AVX where supported).
std::vector<std::pair<const char *, pair_fit_fn *>> pair_fit_builds() {
  std::vector<std::pair<const char *, pair_fit_fn *>> builds{{"generic", isa_generic::svdfit_pair}};
#ifdef POLYEST_AVX_PATH
  if (avx_usable()) builds.push_back({"avx", isa_avx::svdfit_pair});
#endif
  return builds;
}

TEST(Fit, PairAndSingleFitsMatchTheReferenceFits) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  for (auto [build, pair_fit_build] : pair_fit_builds())
  for (int m : {1, 3, 4, 5, 6, 7, 64, 65, 130, 500, 20000})
    for (int ma = 1; ma <= 9; ma++) {
      SCOPED_TRACE(testing::Message() << build << ": " << m << " samples, " << ma << " terms");
      std::vector<double> x(m + 1), y(m + 1), z1(m + 1), z2(m + 1), sig(m + 1);
      for (int i = 1; i <= m; i++) {
        x[i] = std::floor(2000 * uni(rng)), y[i] = (m < 100 ? 0.0 : std::floor(4000 * uni(rng)));
        z1[i] = 3.0 + 1e-4 * x[i] + 0.05 * uni(rng);
        z2[i] = -2.0 + 2e-4 * y[i] + (uni(rng) < 0.1 ? 5.0 : 0.05 * uni(rng));
        sig[i] = uni(rng) < 0.2 ? 1.0e10 : 1.0 / (0.1 + uni(rng));  // some weigh nothing
      }
      Matrix cols(ma, m), u(m, ma), v(ma, ma), vref(ma, ma);
      std::vector<double> a1(ma + 1), a2(ma + 1), r1(ma + 1), r2(ma + 1), w(ma + 1), wref(ma + 1);
      double c1, c2, rc1, rc2;
      basis_fn f = test_bases[ma];
      std::vector<double *> colp(ma + 1);
      for (int j = 0; j <= ma; j++) colp[j] = cols[j];
      const FIT_ARRAYS rows{x.data(), y.data(), z1.data(), z2.data(), sig.data()};
      ASSERT_EQ(pair_fit_build(fit_source(&rows), m, a1.data(), a2.data(), ma, colp.data(), v.p(),
                               w.data(), m % 2 ? nullptr : &c1, &c2, f),
                NR_OK);
      oracle_svdfit(x.data(), y.data(), z1.data(), sig.data(), m, r1.data(), ma, u.p(), vref.p(),
                    wref.data(), &rc1, f);
      oracle_svdfit(x.data(), y.data(), z2.data(), sig.data(), m, r2.data(), ma, u.p(), vref.p(),
                    wref.data(), &rc2, f);
      Matrix vs(ma, ma);
      std::vector<double> s2(ma + 1), ws(ma + 1);
      double sc2;
      svdfit(x.data(), y.data(), z2.data(), sig.data(), m, s2.data(), ma, u.p(), vs.p(), ws.data(),
             &sc2, f);
      EXPECT_TRUE(same_bits(sc2, rc2)) << sc2 << " " << rc2;
      for (int j = 1; j <= ma; j++) EXPECT_TRUE(same_bits(s2[j], r2[j])) << "single fit term " << j;
      EXPECT_TRUE((m % 2 || same_bits(c1, rc1)) && same_bits(c2, rc2)) << c1 << " " << rc1;
      for (int j = 1; j <= ma; j++) {
        EXPECT_TRUE(same_bits(a1[j], r1[j]) && same_bits(a2[j], r2[j])) << "term " << j;
        EXPECT_TRUE(same_bits(w[j], wref[j])) << "w" << j;
        for (int i = 1; i <= ma; i++) EXPECT_TRUE(same_bits(v[i][j], vref[i][j]));
      }
    }
}

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
  const std::pair<int, basis_fn> bases[] = {{1, fpoly1}, {3, fpoly3}, {4, fpoly4}, {6, fpoly6}};
  const double terms_at_2_3[] = {1, 2, 3, 6, 4, 9};  // 1, x, y, x*y, x*x, y*y
  for (auto [n, basis] : bases) {
    double p[8] = {-99, -99, -99, -99, -99, -99, -99, -99};
    basis(p, 2.0, 3.0);
    EXPECT_TRUE(p[0] == -99.0 && p[n + 1] == -99.0) << n;
    for (int k = 1; k <= n; k++) EXPECT_EQ(p[k], terms_at_2_3[k - 1]) << n << " terms, " << k;
  }
}

}  // namespace
