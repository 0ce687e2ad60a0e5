// Singular value decomposition of a row matrix: the passes of svd_passes.h over row
// pointers, U written back into a.
#include "svd.h"
#include "svd_passes.h"

void svdcmp(double **a, int m, int n, double w[], double **v) {
  auto ready = [](double *) {};
  auto store = [a, n](int k, const double row[]) {
    for (int j = 1; j <= n; j++) a[k][j] = row[j];
  };
  svd_passes::decompose(svd_passes::RowView{a}, m, n, w, v, ready, store);
}
