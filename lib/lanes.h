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

}  // namespace POLYEST_ISA
}  // namespace svd_passes
