#pragma once
// The whole run of the program: returns the exit status (0, or -1 after an error message).
// Allocation failures and numeric failures still end the process at once.
#include "numerics/svd.h"

int polyest_run(int argc, char *argv[]);

// The same run with another fit of both directions in place of svdfit_pair (the tests run the
// program over the reference decomposition this way).
int polyest_run_with(int argc, char *argv[], pair_fit_fn *fit);
