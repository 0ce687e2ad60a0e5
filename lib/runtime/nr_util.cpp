#include "nr_util.h"

#include <cstdio>
#include <cstdlib>

namespace polyest {

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

const char *nr_message(int status) {
  switch (status) {
    case NR_OK: return "";
    case NR_NO_CONVERGENCE: return "no convergence in 30 svdcmp iterations";
    default: return "allocation failure in dvector()";
  }
}

}  // namespace polyest
