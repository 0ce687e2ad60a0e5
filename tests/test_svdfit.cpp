#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "basis.h"
#include "svd.h"

extern "C" void dgelss_(const int *m, const int *n, const int *nrhs, double *a, const int *lda,
                        double *b, const int *ldb, double *s, const double *rcond, int *rank,
                        double *work, const int *lwork, int *info);

namespace {

// 1-based matrix over one block, row 0 and column 0 unused.
struct Matrix {
  int rows, cols;
  std::vector<double> data;
  std::vector<double *> line;
  Matrix(int r, int c) : rows(r), cols(c), data(size_t(r + 1) * (c + 1)), line(r + 1) {
    for (int i = 0; i <= rows; i++) line[i] = data.data() + size_t(i) * (cols + 1);
  }
  double *operator[](int i) { return line[i]; }
  double **p() { return line.data(); }
};

// Samples and the results of one fit; vectors are 1-based.
struct Fit {
  std::vector<double> x, y, z, sig, a, w;
  Matrix u, v;
  double chisq = -1.0;
  Fit(int ndata, int ma)
      : x(ndata + 1), y(ndata + 1), z(ndata + 1), sig(ndata + 1, 1.0), a(ma + 1, 7.0),
        w(ma + 1), u(ndata, ma), v(ma, ma) {}
  int ndata() const { return int(x.size()) - 1; }
  int ma() const { return int(a.size()) - 1; }
  void run(basis_fn basis) {
    svdfit(x.data(), y.data(), z.data(), sig.data(), ndata(), a.data(), ma(), u.p(), v.p(),
           w.data(), &chisq, basis);
  }
  Matrix covariance() {
    Matrix cvm(ma(), ma());
    svdvar(v.p(), ma(), w.data(), cvm.p());
    return cvm;
  }
};

void zero_basis(double p[], double, double) { p[1] = p[2] = p[3] = 0.0; }

// Least-squares solution of the weighted system by LAPACK, same relative cut-off.
std::vector<double> lapack_solution(Fit &f, basis_fn basis) {
  int m = f.ndata(), n = f.ma(), one = 1, ldb = std::max(m, n), rank = 0, info = 0;
  std::vector<double> col(size_t(m) * n), b(ldb), s(std::min(m, n)), p(n + 1);
  for (int i = 1; i <= m; i++) {
    basis(p.data(), f.x[i], f.y[i]);
    for (int j = 1; j <= n; j++) col[(i - 1) + size_t(j - 1) * m] = p[j] / f.sig[i];
    b[i - 1] = f.z[i] / f.sig[i];
  }
  double rcond = 1e-12, query;
  int lwork = -1;
  dgelss_(&m, &n, &one, col.data(), &m, b.data(), &ldb, s.data(), &rcond, &rank, &query,
          &lwork, &info);
  lwork = int(query);
  std::vector<double> work(lwork);
  dgelss_(&m, &n, &one, col.data(), &m, b.data(), &ldb, s.data(), &rcond, &rank, work.data(),
          &lwork, &info);
  EXPECT_EQ(info, 0);
  b.resize(n);
  return b;
}

TEST(Svdfit, ExactPlaneAndConstantModel) {
  Fit plane(9, 3), quad(9, 6);
  for (int i = 1; i <= 9; i++) {
    plane.x[i] = quad.x[i] = 5.0 * ((i - 1) % 3);
    plane.y[i] = quad.y[i] = 10.0 * ((i - 1) / 3);
    plane.z[i] = quad.z[i] = 1.0 + 2.0 * plane.x[i] + 3.0 * plane.y[i];
  }
  plane.run(fpoly3);
  quad.run(fpoly6);
  const double expect[] = {1, 2, 3, 0, 0, 0};
  for (int j = 1; j <= 6; j++) {
    if (j <= 3) {
      EXPECT_NEAR(plane.a[j], expect[j - 1], 1e-12);
    }
    EXPECT_NEAR(quad.a[j], expect[j - 1], 1e-11);
  }
  EXPECT_LT(plane.chisq, 1e-24);
  EXPECT_LT(quad.chisq, 1e-20);

  // Weighted mean 40/21, chi-square 41/21 and variance 4/21 of the mean.
  Fit mean(3, 1);
  mean.z = {0, 1, 2, 4};
  mean.sig = {0, 1, 0.5, 2};
  mean.run(fpoly1);
  EXPECT_NEAR(mean.a[1], 40.0 / 21.0, 1e-15);
  EXPECT_NEAR(mean.chisq, 41.0 / 21.0, 1e-15);
  EXPECT_NEAR(mean.covariance()[1][1], 4.0 / 21.0, 1e-16);

  Fit many(5000, 1);
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> uni(0.05, 3.0);
  double weight = 0.0;
  for (int i = 1; i <= 5000; i++) {
    many.sig[i] = uni(rng);
    weight += 1.0 / (many.sig[i] * many.sig[i]);
  }
  many.run(fpoly1);
  EXPECT_NEAR(many.covariance()[1][1] * weight, 1.0, 1e-13);
}

TEST(Svdfit, DegenerateDesigns) {
  // y = x + 2^-44 x^2 makes two columns nearly equal: the singular value of relative size
  // 1e-14 is edited to exactly 0, the least-norm solution comes back and the null
  // direction (0, 1, -1) has no variance.
  const double bend = std::ldexp(1.0, -44);
  Fit same(4, 3);
  for (int i = 1; i <= 4; i++) {
    same.x[i] = i;
    same.y[i] = i + bend * i * i;
    same.z[i] = 2.0 * i - 1.0;
  }
  same.run(fpoly3);
  EXPECT_EQ(std::count(same.w.begin() + 1, same.w.end(), 0.0), 1);
  EXPECT_NEAR(same.a[1], -1.0, 1e-12);
  EXPECT_NEAR(same.a[2], 1.0, 1e-12);
  EXPECT_NEAR(same.a[3], 1.0, 1e-12);
  Matrix cvm = same.covariance();
  for (int i = 1; i <= 3; i++) EXPECT_NEAR(cvm[i][2] - cvm[i][3], 0.0, 1e-11);
  // The same design decomposed directly keeps the small value: the edit removed it.
  Fit raw(4, 3);
  for (int i = 1; i <= 4; i++) fpoly3(raw.u[i], i, i + bend * i * i);
  svdcmp(raw.u.p(), 4, 3, raw.w.data(), raw.v.p());
  EXPECT_EQ(std::count(raw.w.begin() + 1, raw.w.end(), 0.0), 0);

  Fit zero(3, 3);
  zero.z = {0, 1, 2, 3};
  zero.sig = {0, 1, 2, 4};
  zero.run(zero_basis);
  for (int j = 1; j <= 3; j++) {
    EXPECT_EQ(zero.w[j], 0.0);
    EXPECT_EQ(zero.a[j], 0.0);
  }
  EXPECT_EQ(zero.chisq, 2.5625);

  Fit empty(0, 6);
  empty.run(fpoly6);
  for (int j = 1; j <= 6; j++) EXPECT_EQ(empty.a[j], 0.0);
  EXPECT_EQ(empty.chisq, 0.0);
}

// Against LAPACK on random weighted samples of every model and on shapes from one sample to
// thousands: well conditioned (coordinates in [-1, 1]), rank deficient (x = y, or x = 2y for
// the plane) and the program's own case of raw image coordinates on a grid.
TEST(Svdfit, AgreesWithLapack) {
  const basis_fn bases[] = {fpoly1, fpoly3, fpoly4, fpoly6};
  const int terms[] = {1, 3, 4, 6};
  std::mt19937_64 rng(99);
  std::uniform_real_distribution<double> uni(-1.0, 1.0), cc(0.1, 1.0);
  const double tolerance[3] = {1e-12, 1e-11, 1e-8};
  double worst[3] = {0, 0, 0};
  for (int b = 0; b < 4; b++) {
    for (int ndata : {1, 2, 5, 6, 40, 700, 3000}) {
      for (int kind = 0; kind < 3; kind++) {
        SCOPED_TRACE(testing::Message() << terms[b] << " terms, " << ndata << " samples, kind "
                                        << kind);
        Fit f(ndata, terms[b]);
        for (int i = 1; i <= ndata; i++) {
          if (kind == 2) {
            f.x[i] = 40.0 * ((i - 1) % 64) + 20.0;
            f.y[i] = 80.0 * ((i - 1) / 64) + 40.0;
          } else {
            f.x[i] = uni(rng);
            f.y[i] = kind == 1 ? (terms[b] == 3 ? 0.5 * f.x[i] : f.x[i]) : uni(rng);
          }
          f.z[i] = uni(rng) + (kind == 2 ? 1e-3 * f.x[i] - 2e-7 * f.y[i] * f.y[i] : f.x[i]);
          f.sig[i] = 1.0 / cc(rng);
        }
        std::vector<double> ref = lapack_solution(f, bases[b]);
        f.run(bases[b]);
        double diff = 0.0, norm = 0.0;
        for (int j = 1; j <= terms[b]; j++) {
          diff += (f.a[j] - ref[j - 1]) * (f.a[j] - ref[j - 1]);
          norm += ref[j - 1] * ref[j - 1];
        }
        double dev = std::sqrt(diff / norm);
        worst[kind] = std::max(worst[kind], dev);
        EXPECT_LT(dev, tolerance[kind]);
      }
    }
  }
  printf("largest relative deviation of solutions from LAPACK: well conditioned %.3g, rank "
         "deficient %.3g, raw image coordinates %.3g\n", worst[0], worst[1], worst[2]);
}

// The covariance of a full-rank fit is the inverse of the weighted normal matrix.
TEST(Svdvar, InvertsNormalMatrix) {
  Fit f(200, 6);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> uni(-2.0, 2.0);
  for (int i = 1; i <= 200; i++) f.x[i] = uni(rng), f.y[i] = uni(rng), f.sig[i] = 1 + uni(rng) / 4;
  Matrix normal(6, 6);
  double p[7];
  for (int i = 1; i <= 200; i++) {
    fpoly6(p, f.x[i], f.y[i]);
    for (int j = 1; j <= 6; j++)
      for (int k = 1; k <= 6; k++) normal[j][k] += p[j] * p[k] / (f.sig[i] * f.sig[i]);
  }
  f.run(fpoly6);
  Matrix cvm = f.covariance();
  for (int j = 1; j <= 6; j++)
    for (int k = 1; k <= 6; k++) {
      double s = 0.0;
      for (int l = 1; l <= 6; l++) s += cvm[j][l] * normal[l][k];
      EXPECT_NEAR(s, j == k ? 1.0 : 0.0, 1e-12);
    }
}

}  // namespace
