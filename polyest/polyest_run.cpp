#include "polyest_run.h"

#include <cstdio>

#include "culling.h"
#include "estimation/grid_input.h"
#include "estimation/storage.h"
#include "messages.h"
#include "report/report.h"
#include "results.h"
#include "run_settings.h"
#include "runtime/timing.h"

#ifndef POLYEST_VERSION
#define POLYEST_VERSION "unknown"
#endif

using namespace polyest;

namespace {

// Prints the grid geometry lines and checks the grid size. Returns -1 after an error message
// when the grid cannot be indexed.
int describe_grid(const GRID_GEOMETRY &grid) {
  const long long nsamp = static_cast<long long>(grid.nr) * grid.naz;
  print_grid_lines(stdout, grid, nsamp);
  if (!grid_size_supported(grid)) {
    fprintf(stderr, "\nERROR: offset grid too large: %d x %d samples\n\n", grid.nr, grid.naz);
    return -1;
  }
  return 0;
}

int run_stages(int argc, char *argv[], pair_fit_fn *fit, RUN_SETTINGS *rs, GRID_ARRAYS *g,
               OFFSET_SAMPLES *s, MODEL_FIT *f) {
  KOLT_PAR kp{};
  if (open_run(argc, argv, rs, &kp) != 0) return -1;
  const GRID_GEOMETRY grid = grid_geometry(&kp);
  if (describe_grid(grid) != 0) return -1;
  // The grids first, then the samples and the fits, as the run has always allocated them: a
  // grid too large for the machine fails with the same message.
  ALLOC_ERROR err{};
  if (allocate_grid_arrays(grid.nr, grid.naz, g, &err) != 0 ||
      allocate_samples(grid, s, &err) != 0 || allocate_fit(s->nsamp, rs->npoly, fit, f, &err) != 0)
    return allocation_failed(err);
  select_samples(rs->fp_offs, rs->fp_ccp, g, s);
  print_selection(stdout, s->ndata, s->nsamp);
  SOLUTION first, last;
  if (const int status = first_solution(s, f, &first)) {
    print_estimation_error(status);
    return -1;
  }
  print_first_solution(stdout, &first, f->npoly);
  if (cull_outliers(s, f, first, rs->thres, rs->interact_mode, &last) != 0) return -1;
  release_design(f);
  if (write_results(rs, s, g->coffs[0], f, &last, &kp) != 0) return -1;
  stop_timing();
  return flush_report();
}

}  // namespace

int polyest_run(int argc, char *argv[]) { return polyest_run_with(argc, argv, svdfit_pair); }

int polyest_run_with(int argc, char *argv[], pair_fit_fn *fit) {
  puts("*** Range and azimuth offset polynomial estimation using SVD ***");
  puts("*** polyest version " POLYEST_VERSION " ***");
  if (argc < 4) {
    print_usage(argc > 0 ? argv[0] : "polyest");
    return -1;
  }
  start_timing();
  RUN_SETTINGS rs{};
  GRID_ARRAYS g{};
  OFFSET_SAMPLES s{};
  MODEL_FIT f{};
  const int status = run_stages(argc, argv, fit, &rs, &g, &s, &f);
  close_run_streams(&rs);
  free_fit(&f);
  free_samples(&s);
  free_grid_arrays(&g);
  return status;
}
