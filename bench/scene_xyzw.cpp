// scene_xyzw: the range-offset samples of a scene as polyest selects them, written as
// records of four native doubles (x, y, range offset, standard deviation 1 / cc), the input
// of an external robust trend fit that `make bench` times for comparison.
// Usage: scene_xyzw <offs> <ccp> <KOLT_par> <out>
#include <cstdio>

#include "estimation/grid_input.h"
#include "estimation/storage.h"
#include "params/KOLT_io.h"
#include "runtime/alloc.h"

using namespace polyest;

int main(int argc, char *argv[]) {
  if (argc != 5) {
    fputs("usage: scene_xyzw <offs> <ccp> <KOLT_par> <out>\n", stderr);
    return -1;
  }
  FILE *offs = fopen(argv[1], "r"), *ccp = fopen(argv[2], "r"), *par = fopen(argv[3], "r");
  FILE *out = fopen(argv[4], "w");
  if (offs == nullptr || ccp == nullptr || par == nullptr || out == nullptr) {
    fputs("\nERROR: scene_xyzw: cannot open the scene files or create the output\n\n", stderr);
    return -1;
  }
  KOLT_PAR kp{};
  OFFSET_SAMPLES s{};
  GRID_ARRAYS g{};
  ALLOC_ERROR err{};
  if (read_KOLT_par(par, &kp, &err) != 0 ||
      allocate_grid_arrays(kp.offset_estimation_range_samples,
                           kp.offset_estimation_azimuth_samples, &g, &err) != 0 ||
      allocate_samples(grid_geometry(&kp), &s, &err) != 0) {
    fputs(alloc_message(err).c_str(), stderr);
    return -1;
  }
  select_samples(offs, ccp, &g, &s);
  for (int k = 1; k <= s.ndata; k++) {
    const double record[4] = {sample_x(&s, k), sample_y(&s, k), s.off_rng[k], sample_sig(&s, k)};
    fwrite(record, sizeof record, 1, out);
  }
  if (fflush(out) != 0 || ferror(out) || fclose(out) != 0) {
    fprintf(stderr, "\nERROR: scene_xyzw: error writing %s\n\n", argv[4]);
    return -1;
  }
  free_samples(&s);
  free_grid_arrays(&g);
  return 0;
}
