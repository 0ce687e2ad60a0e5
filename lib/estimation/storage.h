#pragma once
// The storage of an estimation, allocated once the grid's size is known: the grids the files
// are read through, the samples and the fits' working arrays, all zero-filled. Each allocation
// returns 0, or -1 with the first refusal in *err (its message: alloc_message); a failed call
// keeps nothing, and each free_ call takes a record in any state (zeroed, filled, freed).
#include "../binio/fcomplex.h"
#include "../grid/offset_grid.h"
#include "../runtime/alloc.h"
#include "estimation.h"
#include "samples.h"

namespace polyest {

// The grids of a run, naz rows of nr cells each, allocated at their full size so that a grid
// too large for the machine is refused before any file is read. Only their first rows are
// touched: they are the buffer the files are read through, a block of rows at a time, and
// (coffs) the culled grid's block of rows; the pages of the rest are never faulted in.
struct GRID_ARRAYS {
  float **ccp;
  fcomplex **offs;
  fcomplex **coffs;
};

// ccp, offs, then coffs. A negative nr or naz is a count beyond any memory.
int allocate_grid_arrays(int nr, int naz, GRID_ARRAYS *g, ALLOC_ERROR *err);
void free_grid_arrays(GRID_ARRAYS *g);

// The sample arrays of a grid of g.nr x g.naz cells, every cell a possible sample, in this
// order: the column and row coordinates (set from g), the 1-based sample vectors, the map of
// sample cells; no sample yet.
int allocate_samples(const GRID_GEOMETRY &g, OFFSET_SAMPLES *s, ALLOC_ERROR *err);
void free_samples(OFFSET_SAMPLES *s);

// The working arrays of npoly-term fits (1, 3, 4 or 6) of up to nsamp samples with fit
// (svdfit_pair, or another pair fit of its signature).
int allocate_fit(long long nsamp, int npoly, pair_fit_fn *fit, MODEL_FIT *f, ALLOC_ERROR *err);
void free_fit(MODEL_FIT *f);

// Frees the design matrix once the last fit is done, so that its memory serves the outputs;
// what the outputs and coefficient_errors read stays.
void release_design(MODEL_FIT *f);

}  // namespace polyest
