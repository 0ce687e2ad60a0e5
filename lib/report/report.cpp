#include "report.h"

#include <cstdio>

namespace polyest {
namespace {

void print_singular_values(FILE *out, const double w[], int n) {
  fputs("\nrange fit SVD singular values:     ", out);
  for (int t = 0; t < n; t++) fprintf(out, " %13.5e", w[t]);
  fputs("\nazimuth fit SVD singular values:   ", out);
  for (int t = 0; t < n; t++) fprintf(out, " %13.5e", w[t]);
  fputs("\n", out);
}

// Prints label, then values[0] with " %13.5f" and values[1 .. n - 1] with " %13.5e".
void print_coefficients(FILE *out, const char *label, const double values[], int n) {
  fputs(label, out);
  if (n >= 1) fprintf(out, " %13.5f", values[0]);
  for (int t = 1; t < n; t++) fprintf(out, " %13.5e", values[t]);
}

void print_solution(FILE *out, const SOLUTION *sol, int npoly) {
  print_coefficients(out, "range offset poly. coeff.:         ", sol->poly_rng, npoly);
  print_coefficients(out, "\nazimuth offset poly. coeff.:       ", sol->poly_az, npoly);
  fprintf(out, "\nmodel fit std. dev. (samples) range: %.4f   azimuth: %.4f\n", sol->sd_rng, sol->sd_az);
}

}  // namespace

bool print_model_line(FILE *out, int npoly) {
  const char *terms = nullptr;
  switch (npoly) {
    case 1: terms = "a0"; break;
    case 3: terms = "a0 + a1*x + a2*y"; break;
    case 4: terms = "a0 + a1*x + a2*y + a3*x*y"; break;
    case 6: terms = "a0 + a1*x + a2*y + a3*x*y + a4*x*x + a5*y*y"; break;
    default: return false;
  }
  fprintf(out, "fit parameters: %d\noffset model: %s\n", npoly, terms);
  return true;
}

void print_grid_lines(FILE *out, const GRID_GEOMETRY &g, long long nsamp) {
  fprintf(out, "offset data grid starting range: %5d   azimuth: %5d\n", g.range0, g.azimuth0);
  fprintf(out, "offset data grid samples range:  %5d   azimuth: %5d\n", g.nr, g.naz);
  fprintf(out, "offset data grid spacing range:  %5d   azimuth: %5d\n", g.range_step, g.azimuth_step);
  fprintf(out, "number of samples in the offset grid: %lld\n", nsamp);
}

void print_selection(FILE *out, int ndata, long long nsamp) {
  fprintf(out, "solution: %d offset estimates accepted out of %lld samples\n", ndata, nsamp);
}

void print_culling_end(FILE *out, int passes, int naccept, long long nsamp) {
  fprintf(out, "\ntotal number of culling iterations: %d\n", passes);
  fprintf(out, "final solution: %d offset estimates accepted out of %lld samples\n", naccept, nsamp);
  fflush(out);
}

void print_first_solution(FILE *out, const SOLUTION *sol, int npoly) {
  print_singular_values(out, sol->w, npoly);
  print_solution(out, sol, npoly);
}

void print_pass(FILE *out, const SOLUTION *sol, int status, int niter, long long nsamp, int npoly) {
  fprintf(out, "range, azimuth error thresholds: %11.5f %11.5f\n", sol->bounds.rng, sol->bounds.az);
  fprintf(out, "cross-correlation threshold: %11.5f\n", sol->bounds.cc);
  fflush(out);
  if (status != EST_OK && status != EST_TOO_FEW_AFTER_CULLING) return;
  print_singular_values(out, sol->w, npoly);
  fprintf(out, "\n*** Iterative least-squares coefficients solution: %d ***\n", niter);
  fprintf(out, "solution: %d offset estimates accepted out of %lld samples\n", sol->naccept, nsamp);
  fflush(out);
  if (status == EST_OK) print_solution(out, sol, npoly);
}

void print_final_report(FILE *out, const MODEL_FIT *f, const SOLUTION *sol) {
  double rng[6], az[6];
  coefficient_errors(f, sol, rng, az);
  print_coefficients(out, "\nfinal range offset poly. coeff.:         ", sol->poly_rng, f->npoly);
  print_coefficients(out, "\nfinal azimuth offset poly. coeff.:       ", sol->poly_az, f->npoly);
  fputs("\n\nfinal range offset poly. coeff. errors:  ", out);
  for (int t = 0; t < f->npoly; t++) fprintf(out, " %13.5e", rng[t]);
  fputs("\nfinal azimuth offset poly. coeff. errors:", out);
  for (int t = 0; t < f->npoly; t++) fprintf(out, " %13.5e", az[t]);
  fprintf(out, "\nfinal model fit std. dev. (samples) range: %.4f   azimuth: %.4f\n", sol->sd_rng,
         sol->sd_az);
}

}  // namespace polyest
