#include "culling.h"

#include <cstdio>

#include "messages.h"
#include "report/report.h"
#include "text/int_scan.h"

using namespace polyest;

namespace {

// Interactive bounds for the next pass; -1 after an error message when an answer cannot be
// read.
int ask_bounds(CULL_BOUNDS *b) {
  fputs("\nenter minimum cross-correlation threshold: ", stdout);
  fflush(stdout);
  if (scanf("%lf", &b->cc) != 1) {
    fputs("\nERROR: cannot read the cross-correlation threshold from standard input\n\n", stderr);
    return -1;
  }
  fputs("enter the range and azimuth error thresholds: ", stdout);
  fflush(stdout);
  if (scanf("%lf %lf", &b->rng, &b->az) != 2) {
    fputs("\nERROR: cannot read the range and azimuth error thresholds from standard input\n\n",
          stderr);
    return -1;
  }
  return 0;
}

// The operator decides after each pass whether to go on; an unreadable answer ends the stage
// like an answer of 0.
int interactive_culling(OFFSET_SAMPLES *s, MODEL_FIT *f, const SOLUTION &first, double thres,
                        SOLUTION *last) {
  CULL_BOUNDS bounds{thres, 0.0, 0.0};
  SOLUTION prev = first, sol{};
  for (;;) {
    if (ask_bounds(&bounds) != 0) return -1;
    const int status = culling_pass(s, f, &prev, bounds, &sol);
    print_pass(stdout, &sol, status, 1, s->nsamp, f->npoly);
    if (status != EST_OK) {
      print_estimation_error(status);
      return -1;
    }
    fputs("\nset new error bounds? (0: no, 1: yes): ", stdout);
    fflush(stdout);
    int new_bounds = 0;
    if (fscan_int32(stdin, &new_bounds) != 1 || new_bounds != 1) {
      *last = sol;
      return 0;
    }
    prev = sol;
  }
}

}  // namespace

int cull_outliers(OFFSET_SAMPLES *s, MODEL_FIT *f, const SOLUTION &first, double thres,
                  int interact_mode, SOLUTION *last) {
  if (interact_mode == 1) return interactive_culling(s, f, first, thres, last);
  int passes = 0, reported = 0;
  auto report = [&](const SOLUTION &sol, int status) {
    print_pass(stdout, &sol, status, ++reported, s->nsamp, f->npoly);
  };
  const int status = automatic_culling(s, f, first, thres, report, last, &passes);
  if (status != EST_OK) {
    print_estimation_error(status);
    return -1;
  }
  print_culling_end(stdout, passes, last->naccept, s->nsamp);
  return 0;
}
