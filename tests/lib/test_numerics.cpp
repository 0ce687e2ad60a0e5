// The numerics: the fast decomposition and pair fit against the straightforward reference bit
// for bit, the fits and covariance against LAPACK, and the offset polynomial.
#include <unistd.h>

#include "numerics/offset_poly.h"
#include "numerics/pair_fit.h"
#include "numerics/svd.h"
#include "oracle/svd_oracle.h"
#include "support/test_support.h"

extern "C" void dgelss_(const int *m, const int *n, const int *nrhs, double *a, const int *lda,
                        double *b, const int *ldb, double *s, const double *rcond, int *rank,
                        double *work, const int *lwork, int *info);

namespace {

// 1-based matrix over one block, row 0 and column 0 unused; p() is what the routines take.
struct Matrix {
  int rows, cols;
  std::vector<double> data;
  std::vector<double *> line;
  Matrix(int r, int c) : rows(r), cols(c), data(size_t(r + 1) * (c + 1)) {}
  double *operator[](int i) { return data.data() + size_t(i) * (cols + 1); }
  double **p() {
    line.clear();
    for (int i = 0; i <= rows; i++) line.push_back((*this)[i]);
    return line.data();
  }
};

// LAPACK's least-squares solution x[0..n) of a x = b (b 1-based or empty) leaving out singular
// values below rcond of the largest; s receives the singular values, largest first.
std::vector<double> lapack_solve(Matrix &a, const std::vector<double> &b, double rcond,
                                 std::vector<double> *s) {
  int m = a.rows, n = a.cols, one = 1, ldb = std::max(m, n), rank = 0, info = 0, lwork = -1;
  std::vector<double> col(size_t(m) * n), x(ldb);
  for (int i = 1; i <= m; i++) {
    for (int j = 1; j <= n; j++) col[(i - 1) + size_t(j - 1) * m] = a[i][j];
    if (!b.empty()) x[i - 1] = b[i];
  }
  s->assign(std::min(m, n), 0.0);
  std::vector<double> work(1);
  for (int pass = 0; pass < 2; pass++) {  // the first pass asks for the size of work
    dgelss_(&m, &n, &one, col.data(), &m, x.data(), &ldb, s->data(), &rcond, &rank, work.data(),
            &lwork, &info);
    if (pass == 0) work.resize(lwork = int(work[0]));
  }
  EXPECT_EQ(info, 0);
  x.resize(n);
  return x;
}

bool same_bits(double a, double b) { return memcmp(&a, &b, sizeof a) == 0; }

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

struct Decomposition { Matrix u, v; std::vector<double> w; };

Decomposition decompose(const Matrix &a) {
  Decomposition d{a, Matrix(a.cols, a.cols), std::vector<double>(a.cols + 1)};
  svdcmp(d.u.p(), a.rows, a.cols, d.w.data(), d.v.p());
  return d;
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

// Against LAPACK on the shapes of the fits, full rank and rank deficient; U diag(w) V^T must
// reproduce A, and V and U be orthonormal.
TEST(Svd, AgreesWithLapackAndReproducesMatrix) {
  const int shapes[][2] = {{1, 1}, {1, 6}, {2, 3}, {3, 4}, {4, 4},   {5, 3},    {6, 6},
                           {7, 1}, {9, 6}, {50, 4}, {300, 3}, {1000, 6}, {3000, 3}, {3000, 6}};
  std::mt19937_64 rng(20240601);
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  for (auto [m, n] : shapes) {
    for (int rank : {n, n - 1, (n + 1) / 2}) {
      bool full = rank >= std::min(m, n);
      if (rank < 1 || (rank < n && full)) continue;
      SCOPED_TRACE(testing::Message() << m << "x" << n << " rank " << rank);
      // Full rank: uniform entries; else the product of an m x rank and a rank x n matrix.
      Matrix a(m, n), left(m, rank), right(rank, n);
      for (double &x : (full ? a : left).data) x = uni(rng);
      for (double &x : right.data) x = uni(rng);
      for (int i = 1; i <= m && !full; i++)
        for (int j = 1; j <= n; j++)
          for (int k = 1; k <= rank; k++) a[i][j] += left[i][k] * right[k][j];
      Decomposition d = decompose(a);
      std::vector<double> ours(d.w.begin() + 1, d.w.end()), ref;
      std::sort(ours.rbegin(), ours.rend());
      lapack_solve(a, {}, -1.0, &ref);
      for (size_t i = 0; i < ours.size(); i++) {
        double s = i < ref.size() ? ref[i] : 0.0;  // relative to itself, else to the largest
        EXPECT_LT(std::fabs(ours[i] - s) / (full && i < ref.size() ? s : ref[0]), 1e-13) << i;
      }
      for (int i = 1; i <= m; i++)
        for (int j = 1; j <= n; j++) {
          double sum = 0.0;
          for (int k = 1; k <= n; k++) sum += d.u[i][k] * d.w[k] * d.v[j][k];
          ASSERT_NEAR(sum, a[i][j], 1e-13 * ref[0]);
        }
      for (int j = 1; j <= n; j++)
        for (int k = 1; k <= n; k++) {
          double vtv = 0.0, utu = 0.0;
          for (int i = 1; i <= n; i++) vtv += d.v[i][j] * d.v[i][k];
          for (int i = 1; i <= m; i++) utu += d.u[i][j] * d.u[i][k];
          ASSERT_NEAR(vtv, j == k, 1e-14);
          // Columns of U that belong to singular values at rounding level (m < n) may be 0.
          if (d.w[j] > 1e-12 * ref[0] && d.w[k] > 1e-12 * ref[0]) {
            ASSERT_NEAR(utu, j == k, 1e-13);
          }
        }
    }
  }
}

TEST(SvdDeathTest, NonFiniteInputEndsWithNoConvergence) {
  ScratchDir dir;
  Matrix a(4, 3);
  for (int i = 1; i <= 4; i++)
    for (int j = 1; j <= 3; j++) a[i][j] = i + 2 * j;
  a[2][2] = NAN;
  EXPECT_EXIT(
      {
        if (freopen(dir.path("stdout").c_str(), "w", stdout)) decompose(a);
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

void zero_basis(double p[], double, double) { p[1] = p[2] = p[3] = 0.0; }

TEST(Fit, ConstantModelAndDegenerateDesigns) {
  // Weighted mean 40/21, chi-square 41/21 and variance 4/21 of the mean.
  Fit mean(3, 1);
  mean.z = {0, 1, 2, 4};
  mean.sig = {0, 1, 0.5, 2};
  mean.run(fpoly1);
  EXPECT_NEAR(mean.a[1], 40.0 / 21.0, 1e-15);
  EXPECT_NEAR(mean.chisq, 41.0 / 21.0, 1e-15);
  EXPECT_NEAR(mean.covariance()[1][1], 4.0 / 21.0, 1e-16);
  // y = x + 2^-44 x^2 makes two columns nearly equal: the singular value of relative size
  // 1e-14 is edited to exactly 0, the least-norm solution comes back and the null
  // direction (0, 1, -1) has no variance.
  Fit same(4, 3);
  for (int i = 1; i <= 4; i++) {
    same.x[i] = i;
    same.y[i] = i + std::ldexp(1.0, -44) * i * i;
    same.z[i] = 2.0 * i - 1.0;
  }
  same.run(fpoly3);
  EXPECT_EQ(std::count(same.w.begin() + 1, same.w.end(), 0.0), 1);
  Matrix cvm = same.covariance();
  for (int j = 1; j <= 3; j++) {
    EXPECT_NEAR(same.a[j], j == 1 ? -1.0 : 1.0, 1e-12);
    EXPECT_NEAR(cvm[j][2] - cvm[j][3], 0.0, 1e-11);
  }
  // A zero design matrix, and no samples at all.
  Fit zero(3, 3), empty(0, 6);
  zero.z = {0, 1, 2, 3};
  zero.sig = {0, 1, 2, 4};
  zero.run(zero_basis);
  for (int j = 1; j <= 3; j++) EXPECT_TRUE(zero.w[j] == 0.0 && zero.a[j] == 0.0) << j;
  EXPECT_EQ(zero.chisq, 2.5625);
  empty.run(fpoly6);
  EXPECT_EQ(std::count(empty.a.begin() + 1, empty.a.end(), 0.0), 6);
  EXPECT_EQ(empty.chisq, 0.0);
}

// The cut-off of the fits is 1e-12 of the largest singular value: a value exactly on it is
// kept, the next smaller double is zeroed.
TEST(Fit, SingularValuesBelowTheCutOffAreZeroed) {
  double w[5] = {0, 1e-12, 1.0, std::nextafter(1e-12, 0.0), 0.5};
  zero_negligible(w, 4);
  EXPECT_TRUE(w[1] == 1e-12 && w[2] == 1.0 && w[3] == 0.0 && w[4] == 0.5);
}

// Against LAPACK on random weighted samples of every model, from one sample to thousands: well
// conditioned (coordinates in [-1, 1]), rank deficient (x = y, or x = 2y for the plane) and the
// program's own case of raw image coordinates on a grid. Chi-square must be that of LAPACK's
// solution; well conditioned with enough samples, the covariance must invert the weighted
// normal matrix.
TEST(Fit, AgreesWithLapackAndCovarianceInvertsNormalMatrix) {
  const std::pair<int, basis_fn> models[] = {{1, fpoly1}, {3, fpoly3}, {4, fpoly4}, {6, fpoly6}};
  const double tolerance[3] = {1e-12, 1e-11, 1e-8};
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> uni(-1.0, 1.0), cc(0.1, 1.0);
  for (auto [n, basis] : models) {
    for (int ndata : {1, 2, 5, 6, 40, 700, 3000}) {
      for (int kind = 0; kind < 3; kind++) {
        SCOPED_TRACE(testing::Message() << n << " terms, " << ndata << " samples, kind " << kind);
        Fit f(ndata, n);
        Matrix design(ndata, n);  // the weighted system
        std::vector<double> rhs(ndata + 1), s;
        for (int i = 1; i <= ndata; i++) {
          f.x[i] = kind == 2 ? 40.0 * ((i - 1) % 64) + 20.0 : uni(rng);
          f.y[i] = kind == 2 ? 80.0 * ((i - 1) / 64) + 40.0
                   : kind == 1 ? (n == 3 ? 0.5 * f.x[i] : f.x[i]) : uni(rng);
          f.z[i] = uni(rng) + (kind == 2 ? 1e-3 * f.x[i] - 2e-7 * f.y[i] * f.y[i] : f.x[i]);
          f.sig[i] = 1.0 / cc(rng);
          basis(design[i], f.x[i], f.y[i]);
          for (int j = 1; j <= n; j++) design[i][j] /= f.sig[i];
          rhs[i] = f.z[i] / f.sig[i];
        }
        std::vector<double> ref = lapack_solve(design, rhs, 1e-12, &s);
        f.run(basis);
        double diff = 0.0, norm = 0.0, chisq = 0.0;
        for (int j = 1; j <= n; j++) {
          diff += (f.a[j] - ref[j - 1]) * (f.a[j] - ref[j - 1]);
          norm += ref[j - 1] * ref[j - 1];
        }
        for (int i = 1; i <= ndata; i++) {
          double r = rhs[i];
          for (int j = 1; j <= n; j++) r -= design[i][j] * ref[j - 1];
          chisq += r * r;
        }
        EXPECT_LT(std::sqrt(diff / norm), tolerance[kind]);
        EXPECT_NEAR(f.chisq, chisq, 1e-12 * (chisq + 1e-3));
        if (kind > 0 || ndata < 40) continue;
        Matrix cvm = f.covariance();
        for (int j = 1; j <= n; j++)
          for (int k = 1; k <= n; k++) {
            double sum = 0.0;
            for (int i = 1; i <= ndata; i++)
              for (int l = 1; l <= n; l++) sum += cvm[j][l] * design[i][l] * design[i][k];
            EXPECT_NEAR(sum, j == k, 1e-12);
          }
      }
    }
  }
}

// The first MA terms of 1, x, y, xy, x^2, y^2, x^2 y, x y^2, x^3 (the program's bases take 1,
// 3, 4, 6; beyond 7 the loops for more columns than the fixed-column kernels take run).
template <int MA>
void poly_basis(double p[], double x, double y) {
  const double terms[] = {1.0, x, y, x * y, x * x, y * y, x * x * y, x * y * y, x * x * x};
  for (int j = 1; j <= MA; j++) p[j] = terms[j - 1];
}
const basis_fn test_bases[] = {nullptr,        poly_basis<1>, poly_basis<2>, poly_basis<3>,
                               poly_basis<4>, poly_basis<5>, poly_basis<6>, poly_basis<7>,
                               poly_basis<8>, poly_basis<9>};

// Each build of the pair fit this machine can run (SSE2 always, AVX where supported).
std::vector<std::pair<const char *, pair_fit_fn *>> pair_fit_builds() {
  std::vector<std::pair<const char *, pair_fit_fn *>> builds{{"generic", isa_generic::svdfit_pair}};
#ifdef POLYEST_AVX_PATH
  if (avx_usable()) builds.push_back({"avx", isa_avx::svdfit_pair});
#endif
  return builds;
}

TEST(Fit, PairFitMatchesTwoReferenceFits) {
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
      pair_fit_build(x.data(), y.data(), z1.data(), z2.data(), sig.data(), m, a1.data(),
                     a2.data(), ma, colp.data(), v.p(), w.data(), &c1, &c2, f);
      oracle_svdfit(x.data(), y.data(), z1.data(), sig.data(), m, r1.data(), ma, u.p(), vref.p(),
                    wref.data(), &rc1, f);
      oracle_svdfit(x.data(), y.data(), z2.data(), sig.data(), m, r2.data(), ma, u.p(), vref.p(),
                    wref.data(), &rc2, f);
      EXPECT_TRUE(same_bits(c1, rc1) && same_bits(c2, rc2)) << c1 << " " << rc1;
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
