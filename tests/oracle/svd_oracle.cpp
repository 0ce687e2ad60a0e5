// The straightforward decomposition and fit, one pass per loop as the algorithm is usually
// written: the reference that the program's fused passes must match bit for bit.
#include <cmath>

#include "runtime/nr_util.h"
#include "oracle/svd_oracle.h"

using namespace polyest;

namespace {

// |p| carrying the sign of q; a NaN q counts as negative.
inline double withsign(double p, double q) { return q >= 0.0 ? fabs(p) : -fabs(p); }

inline double larger(double p, double q) { return p > q ? p : q; }

// True when x vanishes against the norm bound: |x| + bound, rounded to double, equals
// bound. The volatile store forces the rounding even where a wider format is in use.
inline bool negligible(double x, double bound) {
  volatile double sum = fabs(x) + bound;
  return sum == bound;
}

// Householder reduction of a to bidiagonal form: diagonal into w, superdiagonal into e.
// Returns the norm bound; leaves in g the last row pivot for the accumulation of V.
double bidiagonalise(double **a, int m, int n, double w[], double e[], double &g) {
  double scale = 0.0, bound = 0.0;
  g = 0.0;
  for (int i = 1; i <= n; i++) {
    int l = i + 1;
    e[i] = scale * g;
    g = 0.0;
    double s = 0.0;
    scale = 0.0;
    if (i <= m) {
      for (int k = i; k <= m; k++) scale += fabs(a[k][i]);
      if (scale != 0.0) {
        for (int k = i; k <= m; k++) {
          a[k][i] /= scale;
          s += a[k][i] * a[k][i];
        }
        double f = a[i][i];
        g = -withsign(sqrt(s), f);
        double h = f * g - s;
        a[i][i] = f - g;
        for (int j = l; j <= n; j++) {
          s = 0.0;
          for (int k = i; k <= m; k++) s += a[k][i] * a[k][j];
          f = s / h;
          for (int k = i; k <= m; k++) a[k][j] += f * a[k][i];
        }
        for (int k = i; k <= m; k++) a[k][i] *= scale;
      }
    }
    w[i] = scale * g;
    g = 0.0;
    s = 0.0;
    scale = 0.0;
    if (i <= m && i != n) {
      for (int k = l; k <= n; k++) scale += fabs(a[i][k]);
      if (scale != 0.0) {
        for (int k = l; k <= n; k++) {
          a[i][k] /= scale;
          s += a[i][k] * a[i][k];
        }
        double f = a[i][l];
        g = -withsign(sqrt(s), f);
        double h = f * g - s;
        a[i][l] = f - g;
        for (int k = l; k <= n; k++) e[k] = a[i][k] / h;
        for (int j = l; j <= m; j++) {
          s = 0.0;
          for (int k = l; k <= n; k++) s += a[j][k] * a[i][k];
          for (int k = l; k <= n; k++) a[j][k] += s * e[k];
        }
        for (int k = l; k <= n; k++) a[i][k] *= scale;
      }
    }
    bound = larger(bound, fabs(w[i]) + fabs(e[i]));
  }
  return bound;
}

// Right-hand transformations into v, from the last row pivot g on.
void accumulate_right(double **a, int n, double **v, const double e[], double g) {
  int l = n + 1;
  for (int i = n; i >= 1; i--) {
    if (i < n) {
      if (g != 0.0) {
        for (int j = l; j <= n; j++) v[j][i] = (a[i][j] / a[i][l]) / g;
        for (int j = l; j <= n; j++) {
          double s = 0.0;
          for (int k = l; k <= n; k++) s += a[i][k] * v[k][j];
          for (int k = l; k <= n; k++) v[k][j] += s * v[k][i];
        }
      }
      for (int j = l; j <= n; j++) {
        v[i][j] = 0.0;
        v[j][i] = 0.0;
      }
    }
    v[i][i] = 1.0;
    g = e[i];
    l = i;
  }
}

// Left-hand transformations, turning a into U.
void accumulate_left(double **a, int m, int n, const double w[]) {
  for (int i = m < n ? m : n; i >= 1; i--) {
    int l = i + 1;
    double g = w[i];
    for (int j = l; j <= n; j++) a[i][j] = 0.0;
    if (g != 0.0) {
      g = 1.0 / g;
      for (int j = l; j <= n; j++) {
        double s = 0.0;
        for (int k = l; k <= m; k++) s += a[k][i] * a[k][j];
        double f = (s / a[i][i]) * g;
        for (int k = i; k <= m; k++) a[k][j] += f * a[k][i];
      }
      for (int j = i; j <= m; j++) a[j][i] *= g;
    } else {
      for (int j = i; j <= m; j++) a[j][i] = 0.0;
    }
    a[i][i] += 1.0;
  }
}

// Plane rotation of columns p and q of the rows 1 .. rows of x.
inline void rotate_columns(double **x, int rows, int p, int q, double c, double s) {
  for (int j = 1; j <= rows; j++) {
    double y = x[j][p];
    double z = x[j][q];
    x[j][p] = y * c + z * s;
    x[j][q] = z * c - y * s;
  }
}

// Implicit-shift QR diagonalisation of the bidiagonal form (w, e), rotating U (a) and V.
void diagonalise(double **a, int m, int n, double w[], double e[], double **v, double bound) {
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
          rotate_columns(a, m, nm, i, c, s);
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
      if (its == 30) nrerror("no convergence in 30 svdcmp iterations");
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
        rotate_columns(a, m, j, i, c, s);
      }
      e[l] = 0.0;
      e[k] = f;
      w[k] = x;
    }
  }
}

}  // namespace

void oracle_svdcmp(double **a, int m, int n, double w[], double **v) {
  double *e = dvector(1, n);
  double g;
  double bound = bidiagonalise(a, m, n, w, e, g);
  accumulate_right(a, n, v, e, g);
  accumulate_left(a, m, n, w);
  diagonalise(a, m, n, w, e, v, bound);
  free_dvector(e, 1, n);
}

namespace {


// Singular values below this fraction of the largest are treated as zero.
constexpr double kRelativeTolerance = 1.0e-12;

}  // namespace

void oracle_svdfit(double x[], double y[], double z[], double sig[], int ndata, double a[], int ma,
            double **u, double **v, double w[], double *chisq, basis_fn funcs) {
  double *b = dvector(1, ndata);
  double *p = dvector(1, ma);
  for (int i = 1; i <= ndata; i++) {
    funcs(p, x[i], y[i]);
    double s = 1.0 / sig[i];
    for (int j = 1; j <= ma; j++) u[i][j] = p[j] * s;
    b[i] = z[i] * s;
  }
  oracle_svdcmp(u, ndata, ma, w, v);
  double wmax = 0.0;
  for (int j = 1; j <= ma; j++)
    if (w[j] > wmax) wmax = w[j];
  double thresh = wmax * kRelativeTolerance;
  for (int j = 1; j <= ma; j++)
    if (w[j] < thresh) w[j] = 0.0;
  svbksb(u, w, v, ndata, ma, b, a);  // unchanged textbook loops
  *chisq = 0.0;
  for (int i = 1; i <= ndata; i++) {
    funcs(p, x[i], y[i]);
    double s = 0.0;
    for (int j = 1; j <= ma; j++) s += a[j] * p[j];
    double d = (z[i] - s) / sig[i];
    *chisq += d * d;
  }
  free_dvector(p, 1, ma);
  free_dvector(b, 1, ndata);
}
