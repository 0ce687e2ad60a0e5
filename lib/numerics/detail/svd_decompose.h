#pragma once
// Golub-Reinsch singular value decomposition in few passes over the rows: Householder
// reduction to bidiagonal form, accumulation of the transformations, implicit-shift QR
// diagonalisation.
//
// Every element sees exactly the operations of the textbook loop order, in the same order
// (each sum runs in increasing row order and is rounded as written), so results are the
// same bit for bit; only independent loops are merged into one pass:
// - a Householder step's dot products for all later columns are accumulated in one pass,
//   and its updates, the row reflector of the same step and the next column's scale sum
//   in one more;
// - when U is accumulated, each step's updates share a pass with the next step's dot
//   products;
// - the QR rotations depend only on the bidiagonal form, so they are computed before U is
//   accumulated, recorded, and applied to each finished row of U in the last pass.
// The matrix is reached through a view, so rows or columns may be stored contiguously; where
// a column's rows are adjacent, the loops over rows run kLanes rows at a time (numerics/lanes.h).
//
// One phase per file: svd_views.h, svd_kernels.h, svd_bidiagonalise.h, svd_diagonalise.h,
// svd_accumulate.h; this file is the driver.
#include "svd_accumulate.h"
#include "svd_bidiagonalise.h"
#include "svd_diagonalise.h"
#include "svd_scratch.h"

namespace polyest {

namespace svd_detail {
// One build per instruction set (see lanes.h).
inline namespace POLYEST_ISA {

// The whole decomposition of a[1..m][1..n]: w the singular values, v the matrix V, and
// the rows of U handed to finish as accumulate_left says, once w is final; before that,
// ready(w) may adjust w (the fit zeroes the negligible singular values there). Returns NR_OK,
// NR_NO_MEMORY when the scratch cannot be had, or NR_NO_CONVERGENCE; it never ends the run.
template <class View, class Ready, class Finish>
int decompose(View a, int m, int n, double w[], double **v, Ready &ready, Finish &finish) {
  Scratch t(n);
  if (!t.ok()) return NR_NO_MEMORY;
  double g;
  double bound = bidiagonalise(a, m, n, w, t, g);
  accumulate_right(a, n, v, t.e, g);
  for (int i = 1; i <= n; i++) t.wb[i] = w[i];
  if (const int status = diagonalise(n, w, v, bound, t)) return status;
  ready(w);
  accumulate_left(a, m, n, t, finish);
  return NR_OK;
}

}  // namespace POLYEST_ISA
}  // namespace svd_detail

}  // namespace polyest
