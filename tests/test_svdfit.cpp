#include "basis.h"
#include "svd.h"
#include "test_util.h"

namespace {

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

TEST(Svdfit, ConstantModelAndDegenerateDesigns) {
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

// Against LAPACK on random weighted samples of every model, from one sample to thousands: well
// conditioned (coordinates in [-1, 1]), rank deficient (x = y, or x = 2y for the plane) and the
// program's own case of raw image coordinates on a grid. Chi-square must be that of LAPACK's
// solution; well conditioned with enough samples, the covariance must invert the weighted
// normal matrix.
TEST(Svdfit, AgreesWithLapackAndCovarianceInvertsNormalMatrix) {
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

}  // namespace
