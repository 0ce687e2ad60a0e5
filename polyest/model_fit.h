#pragma once
// The range and azimuth model fits over the samples and the solution report lines.
#include "offset_samples.h"
#include "numerics/svd.h"

struct MODEL_FIT {
  int npoly;
  basis_fn funcs;
  pair_fit_fn *fit;  // the fit of both directions on one design
  // 1-based, 7 elements (6-term polynomials in elements 1 .. 6)
  double *a_rng;
  double *a_az;
  double *poly_rng;
  double *poly_az;
  double **cvm_rng;  // 7 x 7
  double **cvm_az;
  double **svd_u;    // design matrix by columns: 7 columns of nsamp + 1
  double **svd_v;    // 7 x 7
  double *svd_w;     // 7
  double chisq_rng;
  double chisq_az;
  double sd_rng;
  double sd_az;
};

// Basis function of an npoly-term model (npoly is 1, 3, 4 or 6).
basis_fn basis_for(int npoly);

void allocate_fit(long long nsamp, int npoly, pair_fit_fn *fit, MODEL_FIT *f);
void free_fit(MODEL_FIT *f);

// Frees the design matrix once the last fit is done, so that its memory serves the outputs.
void release_design(MODEL_FIT *f);

// Range fit, its singular values and covariance, then the same for azimuth.
void fit_both_directions(const OFFSET_SAMPLES *s, MODEL_FIT *f);

// poly[t] = a[t] for the fitted terms of both directions.
void copy_coefficients(MODEL_FIT *f);

// The two coefficient lines and the standard deviation line of a solution.
void print_solution(const MODEL_FIT *f);

// Prints label, then values[1] with " %13.5f" and values[2 .. n] with " %13.5e".
void print_coefficients(const char *label, const double values[], int n);

// The first solution: coefficients copied, standard deviations over all samples (divisor
// ndata), then its report.
void report_first_solution(const OFFSET_SAMPLES *s, MODEL_FIT *f);
