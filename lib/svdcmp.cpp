// Singular value decomposition of a row matrix: the passes of svd_passes.h over row
// pointers, U written back into a.
#include "svd.h"
#include "svd_passes.h"

void svdcmp(double **a, int m, int n, double w[], double **v) {
  auto ready = [](double *) {};
  auto store = [a, n](int k0, int count, const double block[]) {
    for (int b = 0; b < count; b++)
      for (int j = 1; j <= n; j++) a[k0 + b][j] = block[j * svd_passes::kBlock + b];
  };
  svd_passes::decompose(svd_passes::RowView{a}, m, n, w, v, ready, store);
}
