#pragma once
// The offsets grid of a run in memory and the samples selected from it. Whoever fills the
// record allocates its arrays: polyest ends the run when memory runs out, other callers do as
// they see fit.
#include "binio/fcomplex.h"
#include "grid/offset_grid.h"

struct OFFSET_SAMPLES {
  int nr;              // grid columns (range)
  int naz;             // grid rows (azimuth)
  long long nsamp;     // nr * naz
  float **ccp_grid;    // rows of cross-correlations, host order
  fcomplex **offs_grid;  // rows of offsets, host order
  fcomplex **coffs_grid; // rows of the culled offsets grid (only the first is used, as the
                         // row buffer of its writer)
  double *rng_coord;   // 0-based, per column
  double *az_coord;    // 0-based, per row
  // 1-based, k = 1 .. ndata
  double *x_rng;
  double *y_az;
  double *sig;         // 1 / cc, or SIG_CULLED once culled
  double *cc;
  double *off_rng;
  double *off_az;
  int ndata;
};

// Mark of a culled sample in sig.
constexpr double SIG_CULLED = 1.0e9;

// Image coordinates of every column and row of the grid.
void set_grid_coordinates(const GRID_GEOMETRY &g, OFFSET_SAMPLES *s);

// Appends the samples of grid row i, in column order, to the sample arrays.
void collect_row_samples(OFFSET_SAMPLES *s, int i);

// Calls body(i, j, k) for every surviving (not culled) sample k at its grid cell (row i,
// column j), in sample order: the grid is walked with the selection test, so sample k meets
// its own cell and no division by the grid spacing is needed.
template <class Body>
void for_each_surviving_sample(const OFFSET_SAMPLES *s, Body body) {
  int k = 0;
  for (int i = 0; i < s->naz; i++) {
    const fcomplex *row = s->offs_grid[i];
    const float *ccp_row = s->ccp_grid[i];
    for (int j = 0; j < s->nr; j++) {
      if (!is_sample_cell(row[j], ccp_row[j])) continue;
      k++;
      if (s->sig[k] != SIG_CULLED) body(i, j, k);
    }
  }
}
