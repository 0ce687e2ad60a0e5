#pragma once
// Iterative culling of outlying samples and refit of both models, automatic or with the
// operator's thresholds from standard input.
#include "model_fit.h"
#include "offset_samples.h"

struct KOLT_PAR;

struct CULLING_STATE {
  double thres;        // cross-correlation threshold, changed only by the operator
  double rng_thres;
  double az_thres;
  double sd_rng_prev;
  double sd_az_prev;
  int niter;
  int naccept;
  int new_bounds;
};

// Runs the culling iterations from the first solution in f. On return 0 the last solution
// is in f and the record's polynomials, its culled samples marked in sig; -1 after an error
// message.
int cull_outliers(OFFSET_SAMPLES *s, MODEL_FIT *f, KOLT_PAR *kp, double thres,
                  int interact_mode);
