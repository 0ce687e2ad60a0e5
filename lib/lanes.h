#pragma once
// Adjacent elements of one stored column, kLanes at a time. Each operation on Lanes is the
// same IEEE operation on every lane, rounded exactly as the scalar operation would be, so a
// loop over independent rows gives the same bits run kLanes rows at a time. Scalar code
// uses the same templates with double.
//
// Code built with AVX holds four rows per value, otherwise two (SSE2). POLYEST_ISA names the
// namespace of each build, so that the two never share an inline function.
#include <cstring>

#ifndef POLYEST_ISA
#define POLYEST_ISA pair_fit_sse2
#endif

namespace svd_passes {
inline namespace POLYEST_ISA {

#ifdef __AVX__
constexpr int kLanes = 4;
#else
constexpr int kLanes = 2;
#endif
typedef double Lanes __attribute__((vector_size(kLanes * sizeof(double))));

template <class T>
constexpr int lane_count = sizeof(T) / sizeof(double);

template <class T>
inline T load(const double *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
inline void store(double *p, T v) {
  std::memcpy(p, &v, sizeof v);
}

inline double lane(double v, int) { return v; }
inline double lane(Lanes v, int b) { return v[b]; }

// C running sums over rows, each fed one product per row in increasing row order. Rows come
// one at a time (double) or kLanes at a time (Lanes, lane b the later row b). Groups of kLanes
// sums are held as one Lanes value, so that kLanes rows of kLanes sums are transposed and added
// with kLanes vector additions: every sum still sees its rows' products added one by one, in
// order. Sums left over after the full groups are added lane by lane; two or more are padded
// to a group, their padding lanes summing zeros that are never read.
template <int C>
struct RowSums {
  static constexpr int kRest = C % kLanes;
  static constexpr int kGroups = C / kLanes + (kRest >= 2 ? 1 : 0);
  static constexpr int kScalar = kRest == 1 ? 1 : 0;
  Lanes group[kGroups > 0 ? kGroups : 1];
  double single;

  explicit RowSums(const double start[]) {
    for (int c = 0; c < kGroups * kLanes; c++)
      group[c / kLanes][c % kLanes] = c < C ? start[c] : 0.0;
    single = kScalar ? start[C - 1] : 0.0;
  }

  void add(const double p[]) {
#pragma GCC unroll 8
    for (int c = 0; c < kGroups * kLanes && c < C; c++) group[c / kLanes][c % kLanes] += p[c];
    if (kScalar) single += p[C - 1];
  }

  void add(const Lanes p[]) {
#pragma GCC unroll 4
    for (int g = 0; g < kGroups; g++) add_transposed(group[g], p, g * kLanes);
    if (kScalar)
#pragma GCC unroll 4
      for (int b = 0; b < kLanes; b++) single += p[C - 1][b];
  }

  void store(double out[]) const {
    for (int c = 0; c < C; c++)
      out[c] = kScalar && c == C - 1 ? single : group[c / kLanes][c % kLanes];
  }

 private:
  // Products c0 + c of p, zero past C.
  static Lanes column(const Lanes p[], int c) { return c < C ? p[c] : Lanes{}; }

  // sum lane c += column c0 + c, lane b, for b = 0 .. kLanes - 1 in turn.
  __attribute__((always_inline)) static void add_transposed(Lanes &sum, const Lanes p[], int c0) {
#ifdef __AVX__
    const Lanes q0 = column(p, c0), q1 = column(p, c0 + 1), q2 = column(p, c0 + 2),
                q3 = column(p, c0 + 3);
    const Lanes t0 = __builtin_shufflevector(q0, q1, 0, 4, 2, 6);
    const Lanes t1 = __builtin_shufflevector(q0, q1, 1, 5, 3, 7);
    const Lanes t2 = __builtin_shufflevector(q2, q3, 0, 4, 2, 6);
    const Lanes t3 = __builtin_shufflevector(q2, q3, 1, 5, 3, 7);
    sum += __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    sum += __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    sum += __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    sum += __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
#else
    const Lanes q0 = column(p, c0), q1 = column(p, c0 + 1);
    sum += __builtin_shufflevector(q0, q1, 0, 2);
    sum += __builtin_shufflevector(q0, q1, 1, 3);
#endif
  }
};

}  // namespace POLYEST_ISA
}  // namespace svd_passes
