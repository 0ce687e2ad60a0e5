#pragma once
// Implicit-shift QR diagonalisation of the bidiagonal form.
#include <cmath>

#include "svd_scratch.h"
#include "../svd.h"

namespace polyest {

namespace svd_detail {
// One build per instruction set (see lanes.h).
inline namespace POLYEST_ISA {

// Plane rotation of columns p and q of the rows 1 .. rows of x.
inline void rotate_columns(double **x, int rows, int p, int q, double c, double s) {
  for (int j = 1; j <= rows; j++) {
    double y = x[j][p];
    double z = x[j][q];
    x[j][p] = y * c + z * s;
    x[j][q] = z * c - y * s;
  }
}

// Implicit-shift QR diagonalisation of the bidiagonal form (w, t.e): V is rotated at once,
// the rotations of U are recorded in t. Returns NR_OK, or NR_NO_CONVERGENCE after 30 sweeps
// for one singular value.
inline int diagonalise(int n, double w[], double **v, double bound, Scratch &t) {
  double *e = t.e;
  for (int k = n; k >= 1; k--) {
    for (int its = 1; its <= 30; its++) {
      // Split search. It stops at l = 1 at the latest: e[1] is 0, which vanishes against
      // any finite bound; the search is bounded so that a non-finite bound cannot take it
      // below 1.
      bool cancel = false;
      int l, nm = 0;
      for (l = k; l >= 2; l--) {
        nm = l - 1;
        if (negligible(e[l], bound)) break;
        if (negligible(w[nm], bound)) {
          cancel = true;
          break;
        }
      }
      if (cancel) {
        // w[nm] is negligible: chase e[l] away with rotations.
        double c = 0.0, s = 1.0;
        for (int i = l; i <= k; i++) {
          double f = s * e[i];
          e[i] = c * e[i];
          if (negligible(f, bound)) break;
          double g = w[i];
          double h = pythag(f, g);
          w[i] = h;
          h = 1.0 / h;
          c = g * h;
          s = -f * h;
          t.record(nm, i, c, s);
        }
      }
      double z = w[k];
      if (l == k) {
        if (z < 0.0) {
          w[k] = -z;
          for (int j = 1; j <= n; j++) v[j][k] = -v[j][k];
        }
        break;
      }
      if (its == 30) return NR_NO_CONVERGENCE;
      // Shift from the bottom 2 x 2 minor.
      double x = w[l];
      nm = k - 1;
      double y = w[nm];
      double g = e[nm];
      double h = e[k];
      double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
      g = pythag(f, 1.0);
      f = ((x - z) * (x + z) + h * ((y / (f + withsign(g, f))) - h)) / x;
      // QR sweep.
      double c = 1.0, s = 1.0;
      for (int j = l; j <= nm; j++) {
        int i = j + 1;
        g = e[i];
        y = w[i];
        h = s * g;
        g = c * g;
        z = pythag(f, h);
        e[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y = y * c;
        rotate_columns(v, n, j, i, c, s);
        z = pythag(f, h);
        w[j] = z;
        if (z != 0.0) {
          z = 1.0 / z;
          c = f * z;
          s = h * z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        t.record(j, i, c, s);
      }
      e[l] = 0.0;
      e[k] = f;
      w[k] = x;
    }
  }
  return NR_OK;
}

}  // namespace POLYEST_ISA
}  // namespace svd_detail

}  // namespace polyest
