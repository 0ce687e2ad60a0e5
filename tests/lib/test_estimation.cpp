#include <climits>
#include <vector>

#include "estimation/estimation.h"
#include "estimation/storage.h"
#include "numerics/offset_poly.h"
#include "support/test_support.h"

using namespace polyest;

namespace {

// The fits read the samples through their narrow record: the same bits as the pair fit over
// plain arrays of doubles built from the grid, with sig = 1 / cc and SIG_CULLED where culled.
TEST(Estimation, FitsSeeTheSamplesAsDoublesAndCulledMarksAsSig) {
  const GRID_GEOMETRY g{41, 7, 130, 7, -40, 13};
  std::vector<fcomplex> grid(size_t(g.nr) * g.naz);
  std::vector<float> cc(grid.size());
  for (size_t c = 0; c < grid.size(); c++) {
    const float x = float(c % g.nr), y = float(c / g.nr);
    grid[c] = {c % 11 == 3 ? 0.0f : 1.5f + 0.01f * x - 0.003f * y * y + (c % 5) * 0.125f,
               -0.75f + 0.02f * y - 0.001f * x * y + (c % 3) * 0.0625f};
    cc[c] = c % 17 == 5 ? NAN : 0.2f + 0.7f * float(c % 13) / 13.0f;
  }
  const size_t n = grid.size() + 1;
  std::vector<double> rng(g.nr), az(g.naz);
  std::vector<int> column(n), row(n);
  std::vector<float> off_rng(n), off_az(n), ccs(n);
  std::vector<uint8_t> culled(n);
  std::vector<uint64_t> cells(sample_cell_words(grid.size()));
  OFFSET_SAMPLES s{g.nr, g.naz, (long long)grid.size(), rng.data(), az.data(), cells.data(),
                   column.data(), row.data(), off_rng.data(), off_az.data(), ccs.data(),
                   culled.data(), 0};
  set_grid_coordinates(g, &s);
  for (int i = 0; i < g.naz; i++)
    collect_row_samples(&s, i, grid.data() + size_t(i) * g.nr, cc.data() + size_t(i) * g.nr);

  // The same samples as doubles, straight from the grid; every fourth one and the last culled.
  std::vector<double> x{0}, y{0}, z1{0}, z2{0}, sig{0};
  std::vector<std::pair<int, int>> cell_of{{}};
  for (int i = 0; i < g.naz; i++)
    for (int j = 0; j < g.nr; j++) {
      const size_t c = size_t(i) * g.nr + j;
      if (!is_sample_cell(grid[c], cc[c])) continue;
      x.push_back(130.0 + 7 * j), y.push_back(-40.0 + 13 * i);
      z1.push_back(grid[c].re), z2.push_back(grid[c].im);
      sig.push_back(1.0 / double(cc[c]));
      cell_of.push_back({i, j});
    }
  const int ndata = int(x.size()) - 1;
  ASSERT_EQ(s.ndata, ndata);
  ASSERT_TRUE(ndata > 2 * FIT_BLOCK_ROWS && ndata % 2 == 1) << ndata;  // blocks and an odd tail
  std::vector<std::pair<int, int>> survivors;
  for (int k = 1; k <= ndata; k++) {
    culled[k] = k % 4 == 0 || k == ndata;
    if (culled[k]) sig[k] = 1.0e9;
    else survivors.push_back(cell_of[k]);
  }

  std::vector<std::pair<int, int>> visited;
  for_each_surviving_sample(&s, [&](int i, int j, int k) {
    EXPECT_TRUE(s.off_rng[k] == grid[size_t(i) * g.nr + j].re && !culled[k]);
    visited.push_back({i, j});
  });
  EXPECT_EQ(visited, survivors);

  Matrix cvm_r(6, 6), cvm_a(6, 6), u(6, int(design_column_stride(s.nsamp)) - 1), v(6, 6);
  std::vector<double> a_r(MODEL_FIT_DIM), a_a(MODEL_FIT_DIM), w_s(MODEL_FIT_DIM);
  MODEL_FIT f{6,          basis_for(6), svdfit_pair, a_r.data(), a_a.data(), cvm_r.p(),
              cvm_a.p(),  u.p(),        v.p(),       w_s.data()};
  SOLUTION prev{}, sol{};
  // Bounds that cull nothing more: the fit sees exactly the marks set above.
  ASSERT_EQ(culling_pass(&s, &f, &prev, CULL_BOUNDS{-1.0, 1e30, 1e30}, &sol), EST_OK);
  EXPECT_EQ(sol.naccept, int(survivors.size()));
  double sum_r = 0.0, sum_a = 0.0;
  for (int k = 1; k <= ndata; k++) {
    if (culled[k]) continue;
    const double e_r = r_poly1(sol.poly_rng, x[k], y[k]) - z1[k];
    const double e_a = az_poly1(sol.poly_az, x[k], y[k]) - z2[k];
    sum_r += e_r * e_r;
    sum_a += e_a * e_a;
  }
  EXPECT_TRUE(same_bits(sol.sd_rng, sqrt(sum_r / (sol.naccept - 6))) &&
              same_bits(sol.sd_az, sqrt(sum_a / (sol.naccept - 6))));

  const FIT_ARRAYS arrays{x.data(), y.data(), z1.data(), z2.data(), sig.data()};
  std::vector<double> a1(MODEL_FIT_DIM), a2(MODEL_FIT_DIM), w(MODEL_FIT_DIM);
  Matrix cols(6, ndata), vr(6, 6);
  ASSERT_EQ(svdfit_pair(fit_source(&arrays), ndata, a1.data(), a2.data(), 6, cols.p(), vr.p(),
                        w.data(), nullptr, nullptr, basis_for(6)),
            NR_OK);
  for (int t = 0; t < 6; t++) {
    EXPECT_TRUE(same_bits(sol.poly_rng[t], a1[t + 1]) && same_bits(sol.poly_az[t], a2[t + 1]))
        << "term " << t;
    EXPECT_TRUE(same_bits(sol.w[t], w[t + 1]));
  }
}

// The storage reports the first refusal and keeps nothing of a failed call: the grids as the
// program has always refused them (no columns before no lines; a negative count is a size
// beyond memory), then the samples, then the fits.
TEST(Storage, RefusalsAreStatusesAndFailedCallsKeepNothing) {
  GRID_ARRAYS g{};
  OFFSET_SAMPLES s{};
  MODEL_FIT f{};
  ALLOC_ERROR err{};
  const struct { int nr, naz, status; } grids[] = {
      {0, 0, ALLOC_2D_NO_COLUMNS}, {4, 0, ALLOC_2D_NO_LINES}, {-4, 3, ALLOC_2D_NO_MEMORY},
      {4, -3, ALLOC_2D_NO_MEMORY}};
  for (const auto &c : grids) {
    EXPECT_EQ(allocate_grid_arrays(c.nr, c.naz, &g, &err), -1);
    EXPECT_EQ(err.status, c.status) << c.nr << " x " << c.naz;
    EXPECT_TRUE(g.ccp == nullptr && g.offs == nullptr && g.coffs == nullptr);
  }
  EXPECT_EQ(allocate_samples(GRID_GEOMETRY{0, 5, 0, 1, 0, 1}, &s, &err), -1);
  EXPECT_EQ(err.status, ALLOC_NO_ELEMENTS);
  EXPECT_TRUE(s.rng_coord == nullptr && s.az_coord == nullptr && s.column == nullptr);
  EXPECT_EQ(allocate_fit(LLONG_MAX / 2, 6, svdfit_pair, &f, &err), -1);
  EXPECT_EQ(err.status, ALLOC_2D_NO_MEMORY);
  EXPECT_TRUE(f.a_rng == nullptr && f.cvm_az == nullptr && f.svd_u == nullptr);

  const GRID_GEOMETRY geometry{3, 2, 100, 10, 50, 20};
  ASSERT_EQ(allocate_grid_arrays(3, 2, &g, &err), 0);
  ASSERT_EQ(allocate_samples(geometry, &s, &err), 0);
  ASSERT_EQ(allocate_fit(s.nsamp, 4, svdfit_pair, &f, &err), 0);
  EXPECT_EQ(g.coffs[1] - g.coffs[0], 3);
  EXPECT_EQ(s.nsamp, 6);
  EXPECT_EQ(s.ndata, 0);
  EXPECT_EQ(s.rng_coord[2], 120.0);
  EXPECT_EQ(s.az_coord[1], 70.0);
  EXPECT_EQ(s.culled[6] | s.column[6] | int(s.sample_cells[0]), 0);
  EXPECT_TRUE(f.npoly == 4 && f.funcs == basis_for(4) && f.svd_u[MODEL_FIT_DIM - 1] != nullptr);
  release_design(&f);
  EXPECT_TRUE(f.svd_u == nullptr && f.cvm_rng != nullptr);
  free_fit(&f);
  free_samples(&s);
  free_grid_arrays(&g);
  EXPECT_TRUE(f.cvm_rng == nullptr && s.culled == nullptr && g.ccp == nullptr);
}

}  // namespace
