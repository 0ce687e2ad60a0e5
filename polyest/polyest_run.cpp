#include "polyest_run.h"

#include <cstdio>

#include "culling.h"
#include "fit_storage.h"
#include "grid_input.h"
#include "report.h"
#include "results.h"
#include "run_settings.h"
#include "runtime/timing.h"

#ifndef POLYEST_VERSION
#define POLYEST_VERSION "unknown"
#endif

namespace {

int run_stages(int argc, char *argv[], pair_fit_fn *fit, RUN_SETTINGS *rs, GRID_ARRAYS *g,
               OFFSET_SAMPLES *s, MODEL_FIT *f) {
  KOLT_PAR kp{};
  if (open_run(argc, argv, rs, &kp) != 0) return -1;
  if (describe_grid(&kp, s) != 0) return -1;
  allocate_samples(&kp, s, g);
  allocate_fit(s->nsamp, rs->npoly, fit, f);
  select_samples(rs->fp_offs, rs->fp_ccp, g, s);
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
  free_samples(&s, &g);
  return status;
}
