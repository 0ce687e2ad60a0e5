#pragma once
// The whole run of the program: returns the exit status (0, or -1 after an error message).
#include "numerics/svd.h"

int polyest_run(int argc, char *argv[]);

// The same run with another fit of both directions in place of svdfit_pair (the tests run the
// program over the reference decomposition this way).
int polyest_run_with(int argc, char *argv[], polyest::pair_fit_fn *fit);
