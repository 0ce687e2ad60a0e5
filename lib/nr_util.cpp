#include "nr_util.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

double pythag(double a, double b) {
  double p = fabs(a), q = fabs(b);
  if (p > q) {
    double r = q / p;
    return p * sqrt(1.0 + r * r);
  }
  if (q == 0.0) return 0.0;
  double r = p / q;
  return q * sqrt(1.0 + r * r);
}

// The block holds elements 0 .. nh, so indexes nl .. nh are valid for any nl >= 0.
double *dvector(int nl, int nh) {
  (void)nl;
  double *v = static_cast<double *>(malloc((static_cast<size_t>(nh) + 1) * sizeof(double)));
  if (v == nullptr) nrerror("allocation failure in dvector()");
  return v;
}

void free_dvector(double *v, int nl, int nh) {
  (void)nl;
  (void)nh;
  free(v);
}

void nrerror(const char *text) {
  fputs("\nERROR: run-time error:\n", stderr);
  fprintf(stdout, "%s\n", text);
  exit(-1);
}
