#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "svd.h"

extern "C" void dgesvd_(const char *jobu, const char *jobvt, const int *m, const int *n,
                        double *a, const int *lda, double *s, double *u, const int *ldu,
                        double *vt, const int *ldvt, double *work, const int *lwork, int *info,
                        size_t jobu_len, size_t jobvt_len);

namespace {

// 1-based matrix over one block, row 0 and column 0 unused.
struct Matrix {
  int rows, cols;
  std::vector<double> data;
  std::vector<double *> line;
  Matrix(int r, int c) : rows(r), cols(c), data(size_t(r + 1) * (c + 1)), line(r + 1) { link(); }
  Matrix(const Matrix &o) : rows(o.rows), cols(o.cols), data(o.data), line(o.rows + 1) { link(); }
  void link() {
    for (int i = 0; i <= rows; i++) line[i] = data.data() + size_t(i) * (cols + 1);
  }
  double *operator[](int i) { return line[i]; }
};

struct Decomposition {
  Matrix u, v;
  std::vector<double> w;
};

Decomposition decompose(const Matrix &a) {
  Decomposition d{a, Matrix(a.cols, a.cols), std::vector<double>(a.cols + 1)};
  svdcmp(d.u.line.data(), a.rows, a.cols, d.w.data(), d.v.line.data());
  return d;
}

// Singular values by LAPACK, in decreasing order.
std::vector<double> lapack_singular_values(Matrix a) {
  int m = a.rows, n = a.cols, lda = m, one = 1, lwork = -1, info = 0;
  std::vector<double> col(size_t(m) * n), s(std::min(m, n));
  for (int i = 1; i <= m; i++)
    for (int j = 1; j <= n; j++) col[(i - 1) + size_t(j - 1) * m] = a[i][j];
  double query, dummy;
  dgesvd_("N", "N", &m, &n, col.data(), &lda, s.data(), &dummy, &one, &dummy, &one, &query,
          &lwork, &info, 1, 1);
  lwork = int(query);
  std::vector<double> work(lwork);
  dgesvd_("N", "N", &m, &n, col.data(), &lda, s.data(), &dummy, &one, &dummy, &one,
          work.data(), &lwork, &info, 1, 1);
  EXPECT_EQ(info, 0);
  return s;
}

// Random m x n matrix of the given rank (full rank when rank >= min(m, n)).
Matrix random_matrix(int m, int n, int rank, std::mt19937_64 &rng) {
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  Matrix a(m, n);
  if (rank >= std::min(m, n)) {
    for (int i = 1; i <= m; i++)
      for (int j = 1; j <= n; j++) a[i][j] = uni(rng);
    return a;
  }
  Matrix left(m, rank), right(rank, n);
  for (double &x : left.data) x = uni(rng);
  for (double &x : right.data) x = uni(rng);
  for (int i = 1; i <= m; i++)
    for (int j = 1; j <= n; j++)
      for (int k = 1; k <= rank; k++) a[i][j] += left[i][k] * right[k][j];
  return a;
}

TEST(Svdcmp, ExactResultsOfSmallMatrices) {
  for (double alpha : {4.0, -0.5}) {
    Matrix a(1, 1);
    a[1][1] = alpha;
    Decomposition d = decompose(a);
    EXPECT_EQ(d.w[1], std::fabs(alpha));
    EXPECT_EQ(d.u[1][1], -1.0);
    EXPECT_EQ(d.v[1][1], alpha > 0 ? -1.0 : 1.0);
  }
  // Diagonal matrices keep their order: no sorting of the singular values.
  for (double first : {1.0, 3.0}) {
    Matrix a(2, 2);
    a[1][1] = first;
    a[2][2] = 4.0 - first;
    Decomposition d = decompose(a);
    EXPECT_EQ(d.w[1], first);
    EXPECT_EQ(d.w[2], 4.0 - first);
    for (int i = 1; i <= 2; i++)
      for (int j = 1; j <= 2; j++) {
        EXPECT_EQ(d.u[i][j], i == j ? -1.0 : 0.0);
        EXPECT_EQ(d.v[i][j], i == j ? -1.0 : 0.0);
      }
  }
  // A single column: its norm, and V of the opposite sign of the first entry.
  for (double first : {1.0, -1.0}) {
    Matrix a(3, 1);
    a[1][1] = first, a[2][1] = 2.0, a[3][1] = 2.0;
    Decomposition d = decompose(a);
    EXPECT_NEAR(d.w[1], 3.0, 1e-15);
    EXPECT_EQ(d.v[1][1], first > 0 ? -1.0 : 1.0);
  }
}

TEST(Svdcmp, ZeroAndEmptyMatrices) {
  for (int m : {0, 5}) {
    Decomposition d = decompose(Matrix(m, 3));
    for (int j = 1; j <= 3; j++) {
      EXPECT_EQ(d.w[j], 0.0);
      for (int k = 1; k <= 3; k++) EXPECT_EQ(d.v[j][k], j == k ? 1.0 : 0.0);
    }
    for (int i = 1; i <= m; i++)
      for (int j = 1; j <= 3; j++) EXPECT_EQ(d.u[i][j], i == j ? 1.0 : 0.0);
  }
}

// Against LAPACK on the shapes of the fits, full rank and rank deficient; the product,
// V and U must also reproduce A and be orthonormal.
TEST(Svdcmp, AgreesWithLapackAndReproducesMatrix) {
  const int shapes[][2] = {{1, 1}, {1, 6}, {2, 3}, {3, 4}, {4, 4},   {5, 3},    {6, 6},
                           {7, 1}, {9, 6}, {50, 4}, {300, 3}, {1000, 6}, {3000, 3}, {3000, 6}};
  std::mt19937_64 rng(20240601);
  double worst_full = 0.0, worst_deficient = 0.0;
  for (auto [m, n] : shapes) {
    for (int rank : {n, n - 1, (n + 1) / 2}) {
      if (rank < 1 || (rank < n && rank >= std::min(m, n))) continue;
      SCOPED_TRACE(testing::Message() << m << "x" << n << " rank " << rank);
      Matrix a = random_matrix(m, n, rank, rng);
      Decomposition d = decompose(a);
      std::vector<double> ours(d.w.begin() + 1, d.w.end());
      std::sort(ours.rbegin(), ours.rend());
      std::vector<double> ref = lapack_singular_values(a);
      double smax = ref[0];
      for (size_t i = 0; i < ours.size(); i++) {
        double s = i < ref.size() ? ref[i] : 0.0;
        bool full = rank >= std::min(m, n) && i < ref.size();
        double dev = std::fabs(ours[i] - s) / (full ? s : smax);
        (full ? worst_full : worst_deficient) = std::max(full ? worst_full : worst_deficient, dev);
        EXPECT_LT(dev, 1e-13) << "singular value " << i;
      }
      for (int i = 1; i <= m; i++)
        for (int j = 1; j <= n; j++) {
          double sum = 0.0;
          for (int k = 1; k <= n; k++) sum += d.u[i][k] * d.w[k] * d.v[j][k];
          ASSERT_NEAR(sum, a[i][j], 1e-13 * smax);
        }
      for (int j = 1; j <= n; j++)
        for (int k = 1; k <= n; k++) {
          double vtv = 0.0, utu = 0.0;
          for (int i = 1; i <= n; i++) vtv += d.v[i][j] * d.v[i][k];
          for (int i = 1; i <= m; i++) utu += d.u[i][j] * d.u[i][k];
          ASSERT_NEAR(vtv, j == k ? 1.0 : 0.0, 1e-14);
          // Columns of U that belong to singular values at rounding level (m < n) may be 0.
          if (d.w[j] > 1e-12 * smax && d.w[k] > 1e-12 * smax) {
            ASSERT_NEAR(utu, j == k ? 1.0 : 0.0, 1e-13);
          }
        }
    }
  }
  printf("largest relative deviation of singular values from LAPACK: full rank %.3g, "
         "rank deficient (relative to the largest) %.3g\n", worst_full, worst_deficient);
}

TEST(SvdcmpDeathTest, NonFiniteInputEndsWithNoConvergence) {
  std::string out_path = testing::TempDir() + "svdcmp_nan_stdout.txt";
  EXPECT_EXIT(
      {
        if (!freopen(out_path.c_str(), "w", stdout)) abort();
        Matrix a(4, 3);
        for (int i = 1; i <= 4; i++)
          for (int j = 1; j <= 3; j++) a[i][j] = i + 2 * j;
        a[2][2] = NAN;
        decompose(a);
      },
      testing::ExitedWithCode(255), "^\nERROR: run-time error:\n$");
  std::ifstream in(out_path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "no convergence in 30 svdcmp iterations\n");
}

}  // namespace
