#pragma once
// The console report of the estimation: each solution, the culling passes and the final
// coefficients with their errors.
#include "estimation/estimation.h"

// The singular value lines, the coefficient lines and the standard deviation line of the
// first solution.
void print_first_solution(const SOLUTION *sol, int npoly);

// The lines of a culling pass as far as it got (status): its bounds, the singular values, the
// solution's heading and accepted count, its coefficients and standard deviations. niter is
// the pass's number, counted from 1.
void print_pass(const SOLUTION *sol, int status, int niter, long long nsamp, int npoly);

// The final coefficients, their errors and the standard deviations.
void print_final_report(const MODEL_FIT *f, const SOLUTION *sol);

// An estimation's failure as the program reports it: the decomposition's as nrerror prints
// them (heading on standard error, the message on standard output), the others on standard
// error.
void print_estimation_error(int status);
