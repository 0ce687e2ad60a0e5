#pragma once
// What every phase of the decomposition shares: the scalar helpers, the record of the QR
// rotations and the per-decomposition scratch vectors.
#include <cmath>
#include <cstdlib>

#include "../../runtime/nr_util.h"

namespace polyest {

namespace svd_detail {
// One build per instruction set (see lanes.h).
inline namespace POLYEST_ISA {

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

// Per-decomposition scratch: small vectors of n + 1 and the rotation record. Allocation never
// ends the run: ok() tells whether every block could be had.
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
    const size_t len = static_cast<size_t>(cols) + 1;
    e = static_cast<double *>(malloc(6 * len * sizeof(double)));
    if (e != nullptr) {
      wb = e + len;
      factor = wb + len;
      dot = factor + len;
      next = dot + len;
      hv = next + len;
    }
    // At most 30 sweeps per singular value, each with at most n rotations of U for the
    // cancellation and n for the sweep.
    maxrot = 60 * (cols > 0 ? cols : 1) * (cols > 0 ? cols : 1);
    rot = static_cast<Rotation *>(malloc(static_cast<size_t>(maxrot) * sizeof(Rotation)));
    block = static_cast<double *>(calloc(len * kBlock, sizeof(double)));
  }
  ~Scratch() {
    free(e);
    free(rot);
    free(block);
  }
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  bool ok() const { return e != nullptr && rot != nullptr && block != nullptr; }
  void record(int p, int q, double c, double s) { rot[nrot++] = Rotation{p, q, c, s}; }
};

}  // namespace POLYEST_ISA
}  // namespace svd_detail

}  // namespace polyest
