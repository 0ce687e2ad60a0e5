// polyest: fits range and azimuth offset polynomials to an offset grid, culls outliers,
// writes the culled offsets and updates the scene's KOLT_par file.
#include "polyest_run.h"

int main(int argc, char *argv[]) { return polyest_run(argc, argv); }
