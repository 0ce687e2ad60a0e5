#pragma once
// How the decomposition reaches its matrix: a view over row pointers or over column pointers,
// and the loop over rows that runs kLanes rows at a time where a column's rows are adjacent.
#include <type_traits>

#include "../lanes.h"

namespace polyest {

namespace svd_detail {
// One build per instruction set (see lanes.h).
inline namespace POLYEST_ISA {

using namespace lanes;

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

}  // namespace POLYEST_ISA
}  // namespace svd_detail

}  // namespace polyest
