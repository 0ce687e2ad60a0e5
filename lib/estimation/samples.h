#pragma once
// The samples selected from an offsets grid and the map of their cells, allocated by
// allocate_samples (storage.h). The grid itself is read a block of rows at a time and need not
// be kept.
#include <cstddef>
#include <cstdint>

#include "../binio/fcomplex.h"
#include "../grid/offset_grid.h"

namespace polyest {

// Each sample is kept in the narrowest exact form: its grid column and row (its coordinates
// are those of the column and the row), its offsets and cross-correlation as read, and a mark
// once culled. Its standard deviation sig is 1 / cc, or SIG_CULLED once culled (sample_sig).
struct OFFSET_SAMPLES {
  int nr;              // grid columns (range)
  int naz;             // grid rows (azimuth)
  long long nsamp;     // nr * naz
  double *rng_coord;   // 0-based, per column
  double *az_coord;    // 0-based, per row
  uint64_t *sample_cells;  // one bit per grid cell (row by row), set where the cell is a sample
  // 1-based, k = 1 .. ndata
  int *column;
  int *row;
  float *off_rng;
  float *off_az;
  float *cc;
  uint8_t *culled;     // 1 once culled
  int ndata;
};

// The sig of a culled sample.
constexpr double SIG_CULLED = 1.0e9;

inline double sample_x(const OFFSET_SAMPLES *s, int k) { return s->rng_coord[s->column[k]]; }
inline double sample_y(const OFFSET_SAMPLES *s, int k) { return s->az_coord[s->row[k]]; }
inline double sample_sig(const OFFSET_SAMPLES *s, int k) {
  return s->culled[k] ? SIG_CULLED : 1.0 / s->cc[k];
}

// 64-bit words of the sample_cells map of a grid of ncells cells.
inline size_t sample_cell_words(long long ncells) { return static_cast<size_t>(ncells + 63) / 64; }

// Image coordinates of every column and row of the grid.
void set_grid_coordinates(const GRID_GEOMETRY &g, OFFSET_SAMPLES *s);

// Appends the samples of grid row i (its offsets and cross-correlations in host order), in
// column order, to the sample arrays and marks their cells. Rows go in increasing order.
void collect_row_samples(OFFSET_SAMPLES *s, int i, const fcomplex *row, const float *cc_row);

// Calls body(i, j, k) for every surviving (not culled) sample k at its grid cell (row i,
// column j), in sample order: the map of sample cells is walked, so sample k meets its own
// cell and no division by the grid spacing is needed.
template <class Body>
void for_each_surviving_sample(const OFFSET_SAMPLES *s, Body body) {
  const size_t words = sample_cell_words(s->nsamp);
  const long long nr = s->nr;
  int k = 0, i = 0;
  long long row_start = 0;  // the first cell of row i
  for (size_t w = 0; w < words; w++) {
    for (uint64_t bits = s->sample_cells[w]; bits != 0; bits &= bits - 1) {
      const long long cell = static_cast<long long>(w * 64) + __builtin_ctzll(bits);
      k++;
      while (cell >= row_start + nr) {
        i++;
        row_start += nr;
      }
      if (!s->culled[k]) body(i, static_cast<int>(cell - row_start), k);
    }
  }
}

}  // namespace polyest
