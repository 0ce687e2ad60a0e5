#pragma once
// The offset grid, its image coordinates and the samples selected from it.
#include <cstdio>

#include "binio/fcomplex.h"
#include "grid/offset_grid.h"
#include "params/KOLT_io.h"

struct OFFSET_SAMPLES {
  int nr;              // grid columns (range)
  int naz;             // grid rows (azimuth)
  long long nsamp;     // nr * naz
  float **ccp_grid;
  fcomplex **offs_grid;
  fcomplex **coffs_grid;
  double *rng_coord;   // 0-based, per column
  double *az_coord;    // 0-based, per row
  // 1-based, k = 1 .. ndata
  double *x_rng;
  double *y_az;
  double *sig;
  double *cc;
  double *off_rng;
  double *off_az;
  int ndata;
};

// Mark of a culled sample in sig.
constexpr double SIG_CULLED = 1.0e9;

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

// Prints the grid geometry lines and checks the grid size. Returns -1 after an error
// message when the grid cannot be indexed.
int describe_grid(const KOLT_PAR *kp, OFFSET_SAMPLES *s);

// Allocates the grids, coordinates and sample arrays (zero-filled); ends the run when
// memory cannot be had.
void allocate_samples(const KOLT_PAR *kp, OFFSET_SAMPLES *s);

// Reads both grids row by row and collects the samples, then prints the sample count.
// Returns -1 after the error message when fewer than npoly samples were found.
int select_samples(FILE *fp_offs, FILE *fp_ccp, int npoly, OFFSET_SAMPLES *s);

void free_samples(OFFSET_SAMPLES *s);
