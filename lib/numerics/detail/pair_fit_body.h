#pragma once
// Body of the pair fit, compiled once per instruction set: POLYEST_ISA names the namespace
// that holds it and every inline function it uses, so no build of one set is shared with
// the other.
#include <cstdlib>

#include "svd_decompose.h"
#include "../lanes.h"
#include "../offset_poly.h"
#include "../pair_fit.h"
#include "../../runtime/nr_util.h"

namespace polyest {

namespace POLYEST_ISA {

// The two right-hand sides side by side: each lane the same operations as one scalar fit.
typedef lanes::Lanes2 Pair;

// U^T b for both right-hand sides over one block of finished rows of U, each sum in row order.
template <int C>
void project_block(const double block[], int count, const Pair bb[], const double w[],
                   double sums1[], double sums2[]) {
  Pair acc[C];
  bool used[C];
  for (int c = 0; c < C; c++) {
    acc[c] = Pair{sums1[c + 1], sums2[c + 1]};
    used[c] = w[c + 1] != 0.0;
  }
  bool all_used = true;
  for (int c = 0; c < C; c++) all_used = all_used && used[c];
  if (all_used) {
    for (int b = 0; b < count; b++)
#pragma GCC unroll 8
      for (int c = 0; c < C; c++) acc[c] += block[(c + 1) * svd_detail::kBlock + b] * bb[b];
  } else {
    for (int b = 0; b < count; b++)
#pragma GCC unroll 8
      for (int c = 0; c < C; c++)
        if (used[c]) acc[c] += block[(c + 1) * svd_detail::kBlock + b] * bb[b];
  }
  for (int c = 0; c < C; c++) {
    sums1[c + 1] = acc[c][0];
    sums2[c + 1] = acc[c][1];
  }
}

// Reads sig and the fields of the rows 1 .. ndata from the source a block at a time into r and
// calls body(k0, count) for each block.
template <class Body>
void for_each_row_block(const FIT_SOURCE &src, int ndata, int fields, FIT_ROWS &r, Body body) {
  for (int k0 = 1; k0 <= ndata; k0 += FIT_BLOCK_ROWS) {
    const int count = ndata - k0 + 1 < FIT_BLOCK_ROWS ? ndata - k0 + 1 : FIT_BLOCK_ROWS;
    src.rows(src.data, k0, count, fields, &r);
    body(k0, count);
  }
}

// 1 / sig of a whole block, kLanes rows at a time (each lane the scalar division).
inline void weights_of(const FIT_ROWS &r, double wt[]) {
  for (int b = 0; b < FIT_BLOCK_ROWS; b += lanes::kLanes)
    lanes::store(wt + b, 1.0 / lanes::load<lanes::Lanes>(r.sig + b));
}

int svdfit_pair(const FIT_SOURCE &src, int ndata, double a1[], double a2[], int ma,
                double **ucols, double **v, double w[], double *chisq1, double *chisq2,
                basis_fn funcs) {
  static_assert(svd_detail::kBlock <= FIT_BLOCK_ROWS && FIT_BLOCK_ROWS % lanes::kLanes == 0);
  // p[1..ma], then the sums of both fits, [1..ma] each.
  const size_t len = static_cast<size_t>(ma) + 1;
  double *p = static_cast<double *>(malloc(3 * len * sizeof(double)));
  if (p == nullptr) return NR_NO_MEMORY;
  double *sums1 = p + len, *sums2 = sums1 + len;
  FIT_ROWS r{};  // the rows beyond a short block stay finite
  double wt[FIT_BLOCK_ROWS];
  // The design: with the offset polynomial's own basis kLanes rows at a time, inline; with any
  // other basis (and for the rows left over) one row at a time.
  const bool own_basis = offset_poly_terms_of(funcs) == ma;
  for_each_row_block(src, ndata, FIT_XY, r, [&](int k0, int count) {
    weights_of(r, wt);
    int b = 0;
    for (; own_basis && b + lanes::kLanes <= count; b += lanes::kLanes) {
      lanes::Lanes t[7];
      offset_poly_terms(t, lanes::load<lanes::Lanes>(r.x + b), lanes::load<lanes::Lanes>(r.y + b),
                        ma);
      const lanes::Lanes s = lanes::load<lanes::Lanes>(wt + b);
      for (int j = 1; j <= ma; j++) lanes::store(ucols[j] + k0 + b, t[j] * s);
    }
    for (; b < count; b++) {
      funcs(p, r.x[b], r.y[b]);
      for (int j = 1; j <= ma; j++) ucols[j][k0 + b] = p[j] * wt[b];
    }
  });
  for (int j = 1; j <= ma; j++) {
    sums1[j] = 0.0;
    sums2[j] = 0.0;
  }
  // U^T b for both right-hand sides (b = z / sig), block by block as U is finished.
  auto ready = [ma](double *wv) { zero_negligible(wv, ma); };
  Pair bb[svd_detail::kBlock];
  auto project = [&](int k0, int count, const double block[]) {
    src.rows(src.data, k0, count, FIT_Z, &r);
    weights_of(r, wt);
    for (int b = 0; b < count; b++) bb[b] = Pair{r.z1[b] * wt[b], r.z2[b] * wt[b]};
    auto fixed = [&](auto cols) {
      project_block<cols.value>(block, count, bb, w, sums1, sums2);
    };
    if (svd_detail::with_fixed_columns(ma, fixed)) return;
    for (int j = 1; j <= ma; j++) {
      if (w[j] == 0.0) continue;
      const double *u = block + j * svd_detail::kBlock;
      for (int b = 0; b < count; b++) {
        sums1[j] += u[b] * bb[b][0];
        sums2[j] += u[b] * bb[b][1];
      }
    }
  };
  const int status =
      svd_detail::decompose(svd_detail::ColumnView{ucols}, ndata, ma, w, v, ready, project);
  if (status != NR_OK) {
    free(p);
    return status;
  }
  back_substitute(v, w, ma, sums1, a1);
  back_substitute(v, w, ma, sums2, a2);
  // Chi-square of both fits, the two residuals of a sample side by side; skipped when the
  // caller wants neither.
  double c1 = 0.0, c2 = 0.0;
  const int rows = chisq1 != nullptr || chisq2 != nullptr ? ndata : 0;
  for_each_row_block(src, rows, FIT_XY | FIT_Z, r, [&](int, int count) {
    for (int b = 0; b < count; b++) {
      funcs(p, r.x[b], r.y[b]);
      Pair s{};
      for (int j = 1; j <= ma; j++) s += Pair{a1[j], a2[j]} * p[j];
      const Pair d = (Pair{r.z1[b], r.z2[b]} - s) / r.sig[b];
      const Pair dd = d * d;
      c1 += dd[0];
      c2 += dd[1];
    }
  });
  if (chisq1 != nullptr) *chisq1 = c1;
  if (chisq2 != nullptr) *chisq2 = c2;
  free(p);
  return NR_OK;
}

}  // namespace POLYEST_ISA

}  // namespace polyest
