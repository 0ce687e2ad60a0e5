#include "svd.h"
#include "test_util.h"

namespace {

struct Decomposition { Matrix u, v; std::vector<double> w; };

Decomposition decompose(const Matrix &a) {
  Decomposition d{a, Matrix(a.cols, a.cols), std::vector<double>(a.cols + 1)};
  svdcmp(d.u.p(), a.rows, a.cols, d.w.data(), d.v.p());
  return d;
}

// U, w and V as the diagonalisation leaves them: signs, and the singular values not sorted.
// Matrices row by row; where u is empty (m > 0), U is not checked and w only to 1e-15.
TEST(Svdcmp, ExactResultsOfSmallAndZeroMatrices) {
  const std::vector<double> i2 = {-1, 0, 0, -1}, i3 = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  const struct { int m, n; std::vector<double> a, w, u, v; } cases[] = {
      {1, 1, {4}, {4}, {-1}, {-1}}, {1, 1, {-0.5}, {0.5}, {-1}, {1}},
      {2, 2, {1, 0, 0, 3}, {1, 3}, i2, i2}, {2, 2, {3, 0, 0, 1}, {3, 1}, i2, i2},
      {3, 1, {1, 2, 2}, {3}, {}, {-1}}, {3, 1, {-1, 2, 2}, {3}, {}, {1}},
      {0, 3, {}, {0, 0, 0}, {}, i3},
      {5, 3, std::vector<double>(15), {0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0},
       i3}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.m << "x" << c.n << ", a11 " << (c.m ? c.a[0] : 0.0));
    Matrix a(c.m, c.n);
    for (size_t k = 0; k < c.a.size(); k++) a[int(k) / c.n + 1][int(k) % c.n + 1] = c.a[k];
    Decomposition d = decompose(a);
    for (int j = 1; j <= c.n; j++) {
      EXPECT_NEAR(d.w[j], c.w[j - 1], c.u.empty() && c.m > 0 ? 1e-15 : 0.0);
      for (int i = 1; i <= c.m && !c.u.empty(); i++)
        EXPECT_EQ(d.u[i][j], c.u[(i - 1) * c.n + j - 1]);
      for (int i = 1; i <= c.n; i++) EXPECT_EQ(d.v[i][j], c.v[(i - 1) * c.n + j - 1]);
    }
  }
}

// Against LAPACK on the shapes of the fits, full rank and rank deficient; U diag(w) V^T must
// reproduce A, and V and U be orthonormal.
TEST(Svdcmp, AgreesWithLapackAndReproducesMatrix) {
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

TEST(SvdcmpDeathTest, NonFiniteInputEndsWithNoConvergence) {
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

}  // namespace
