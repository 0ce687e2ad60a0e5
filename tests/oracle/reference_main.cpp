// The program with both directions fitted by the reference decomposition, one textbook fit per
// direction on a row copy of the column design: what the whole-run comparisons measure the
// program against.
#include <cstddef>
#include <vector>

#include "oracle/svd_oracle.h"
#include "polyest_run.h"

using namespace polyest;

namespace {

int reference_pair_fit(const FIT_SOURCE &source, int ndata, double a1[], double a2[], int ma,
                       double **, double **v, double w[], double *, double *, basis_fn funcs) {
  // The rows as plain 1-based arrays, for the textbook fit.
  std::vector<double> x(ndata + 1), y(x), z1(x), z2(x), sig(x);
  FIT_ROWS r{};
  for (int k0 = 1; k0 <= ndata; k0 += FIT_BLOCK_ROWS) {
    const int count = ndata - k0 + 1 < FIT_BLOCK_ROWS ? ndata - k0 + 1 : FIT_BLOCK_ROWS;
    source.rows(source.data, k0, count, FIT_XY | FIT_Z, &r);
    for (int b = 0; b < count; b++) {
      x[k0 + b] = r.x[b], y[k0 + b] = r.y[b], sig[k0 + b] = r.sig[b];
      z1[k0 + b] = r.z1[b], z2[k0 + b] = r.z2[b];
    }
  }
  std::vector<double> block((static_cast<size_t>(ndata) + 1) * (ma + 1));
  std::vector<double *> rows(ndata + 1);
  for (int i = 0; i <= ndata; i++) rows[i] = block.data() + static_cast<size_t>(i) * (ma + 1);
  double chisq;  // the program asks for none
  oracle_svdfit(x.data(), y.data(), z1.data(), sig.data(), ndata, a1, ma, rows.data(), v, w,
                &chisq, funcs);
  oracle_svdfit(x.data(), y.data(), z2.data(), sig.data(), ndata, a2, ma, rows.data(), v, w,
                &chisq, funcs);
  return 0;
}

}  // namespace

int main(int argc, char *argv[]) { return polyest_run_with(argc, argv, reference_pair_fit); }
