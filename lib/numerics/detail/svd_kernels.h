#pragma once
// The loops over rows of the reduction and the accumulation of U for a fixed number of
// columns, so that their running sums stay in registers (same operations, same order).
#include <cmath>
#include <type_traits>

#include "svd_views.h"

namespace polyest {

namespace svd_detail {
// One build per instruction set (see lanes.h).
inline namespace POLYEST_ISA {

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

}  // namespace POLYEST_ISA
}  // namespace svd_detail

}  // namespace polyest
