#pragma once
// The program's storage of the fits: allocated once the grid size is known, the run ends when
// memory cannot be had.
#include "estimation/estimation.h"

void allocate_fit(long long nsamp, int npoly, pair_fit_fn *fit, MODEL_FIT *f);

void free_fit(MODEL_FIT *f);

// Frees the design matrix once the last fit is done, so that its memory serves the outputs.
void release_design(MODEL_FIT *f);
