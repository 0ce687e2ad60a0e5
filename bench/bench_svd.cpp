// svdcmp and svdfit on weighted offset-model designs of m samples and n = 3 or 6 terms, the
// samples on a grid of raw image coordinates as the program fits them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "numerics/offset_poly.h"
#include "numerics/svd.h"

using namespace polyest;

namespace {

// 1-based matrix over one block, row 0 and column 0 unused.
struct Matrix {
  int rows, cols;
  std::vector<double> data;
  std::vector<double *> line;
  Matrix(int r, int c) : rows(r), cols(c), data(size_t(r + 1) * (c + 1)), line(r + 1) {
    for (int i = 0; i <= rows; i++) line[i] = data.data() + size_t(i) * (cols + 1);
  }
};

struct Samples {
  std::vector<double> x, y, z, sig;
};

// m samples on a grid 1000 cells wide, cross-correlation weights, a smooth offset field.
Samples make_samples(int m) {
  Samples s{std::vector<double>(m + 1), std::vector<double>(m + 1), std::vector<double>(m + 1),
            std::vector<double>(m + 1)};
  std::mt19937_64 rng(1);
  std::uniform_real_distribution<double> cc(0.1, 1.0), noise(-0.05, 0.05);
  for (int i = 1; i <= m; i++) {
    s.x[i] = 20.0 + 40.0 * ((i - 1) % 1000);
    s.y[i] = 40.0 + 80.0 * ((i - 1) / 1000);
    s.z[i] = 1.5 + 2e-4 * s.x[i] - 3e-5 * s.y[i] + 1e-9 * s.x[i] * s.y[i] + noise(rng);
    s.sig[i] = 1.0 / cc(rng);
  }
  return s;
}

basis_fn basis_of(int n) { return n == 3 ? fpoly3 : fpoly6; }

void BM_svdcmp(benchmark::State &state) {
  int m = int(state.range(0)), n = int(state.range(1));
  Samples s = make_samples(m);
  Matrix design(m, n), a(m, n), v(n, n);
  std::vector<double> w(n + 1);
  for (int i = 1; i <= m; i++) {
    basis_of(n)(design.line[i], s.x[i], s.y[i]);
    for (int j = 1; j <= n; j++) design.line[i][j] /= s.sig[i];
  }
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(design.data.begin(), design.data.end(), a.data.begin());
    state.ResumeTiming();
    svdcmp(a.line.data(), m, n, w.data(), v.line.data());
    benchmark::DoNotOptimize(w.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(m));
}

void BM_svdfit(benchmark::State &state) {
  int m = int(state.range(0)), n = int(state.range(1));
  Samples s = make_samples(m);
  Matrix u(m, n), v(n, n);
  std::vector<double> w(n + 1), a(n + 1);
  double chisq;
  for (auto _ : state) {
    svdfit(s.x.data(), s.y.data(), s.z.data(), s.sig.data(), m, a.data(), n, u.line.data(),
           v.line.data(), w.data(), &chisq, basis_of(n));
    benchmark::DoNotOptimize(chisq);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(m));
}

// Both directions from one decomposition of the design held by columns, as the program fits.
void BM_svdfit_pair(benchmark::State &state) {
  int m = int(state.range(0)), n = int(state.range(1));
  Samples s = make_samples(m);
  std::vector<double> z2(s.z), storage(size_t(n + 1) * (m + 1)), w(n + 1), a1(n + 1), a2(n + 1);
  std::vector<double *> cols(n + 1);
  for (int j = 0; j <= n; j++) cols[j] = storage.data() + size_t(j) * (m + 1);
  Matrix v(n, n);
  double chisq1, chisq2;
  const FIT_ARRAYS rows{s.x.data(), s.y.data(), s.z.data(), z2.data(), s.sig.data()};
  for (auto _ : state) {
    svdfit_pair(fit_source(&rows), m, a1.data(), a2.data(), n, cols.data(), v.line.data(),
                w.data(), &chisq1, &chisq2, basis_of(n));
    benchmark::DoNotOptimize(chisq2);
  }
  state.SetItemsProcessed(state.iterations() * int64_t(m));
}

void sizes(benchmark::internal::Benchmark *b) {
  for (int n : {3, 6})
    for (int m : {1000, 10000, 100000, 1000000, 4000000}) b->Args({m, n});
}

BENCHMARK(BM_svdcmp)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_svdfit)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_svdfit_pair)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
