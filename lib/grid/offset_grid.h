#pragma once
// The offsets grid of a scene: where each cell sits in the image and which cells hold a
// usable offset sample. Every program and tool that walks a grid uses these, so that they
// all agree on a cell's coordinates and on what counts as a sample.
#include <climits>
#include <cmath>

#include "../binio/fcomplex.h"
#include "../params/KOLT_io.h"

namespace polyest {

struct GRID_GEOMETRY {
  int nr;           // columns (range samples)
  int naz;          // rows (azimuth lines)
  int range0;       // range sample of column 0
  int range_step;   // range samples from one column to the next
  int azimuth0;     // azimuth line of row 0
  int azimuth_step; // azimuth lines from one row to the next
};

inline GRID_GEOMETRY grid_geometry(const KOLT_PAR *kp) {
  return GRID_GEOMETRY{kp->offset_estimation_range_samples,
                       kp->offset_estimation_azimuth_samples,
                       kp->offset_estimation_starting_range,
                       kp->offset_estimation_range_spacing,
                       kp->offset_estimation_starting_azimuth,
                       kp->offset_estimation_azimuth_spacing};
}

// False for a grid of more cells than the estimation can number: sample numbers and counts
// are int, and the sample vectors hold one element more than the grid's cells. (A grid of no
// cells, or of a negative count, is refused by the allocation of its storage.)
inline bool grid_size_supported(const GRID_GEOMETRY &g) {
  return !(g.nr > 0 && g.naz > 0 && static_cast<long long>(g.nr) * g.naz >= INT_MAX);
}

// Image coordinate of column j (range) and of row i (azimuth): start + index * spacing in
// 64-bit integer arithmetic, exact for every int start, index and spacing, then as double.
inline double grid_range(const GRID_GEOMETRY &g, int j) {
  return static_cast<double>(g.range0 + static_cast<long long>(j) * g.range_step);
}
inline double grid_azimuth(const GRID_GEOMETRY &g, int i) {
  return static_cast<double>(g.azimuth0 + static_cast<long long>(i) * g.azimuth_step);
}

// A cell holds an offset when its range offset is non-zero and both offsets are below 1e9
// in magnitude (a NaN fails); it is a sample when its cross-correlation is finite as well.
inline bool is_offset_cell(fcomplex cell) {
  return cell.re != 0.0f && std::fabs(cell.re) < 1.0e9f && std::fabs(cell.im) < 1.0e9f;
}
inline bool is_sample_cell(fcomplex cell, float cc) {
  return is_offset_cell(cell) && std::isfinite(cc);
}

}  // namespace polyest
