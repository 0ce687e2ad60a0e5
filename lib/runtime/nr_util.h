#pragma once
// Services of the numeric routines: 1-based scratch vectors and the fatal exit.

namespace polyest {

// Vector addressed v[nl] .. v[nh] (the routines use nl = 1); one allocation of nh + 1
// doubles, not initialised. Ends the run through nrerror when no memory can be had.
double *dvector(int nl, int nh);
void free_dvector(double *v, int nl, int nh);

// Heading on standard error, the message line on standard output, exit status -1.
[[noreturn]] void nrerror(const char *text);

// Failures that the numeric routines return instead of ending the run, and nrerror's text
// for each.
enum NR_STATUS { NR_OK = 0, NR_NO_CONVERGENCE, NR_NO_MEMORY };
const char *nr_message(int status);

}  // namespace polyest
