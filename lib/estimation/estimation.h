#pragma once
// The estimation of the two offset models: both fitted to the samples, the outlying samples
// culled pass by pass and both refitted, every result kept as data. Nothing here prints, reads
// standard input or ends the run: a failure comes back as a status, whose text is the
// program's own message (estimation_message).
#include <cmath>
#include <cstddef>

#include "samples.h"
#include "../numerics/svd.h"
#include "../runtime/nr_util.h"

namespace polyest {

enum ESTIMATION_STATUS {
  EST_OK = NR_OK,
  EST_NO_CONVERGENCE = NR_NO_CONVERGENCE,  // of the decomposition
  EST_NO_MEMORY = NR_NO_MEMORY,            // for the decomposition's scratch
  EST_TOO_FEW_SAMPLES,                     // fewer samples than model terms
  EST_TOO_FEW_AFTER_CULLING,               // fewer surviving samples than model terms
};
const char *estimation_message(int status);

// Basis function of an npoly-term model (npoly is 1, 3, 4 or 6).
basis_fn basis_for(int npoly);

// Elements of each vector and of each side of each matrix of a MODEL_FIT: six terms, 1-based.
constexpr size_t MODEL_FIT_DIM = 7;

// Elements per stored column of the design matrix for a grid of nsamp cells: nsamp + 1
// rounded up to whole cache lines plus 13 lines, so that the columns, read side by side, never
// sit a power of two apart (grids of 2^k cells would otherwise map every column onto the same
// cache sets).
inline size_t design_column_stride(long long nsamp) {
  return (static_cast<size_t>(nsamp + 1) + 7) / 8 * 8 + 8 * 13;
}

// The working arrays of the fits, 1-based, allocated by allocate_fit (storage.h).
struct MODEL_FIT {
  int npoly;
  basis_fn funcs;
  pair_fit_fn *fit;  // the fit of both directions on one design: svdfit_pair
  double *a_rng;     // 7 elements, the coefficients in 1 .. npoly
  double *a_az;
  double **cvm_rng;  // 7 x 7 covariance
  double **cvm_az;
  double **svd_u;    // the design matrix by columns: 7 columns of at least ndata + 1
  double **svd_v;    // 7 x 7
  double *svd_w;     // 7
};

// The bounds of a culling pass: a sample is culled when its cross-correlation is at or below
// cc, or its range or azimuth residual reaches rng or az.
struct CULL_BOUNDS {
  double cc, rng, az;
};

// One solution: the fit of both directions after a culling pass (or over all samples).
struct SOLUTION {
  CULL_BOUNDS bounds;     // the pass's bounds; all 0 for the first fit
  int naccept;            // samples that took part
  double poly_rng[6];     // the coefficients a0 .. a5, 0 beyond npoly
  double poly_az[6];
  double sd_rng, sd_az;   // model fit standard deviations (samples)
  double w[6];            // the fit's singular values, as the decomposition leaves them
};

// The fit over all ndata samples; its standard deviations divide by ndata (0 when ndata is
// not above npoly).
int first_solution(const OFFSET_SAMPLES *s, MODEL_FIT *f, SOLUTION *sol);

// Culls every surviving sample that prev's models or the bounds reject (it stays culled), then
// refits both models on the rest; the standard deviations divide by naccept - npoly (0 when
// naccept is not above npoly). EST_TOO_FEW_AFTER_CULLING when fewer samples than terms are
// left: sol then holds the bounds, the fit and naccept. On the decomposition's failures sol
// holds the bounds only.
int culling_pass(OFFSET_SAMPLES *s, MODEL_FIT *f, const SOLUTION *prev, const CULL_BOUNDS &bounds,
                 SOLUTION *sol);

// The automatic culling from the first solution: bounds of 2.5 standard deviations and the
// threshold thres, until both standard deviations change by no more than 10 % from one pass to
// the next (from 100 before the first). on_pass(sol, status) sees every pass, the failing one
// too; last receives the final solution and *passes their number.
template <class OnPass>
int automatic_culling(OFFSET_SAMPLES *s, MODEL_FIT *f, const SOLUTION &first, double thres,
                      OnPass on_pass, SOLUTION *last, int *passes) {
  SOLUTION prev = first, sol{};
  double sd_rng_prev = 100.0, sd_az_prev = 100.0;
  for (int pass = 1;; pass++) {
    const CULL_BOUNDS bounds{thres, 2.5 * prev.sd_rng, 2.5 * prev.sd_az};
    const int status = culling_pass(s, f, &prev, bounds, &sol);
    on_pass(sol, status);
    if (status != EST_OK) return status;
    *last = sol;
    *passes = pass;
    const bool settled = !(std::fabs(sd_rng_prev - sol.sd_rng) > 0.1 * sol.sd_rng ||
                           std::fabs(sd_az_prev - sol.sd_az) > 0.1 * sol.sd_az);
    if (settled) return EST_OK;
    sd_rng_prev = sol.sd_rng;
    sd_az_prev = sol.sd_az;
    prev = sol;
  }
}

// Errors of the coefficients of a solution fitted last into f: sqrt of the covariance's
// diagonal times the standard deviation, 0 beyond npoly.
void coefficient_errors(const MODEL_FIT *f, const SOLUTION *sol, double rng[6], double az[6]);

}  // namespace polyest
