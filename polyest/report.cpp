#include "report.h"

#include <cstdio>

namespace {

void print_singular_values(const double w[], int n) {
  fputs("\nrange fit SVD singular values:     ", stdout);
  for (int t = 0; t < n; t++) printf(" %13.5e", w[t]);
  fputs("\nazimuth fit SVD singular values:   ", stdout);
  for (int t = 0; t < n; t++) printf(" %13.5e", w[t]);
  fputs("\n", stdout);
}

// Prints label, then values[0] with " %13.5f" and values[1 .. n - 1] with " %13.5e".
void print_coefficients(const char *label, const double values[], int n) {
  fputs(label, stdout);
  if (n >= 1) printf(" %13.5f", values[0]);
  for (int t = 1; t < n; t++) printf(" %13.5e", values[t]);
}

void print_solution(const SOLUTION *sol, int npoly) {
  print_coefficients("range offset poly. coeff.:         ", sol->poly_rng, npoly);
  print_coefficients("\nazimuth offset poly. coeff.:       ", sol->poly_az, npoly);
  printf("\nmodel fit std. dev. (samples) range: %.4f   azimuth: %.4f\n", sol->sd_rng, sol->sd_az);
}

}  // namespace

void print_first_solution(const SOLUTION *sol, int npoly) {
  print_singular_values(sol->w, npoly);
  print_solution(sol, npoly);
}

void print_pass(const SOLUTION *sol, int status, int niter, long long nsamp, int npoly) {
  printf("range, azimuth error thresholds: %11.5f %11.5f\n", sol->bounds.rng, sol->bounds.az);
  printf("cross-correlation threshold: %11.5f\n", sol->bounds.cc);
  fflush(stdout);
  if (status != EST_OK && status != EST_TOO_FEW_AFTER_CULLING) return;
  print_singular_values(sol->w, npoly);
  printf("\n*** Iterative least-squares coefficients solution: %d ***\n", niter);
  printf("solution: %d offset estimates accepted out of %lld samples\n", sol->naccept, nsamp);
  fflush(stdout);
  if (status == EST_OK) print_solution(sol, npoly);
}

void print_final_report(const MODEL_FIT *f, const SOLUTION *sol) {
  double rng[6], az[6];
  coefficient_errors(f, sol, rng, az);
  print_coefficients("\nfinal range offset poly. coeff.:         ", sol->poly_rng, f->npoly);
  print_coefficients("\nfinal azimuth offset poly. coeff.:       ", sol->poly_az, f->npoly);
  fputs("\n\nfinal range offset poly. coeff. errors:  ", stdout);
  for (int t = 0; t < f->npoly; t++) printf(" %13.5e", rng[t]);
  fputs("\nfinal azimuth offset poly. coeff. errors:", stdout);
  for (int t = 0; t < f->npoly; t++) printf(" %13.5e", az[t]);
  printf("\nfinal model fit std. dev. (samples) range: %.4f   azimuth: %.4f\n", sol->sd_rng,
         sol->sd_az);
}

void print_estimation_error(int status) {
  switch (status) {
    case EST_TOO_FEW_SAMPLES:
      fprintf(stderr, "ERROR: %s\n", estimation_message(status));
      break;
    case EST_TOO_FEW_AFTER_CULLING:
      fprintf(stderr, "\nERROR: %s\n", estimation_message(status));
      break;
    default:
      fputs("\nERROR: run-time error:\n", stderr);
      printf("%s\n", estimation_message(status));
      break;
  }
}
