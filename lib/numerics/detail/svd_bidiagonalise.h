#pragma once
// Householder reduction of the matrix to bidiagonal form.
#include <cmath>

#include "svd_kernels.h"
#include "svd_scratch.h"

namespace polyest {

namespace svd_detail {
// One build per instruction set (see lanes.h).
inline namespace POLYEST_ISA {

// Householder reduction to bidiagonal form: diagonal into w, superdiagonal into t.e.
// Returns the norm bound; leaves in g the last row pivot for the accumulation of V.
template <class View>
double bidiagonalise(View a, int m, int n, double w[], Scratch &t, double &g) {
  double *e = t.e, *factor = t.factor, *dot = t.dot, *hv = t.hv;
  double scale = 0.0, bound = 0.0;
  g = 0.0;
  // Scale sum of the column the next left reflector is built from.
  double col_scale = 0.0;
  if (n >= 1) col_scale = column_scale(a, 1, m);
  for (int i = 1; i <= n; i++) {
    const int l = i + 1;
    e[i] = scale * g;
    g = 0.0;
    scale = 0.0;
    bool left = false;
    double left_scale = 0.0;
    if (i <= m) {
      scale = col_scale;
      if (scale != 0.0) {
        double s = 0.0;
        for_rows<View>(i, m, [&]<class T>(int k) __attribute__((always_inline)) {
          const T x = a.template get<T>(k, i) / scale;
          a.put(k, i, x);
          const T p = x * x;
#pragma GCC unroll 4
          for (int b = 0; b < lane_count<T>; b++) s += lane(p, b);
        });
        const double f = a(i, i);
        g = -withsign(sqrt(s), f);
        const double h = f * g - s;
        // Pivot replaced; the column's dot products with the later columns.
        a(i, i) = f - g;
        auto fixed = [&](auto cols) { column_dots<cols.value>(a, i, l, m, dot); };
        if (l <= n && !with_fixed_columns(n - l + 1, fixed)) {
          for (int j = l; j <= n; j++) dot[j] = 0.0;
          for (int k = i; k <= m; k++) {
            const double x = a(k, i);
            for (int j = l; j <= n; j++) dot[j] += x * a(k, j);
          }
        }
        for (int j = l; j <= n; j++) factor[j] = dot[j] / h;
        left = true;
        left_scale = scale;
      }
    }
    w[i] = scale * g;
    g = 0.0;
    scale = 0.0;
    if (i > m) {
      bound = larger(bound, fabs(w[i]) + fabs(e[i]));
      continue;
    }
    // Row i: left update, then the row reflector built from it.
    if (left) {
      const double x = a(i, i);
      for (int j = l; j <= n; j++) a(i, j) += factor[j] * x;
      a(i, i) = x * left_scale;
    }
    bool right = false;
    if (i != n) {
      for (int k = l; k <= n; k++) scale += fabs(a(i, k));
      if (scale != 0.0) {
        double s = 0.0;
        for (int k = l; k <= n; k++) {
          a(i, k) /= scale;
          s += a(i, k) * a(i, k);
        }
        const double f = a(i, l);
        g = -withsign(sqrt(s), f);
        const double h = f * g - s;
        a(i, l) = f - g;
        for (int k = l; k <= n; k++) {
          e[k] = a(i, k) / h;
          hv[k] = a(i, k);
          a(i, k) *= scale;
        }
        right = true;
      }
    }
    // Rows below: left update, right update, scale sum of the next column.
    if (i == n) {
      if (left) rescale_column(a, i, m, left_scale);
      bound = larger(bound, fabs(w[i]) + fabs(e[i]));
      continue;
    }
    double next_scale = 0.0;
    auto fixed = [&](auto cols) {
      next_scale = update_rows<cols.value>(a, i, m, left, left_scale, right, factor, hv, e);
    };
    if (with_fixed_columns(n - i, fixed)) {
      col_scale = next_scale;
      bound = larger(bound, fabs(w[i]) + fabs(e[i]));
      continue;
    }
    col_scale = 0.0;
    for (int k = l; k <= m; k++) {
      if (left) {
        const double x = a(k, i);
        for (int j = l; j <= n; j++) a(k, j) += factor[j] * x;
        a(k, i) = x * left_scale;
      }
      if (right) {
        double s = 0.0;
        for (int j = l; j <= n; j++) s += a(k, j) * hv[j];
        for (int j = l; j <= n; j++) a(k, j) += s * e[j];
      }
      if (l <= n) col_scale += fabs(a(k, l));
    }
    bound = larger(bound, fabs(w[i]) + fabs(e[i]));
  }
  return bound;
}

}  // namespace POLYEST_ISA
}  // namespace svd_detail

}  // namespace polyest
