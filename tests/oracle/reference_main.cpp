// The program with both directions fitted by the reference decomposition, one textbook fit per
// direction on a row copy of the column design: what the whole-run comparisons measure the
// program against.
#include <cstddef>
#include <vector>

#include "oracle/svd_oracle.h"
#include "polyest_run.h"

namespace {

int reference_pair_fit(double x[], double y[], double z1[], double z2[], double sig[], int ndata,
                       double a1[], double a2[], int ma, double **, double **v, double w[],
                       double *, double *, basis_fn funcs) {
  std::vector<double> block((static_cast<size_t>(ndata) + 1) * (ma + 1));
  std::vector<double *> rows(ndata + 1);
  for (int i = 0; i <= ndata; i++) rows[i] = block.data() + static_cast<size_t>(i) * (ma + 1);
  double chisq;  // the program asks for none
  oracle_svdfit(x, y, z1, sig, ndata, a1, ma, rows.data(), v, w, &chisq, funcs);
  oracle_svdfit(x, y, z2, sig, ndata, a2, ma, rows.data(), v, w, &chisq, funcs);
  return 0;
}

}  // namespace

int main(int argc, char *argv[]) { return polyest_run_with(argc, argv, reference_pair_fit); }
