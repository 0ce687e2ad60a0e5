#pragma once
// The console report of an estimation as the program prints it, each part onto out: the model
// and grid lines, the samples, each solution, the culling passes and the final coefficients
// with their errors. Nothing else is printed and nothing is read.
#include <cstdio>

#include "../estimation/estimation.h"
#include "../grid/offset_grid.h"

namespace polyest {

// "fit parameters: <npoly>" and the model's terms; false (nothing printed) for a model other
// than 1, 3, 4 or 6 terms.
bool print_model_line(FILE *out, int npoly);

// The grid's start, size and spacing, and its number of cells.
void print_grid_lines(FILE *out, const GRID_GEOMETRY &g, long long nsamp);

// The number of samples selected out of the grid's cells.
void print_selection(FILE *out, int ndata, long long nsamp);

// The singular value lines, the coefficient lines and the standard deviation line of the
// first solution.
void print_first_solution(FILE *out, const SOLUTION *sol, int npoly);

// The lines of a culling pass as far as it got (status): its bounds, the singular values, the
// solution's heading and accepted count, its coefficients and standard deviations. niter is
// the pass's number, counted from 1. out is flushed after the bounds and after the count.
void print_pass(FILE *out, const SOLUTION *sol, int status, int niter, long long nsamp, int npoly);

// The number of automatic passes and the final count.
void print_culling_end(FILE *out, int passes, int naccept, long long nsamp);

// The final coefficients, their errors and the standard deviations.
void print_final_report(FILE *out, const MODEL_FIT *f, const SOLUTION *sol);

}  // namespace polyest
