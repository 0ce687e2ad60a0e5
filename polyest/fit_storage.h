#pragma once
// The program's storage of the fits: allocated once the grid size is known, the run ends when
// memory cannot be had.
#include <cstddef>

#include "estimation/estimation.h"

void allocate_fit(long long nsamp, int npoly, pair_fit_fn *fit, MODEL_FIT *f);

// Elements per stored column of the design matrix for a grid of nsamp cells (for other
// owners of a MODEL_FIT, which must lay it out the same way).
size_t design_column_stride(long long nsamp);

void free_fit(MODEL_FIT *f);

// Frees the design matrix once the last fit is done, so that its memory serves the outputs.
void release_design(MODEL_FIT *f);
