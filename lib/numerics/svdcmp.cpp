// Singular value decomposition of a row matrix: the phases of detail/svd_decompose.h over row
// pointers, U written back into a.
#include <cmath>

#include "detail/svd_decompose.h"
#include "svd.h"
#include "../runtime/nr_util.h"

namespace polyest {

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

void svdcmp(double **a, int m, int n, double w[], double **v) {
  auto ready = [](double *) {};
  auto store = [a, n](int k0, int count, const double block[]) {
    for (int b = 0; b < count; b++)
      for (int j = 1; j <= n; j++) a[k0 + b][j] = block[j * svd_detail::kBlock + b];
  };
  const int status = svd_detail::decompose(svd_detail::RowView{a}, m, n, w, v, ready, store);
  if (status != NR_OK) nrerror(nr_message(status));
}

}  // namespace polyest
