#include "model_fit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "runtime/alloc.h"
#include "numerics/offset_poly.h"

namespace {

constexpr size_t FIT_DIM = 7;  // six terms, used 1-based

void print_singular_values(const char *label, const double w[], int n) {
  fputs(label, stdout);
  for (int t = 1; t <= n; t++) printf(" %13.5e", w[t]);
}

// Elements per stored column of the design matrix: nsamp + 1 rounded up to whole cache lines
// plus 13 lines, so that the columns, read side by side, never sit a power of two apart
// (grids of 2^k cells would otherwise map every column onto the same cache sets).
size_t column_stride(long long rows) {
  return (static_cast<size_t>(rows) + 7) / 8 * 8 + 8 * 13;
}

}  // namespace

basis_fn basis_for(int npoly) {
  switch (npoly) {
    case 1: return fpoly1;
    case 3: return fpoly3;
    case 4: return fpoly4;
    default: return fpoly6;
  }
}

void allocate_fit(long long nsamp, int npoly, pair_fit_fn *fit, MODEL_FIT *f) {
  *f = MODEL_FIT{};
  f->npoly = npoly;
  f->fit = fit;
  f->funcs = basis_for(npoly);
  f->a_rng = calloc_1d_of<double>(FIT_DIM);
  f->a_az = calloc_1d_of<double>(FIT_DIM);
  f->poly_rng = calloc_1d_of<double>(FIT_DIM);
  f->poly_az = calloc_1d_of<double>(FIT_DIM);
  f->cvm_rng = calloc_2d<double>(FIT_DIM, FIT_DIM);
  f->cvm_az = calloc_2d<double>(FIT_DIM, FIT_DIM);
  f->svd_u = calloc_2d<double>(column_stride(nsamp + 1), FIT_DIM);
  f->svd_v = calloc_2d<double>(FIT_DIM, FIT_DIM);
  f->svd_w = calloc_1d_of<double>(FIT_DIM);
}

void free_fit(MODEL_FIT *f) {
  free(f->a_rng);
  free(f->a_az);
  free(f->poly_rng);
  free(f->poly_az);
  free_2d(f->cvm_rng);
  free_2d(f->cvm_az);
  free_2d(f->svd_u);
  free_2d(f->svd_v);
  free(f->svd_w);
  *f = MODEL_FIT{};
}

void release_design(MODEL_FIT *f) {
  free_2d(f->svd_u);
  f->svd_u = nullptr;
}

// Both directions share the weighted design matrix, so one decomposition serves both fits;
// its singular values and covariance are reported for each. Nothing reads the chi-square of
// the fits, so its pass over the samples is left out (chisq_rng and chisq_az stay 0).
void fit_both_directions(const OFFSET_SAMPLES *s, MODEL_FIT *f) {
  f->fit(s->x_rng, s->y_az, s->off_rng, s->off_az, s->sig, s->ndata, f->a_rng, f->a_az,
           f->npoly, f->svd_u, f->svd_v, f->svd_w, nullptr, nullptr, f->funcs);
  print_singular_values("\nrange fit SVD singular values:     ", f->svd_w, f->npoly);
  svdvar(f->svd_v, f->npoly, f->svd_w, f->cvm_rng);
  print_singular_values("\nazimuth fit SVD singular values:   ", f->svd_w, f->npoly);
  fputs("\n", stdout);
  svdvar(f->svd_v, f->npoly, f->svd_w, f->cvm_az);
}

void copy_coefficients(MODEL_FIT *f) {
  for (int t = 1; t <= f->npoly; t++) {
    f->poly_rng[t] = f->a_rng[t];
    f->poly_az[t] = f->a_az[t];
  }
}

void print_coefficients(const char *label, const double values[], int n) {
  fputs(label, stdout);
  if (n >= 1) printf(" %13.5f", values[1]);
  for (int t = 2; t <= n; t++) printf(" %13.5e", values[t]);
}

void print_solution(const MODEL_FIT *f) {
  print_coefficients("range offset poly. coeff.:         ", f->poly_rng, f->npoly);
  print_coefficients("\nazimuth offset poly. coeff.:       ", f->poly_az, f->npoly);
  printf("\nmodel fit std. dev. (samples) range: %.4f   azimuth: %.4f\n", f->sd_rng, f->sd_az);
}

void report_first_solution(const OFFSET_SAMPLES *s, MODEL_FIT *f) {
  copy_coefficients(f);
  double sum_rng = 0.0, sum_az = 0.0;
  for (int k = 1; k <= s->ndata; k++) {
    const double e_r = r_poly1(f->poly_rng + 1, s->x_rng[k], s->y_az[k]) - s->off_rng[k];
    const double e_a = az_poly1(f->poly_az + 1, s->x_rng[k], s->y_az[k]) - s->off_az[k];
    sum_rng += e_r * e_r;
    sum_az += e_a * e_a;
  }
  if (s->ndata > f->npoly) {
    f->sd_rng = sqrt(sum_rng / s->ndata);
    f->sd_az = sqrt(sum_az / s->ndata);
  } else {
    f->sd_rng = 0.0;
    f->sd_az = 0.0;
  }
  print_solution(f);
}
