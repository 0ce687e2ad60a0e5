#pragma once
// Vector lanes of doubles. Each operation on a lane vector is the same IEEE operation on every
// lane, rounded exactly as the scalar operation would be, so a loop over independent rows or
// samples gives the same bits run several at a time. Scalar code uses the same templates with
// double.
//
// Lanes2 holds two doubles on every machine (SSE2 on x86-64). Lanes, the width of the loops
// over rows of the decomposition, is four doubles in code built with AVX and two otherwise.
// POLYEST_ISA names the namespace of each instruction-set build (isa_generic, isa_avx), so
// that two builds never share an inline function.
#include <cstring>

namespace polyest {

#ifndef POLYEST_ISA
#define POLYEST_ISA isa_generic
#endif

namespace lanes {
inline namespace POLYEST_ISA {

typedef double Lanes2 __attribute__((vector_size(2 * sizeof(double))));
#ifdef __AVX__
typedef double Lanes4 __attribute__((vector_size(4 * sizeof(double))));
constexpr int kLanes = 4;
typedef Lanes4 Lanes;
#else
constexpr int kLanes = 2;
typedef Lanes2 Lanes;
#endif

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
template <class T>
inline double lane(T v, int b) {
  return v[b];
}

}  // namespace POLYEST_ISA
}  // namespace lanes

}  // namespace polyest
