#pragma once
// Accumulation of the Householder transformations: V from the right-hand ones, then U from
// the left-hand ones, its finished rows rotated by the recorded QR rotations block by block.
#include <utility>

#include "svd_kernels.h"
#include "svd_scratch.h"

namespace polyest {

namespace svd_detail {
// One build per instruction set (see lanes.h).
inline namespace POLYEST_ISA {

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

}  // namespace POLYEST_ISA
}  // namespace svd_detail

}  // namespace polyest
