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
// a column's rows are adjacent, the loops over rows run kLanes rows at a time (lanes.h).
#include <cmath>
#include <type_traits>
#include <utility>

#include "alloc.h"
#include "lanes.h"
#include "nr_util.h"

namespace svd_passes {
// One build per instruction set (see lanes.h).
inline namespace POLYEST_ISA {

// a[k][j] over an array of row pointers, one element at a time.
struct RowView {
  double **a;
  static constexpr bool kContiguousRows = false;
  double &operator()(int k, int j) const { return a[k][j]; }
  template <class T>
  T get(int k, int j) const {
    static_assert(std::is_same_v<T, double>);
    return a[k][j];
  }
  void put(int k, int j, double v) const { a[k][j] = v; }
};

// a[k][j] over an array of column pointers (c[j][k]): rows k .. k + kLanes - 1 of a column
// are adjacent and are reached as one Lanes value.
struct ColumnView {
  double **c;
  static constexpr bool kContiguousRows = true;
  double &operator()(int k, int j) const { return c[j][k]; }
  template <class T>
  T get(int k, int j) const {
    return load<T>(c[j] + k);
  }
  template <class T>
  void put(int k, int j, T v) const {
    store(c[j] + k, v);
  }
};

// Calls row.template operator()<T>(k) for rows k0 .. m in increasing k: T = Lanes for kLanes
// rows at a time where the view holds rows adjacent, T = double one row at a time otherwise
// and for the rows left over. Sums over rows inside row() add the lanes in order.
template <class View, class Body>
__attribute__((always_inline)) inline void for_rows(int k0, int m, Body &&row) {
  int k = k0;
  if constexpr (View::kContiguousRows)
    for (; k + kLanes - 1 <= m; k += kLanes) row.template operator()<Lanes>(k);
  for (; k <= m; k++) row.template operator()<double>(k);
}

// Plane rotation of columns p and q of U.
struct Rotation {
  int p, q;
  double c, s;
};

// |p| carrying the sign of q; a NaN q counts as negative.
inline double withsign(double p, double q) { return q >= 0.0 ? fabs(p) : -fabs(p); }

inline double larger(double p, double q) { return p > q ? p : q; }

// True when x vanishes against the norm bound: |x| + bound, rounded to double, equals
// bound. The volatile store forces the rounding even where a wider format is in use.
inline bool negligible(double x, double bound) {
  volatile double sum = fabs(x) + bound;
  return sum == bound;
}

// Rows of U are rotated kBlock at a time, held by columns (block[j * kBlock + b]), so that
// each rotation runs over contiguous lanes; every element still sees the rotations in order.
constexpr int kBlock = 64;

// Per-decomposition scratch: small vectors of n + 1 and the rotation record.
struct Scratch {
  int n = 0;
  double *e = nullptr;       // superdiagonal
  double *wb = nullptr;      // bidiagonal diagonal, kept for the accumulation of U
  double *factor = nullptr;  // update factor of each column in a Householder step
  double *dot = nullptr;     // dot products of the current step
  double *next = nullptr;    // dot products for the next step
  double *hv = nullptr;      // the row reflector of the current step
  Rotation *rot = nullptr;
  int nrot = 0, maxrot = 0;
  double *block = nullptr;  // rows of U being rotated

  explicit Scratch(int cols) : n(cols) {
    const int len = cols + 1;
    e = dvector(1, 6 * len);
    wb = e + len;
    factor = wb + len;
    dot = factor + len;
    next = dot + len;
    hv = next + len;
    // At most 30 sweeps per singular value, each with at most n rotations of U for the
    // cancellation and n for the sweep.
    maxrot = 60 * (cols > 0 ? cols : 1) * (cols > 0 ? cols : 1);
    rot = calloc_1d_of<Rotation>(static_cast<size_t>(maxrot));
    block = static_cast<double *>(calloc_1d(static_cast<size_t>(len) * kBlock, sizeof(double)));
  }
  ~Scratch() {
    free_dvector(e, 1, 6 * (n + 1));
    free(rot);
    free(block);
  }
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  void record(int p, int q, double c, double s) { rot[nrot++] = Rotation{p, q, c, s}; }
};

// Sums and updates over a fixed number C of adjacent columns, so that the sums of a pass stay
// in registers instead of going through memory on every row (same operations, same order).
constexpr int kMaxFixedColumns = 7;

// dot[l + c] = sum over rows k = i .. m of a(k, i) * a(k, l + c), c < C.
template <int C, class View>
void column_dots(View a, int i, int l, int m, double dot[]) {
  double acc[C];
  for (int c = 0; c < C; c++) acc[c] = 0.0;
  for_rows<View>(i, m, [&]<class T>(int k) __attribute__((always_inline)) {
    const T x = a.template get<T>(k, i);
#pragma GCC unroll 8
    for (int c = 0; c < C; c++) {
      const T p = x * a.template get<T>(k, l + c);
#pragma GCC unroll 4
      for (int b = 0; b < lane_count<T>; b++) acc[c] += lane(p, b);
    }
  });
  for (int c = 0; c < C; c++) dot[l + c] = acc[c];
}

// The rows l = i + 1 .. m of a Householder step over the C = n - i later columns: the left
// update (when left), the right update with the row reflector hv, e (when right), and the
// scale sum of column l, returned.
template <int C, class View>
double update_rows(View a, int i, int m, bool left, double left_scale, bool right,
                   const double factor[], const double hv[], const double e[]) {
  const int l = i + 1;
  double f[C], h[C], r[C];
  for (int c = 0; c < C; c++) {
    f[c] = factor[l + c];
    h[c] = hv[l + c];
    r[c] = e[l + c];
  }
  double col_scale = 0.0;
  for_rows<View>(l, m, [&]<class T>(int k) __attribute__((always_inline)) {
    T y[C];
#pragma GCC unroll 8
    for (int c = 0; c < C; c++) y[c] = a.template get<T>(k, l + c);
    if (left) {
      const T x = a.template get<T>(k, i);
#pragma GCC unroll 8
      for (int c = 0; c < C; c++) y[c] += f[c] * x;
      a.put(k, i, x * left_scale);
    }
    if (right) {
      T s{};
#pragma GCC unroll 8
      for (int c = 0; c < C; c++) s += y[c] * h[c];
#pragma GCC unroll 8
      for (int c = 0; c < C; c++) y[c] += s * r[c];
    }
#pragma GCC unroll 8
    for (int c = 0; c < C; c++) a.put(k, l + c, y[c]);
#pragma GCC unroll 4
    for (int b = 0; b < lane_count<T>; b++) col_scale += fabs(lane(y[0], b));
  });
  return col_scale;
}

// One step of the accumulation of U over rows i .. m and columns i .. i + C - 1 (the last
// column): the step's updates, then (when sums) the next step's sums into next[i ..].
template <int C, class View>
void left_step(View a, int i, int m, bool nonzero, double g, bool sums, const double factor[],
               double next[]) {
  double f[C];
  for (int c = 0; c < C; c++) f[c] = factor[i + c];
  double acc[C];
  for (int c = 0; c < C; c++) acc[c] = next[i + c];
  auto row = [&]<class T>(int k) __attribute__((always_inline)) {
    T y[C];
#pragma GCC unroll 8
    for (int c = 0; c < C; c++) y[c] = a.template get<T>(k, i + c);
    if (nonzero) {
      const T x = y[0];
#pragma GCC unroll 8
      for (int c = 1; c < C; c++) y[c] += f[c] * x;
      y[0] = x * g;
    } else {
      y[0] = T{};
    }
    if constexpr (std::is_same_v<T, double>)
      if (k == i) y[0] += 1.0;
#pragma GCC unroll 8
    for (int c = 0; c < C; c++) a.put(k, i + c, y[c]);
    if (sums) {
      const T x = a.template get<T>(k, i - 1);
#pragma GCC unroll 8
      for (int c = 0; c < C; c++) {
        const T p = x * y[c];
#pragma GCC unroll 4
        for (int b = 0; b < lane_count<T>; b++) acc[c] += lane(p, b);
      }
    }
  };
  row.template operator()<double>(i);
  for_rows<View>(i + 1, m, row);
  for (int c = 0; c < C; c++) next[i + c] = acc[c];
}

// Calls body(std::integral_constant<int, C>) for 1 <= columns <= kMaxFixedColumns; false
// (nothing called) otherwise.
template <class Body>
bool with_fixed_columns(int columns, Body body) {
  switch (columns) {
    case 1: body(std::integral_constant<int, 1>{}); return true;
    case 2: body(std::integral_constant<int, 2>{}); return true;
    case 3: body(std::integral_constant<int, 3>{}); return true;
    case 4: body(std::integral_constant<int, 4>{}); return true;
    case 5: body(std::integral_constant<int, 5>{}); return true;
    case 6: body(std::integral_constant<int, 6>{}); return true;
    case 7: body(std::integral_constant<int, 7>{}); return true;
    default: return false;
  }
}

// Sum of |a(k, j)| over rows k = 1 .. m, in row order.
template <class View>
double column_scale(View a, int j, int m) {
  double sum = 0.0;
  for_rows<View>(1, m, [&]<class T>(int k) __attribute__((always_inline)) {
    const T x = a.template get<T>(k, j);
#pragma GCC unroll 4
    for (int b = 0; b < lane_count<T>; b++) sum += fabs(lane(x, b));
  });
  return sum;
}

// Column i of the rows i + 1 .. m times the scale of its left reflector (the last step, with
// no later column to update).
template <class View>
void rescale_column(View a, int i, int m, double left_scale) {
  for_rows<View>(i + 1, m, [&]<class T>(int k) __attribute__((always_inline)) {
    a.put(k, i, a.template get<T>(k, i) * left_scale);
  });
}

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

// Right-hand transformations into v, from the last row pivot g on.
template <class View>
void accumulate_right(View a, int n, double **v, const double e[], double g) {
  int l = n + 1;
  for (int i = n; i >= 1; i--) {
    if (i < n) {
      if (g != 0.0) {
        for (int j = l; j <= n; j++) v[j][i] = (a(i, j) / a(i, l)) / g;
        for (int j = l; j <= n; j++) {
          double s = 0.0;
          for (int k = l; k <= n; k++) s += a(i, k) * v[k][j];
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
// the rotations of U are recorded in t.
inline void diagonalise(int n, double w[], double **v, double bound, Scratch &t) {
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
        t.record(j, i, c, s);
      }
      e[l] = 0.0;
      e[k] = f;
      w[k] = x;
    }
  }
}

inline void rotate_block(double *block, const Scratch &t) {
  for (int r = 0; r < t.nrot; r++) {
    const Rotation q = t.rot[r];
    double *bp = block + q.p * kBlock;
    double *bq = block + q.q * kBlock;
    for (int b = 0; b < kBlock; b += kLanes) {
      const Lanes y = load<Lanes>(bp + b);
      const Lanes z = load<Lanes>(bq + b);
      store(bp + b, y * q.c + z * q.s);
      store(bq + b, z * q.c - y * q.s);
    }
  }
}

// The last step of the accumulation of U (column 1 of the rows k0 .. k1, with the updates of
// the later columns) written into the block, whose lane b holds row k0 + b; a is left as it was.
template <class View>
void last_step_into_block(View a, int k0, int k1, int n, bool nonzero, double g,
                          const double factor[], double *block) {
  auto row = [&]<class T>(int k) __attribute__((always_inline)) {
    double *lane0 = block + (k - k0);
    const T x = a.template get<T>(k, 1);
    for (int j = 2; j <= n; j++) {
      T y = a.template get<T>(k, j);
      if (nonzero) y += factor[j] * x;
      store(lane0 + j * kBlock, y);
    }
    T y1 = nonzero ? x * g : T{};
    if constexpr (std::is_same_v<T, double>)
      if (k == 1) y1 += 1.0;
    store(lane0 + kBlock, y1);
  };
  // Row 1 takes the unit of the pivot on its own.
  int k = k0;
  if (k == 1) row.template operator()<double>(k++);
  for_rows<View>(k, k1, row);
}

// Left-hand transformations, turning a into U; the finished rows of U, rotated, are handed
// to finish(k0, count, block) in increasing k0, kBlock rows at a time at most: row k0 + b,
// column j is block[j * kBlock + b]. a itself is not left holding U.
template <class View, class Finish>
void accumulate_left(View a, int m, int n, Scratch &t, Finish &finish) {
  const double *wb = t.wb;
  double *factor = t.factor, *dot = t.dot, *next = t.next;
  const int top = m < n ? m : n;
  // The first step's sums run over rows top + 1 .. m and columns top + 1 .. n: one of the
  // two ranges is empty.
  for (int j = 1; j <= n; j++) dot[j] = 0.0;
  for (int i = top; i >= 1; i--) {
    const int l = i + 1;
    double g = wb[i];
    for (int j = l; j <= n; j++) a(i, j) = 0.0;
    const bool nonzero = g != 0.0;
    if (nonzero) {
      g = 1.0 / g;
      for (int j = l; j <= n; j++) factor[j] = (dot[j] / a(i, i)) * g;
    }
    if (i == 1) {
      // Rows of U are finished block by block: rotated and handed on.
      for (int k0 = 1; k0 <= m; k0 += kBlock) {
        const int k1 = m < k0 + kBlock - 1 ? m : k0 + kBlock - 1;
        last_step_into_block(a, k0, k1, n, nonzero, g, factor, t.block);
        rotate_block(t.block, t);
        finish(k0, k1 - k0 + 1, static_cast<const double *>(t.block));
      }
      break;
    }
    const bool sums = wb[i - 1] != 0.0;
    for (int j = i; j <= n; j++) next[j] = 0.0;
    auto fixed = [&](auto cols) { left_step<cols.value>(a, i, m, nonzero, g, sums, factor, next); };
    if (!with_fixed_columns(n - i + 1, fixed)) {
      for (int k = i; k <= m; k++) {
        if (nonzero) {
          const double x = a(k, i);
          for (int j = l; j <= n; j++) a(k, j) += factor[j] * x;
          a(k, i) = x * g;
        } else {
          a(k, i) = 0.0;
        }
        if (k == i) a(i, i) += 1.0;
        if (sums) {
          const double x = a(k, i - 1);
          for (int j = i; j <= n; j++) next[j] += x * a(k, j);
        }
      }
    }
    std::swap(dot, next);
  }
}

// The whole decomposition of a[1..m][1..n]: w the singular values, v the matrix V, and
// the rows of U handed to finish as accumulate_left says, once w is final; before that,
// ready(w) may adjust w (the fit zeroes the negligible singular values there).
template <class View, class Ready, class Finish>
void decompose(View a, int m, int n, double w[], double **v, Ready &ready, Finish &finish) {
  Scratch t(n);
  double g;
  double bound = bidiagonalise(a, m, n, w, t, g);
  accumulate_right(a, n, v, t.e, g);
  for (int i = 1; i <= n; i++) t.wb[i] = w[i];
  diagonalise(n, w, v, bound, t);
  ready(w);
  accumulate_left(a, m, n, t, finish);
}

}  // namespace POLYEST_ISA
}  // namespace svd_passes
