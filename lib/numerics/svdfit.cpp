// Weighted least-squares fit through the singular value decomposition, its back
// substitution and the covariance of the fitted coefficients.
#include "../runtime/nr_util.h"
#include "pair_fit.h"
#include "svd.h"

namespace polyest {

namespace {

// Singular values below this fraction of the largest are treated as zero.
constexpr double kRelativeTolerance = 1.0e-12;

}  // namespace

void zero_negligible(double w[], int ma) {
  double wmax = 0.0;
  for (int j = 1; j <= ma; j++)
    if (w[j] > wmax) wmax = w[j];
  double thresh = wmax * kRelativeTolerance;
  for (int j = 1; j <= ma; j++)
    if (w[j] < thresh) w[j] = 0.0;
}

void back_substitute(double **v, const double w[], int n, double sums[], double x[]) {
  for (int j = 1; j <= n; j++) sums[j] = w[j] != 0.0 ? sums[j] / w[j] : 0.0;
  for (int j = 1; j <= n; j++) {
    double s = 0.0;
    for (int k = 1; k <= n; k++) s += v[j][k] * sums[k];
    x[j] = s;
  }
}

void svdfit(double x[], double y[], double z[], double sig[], int ndata, double a[], int ma,
            double **u, double **v, double w[], double *chisq, basis_fn funcs) {
  double *b = dvector(1, ndata);
  double *p = dvector(1, ma);
  for (int i = 1; i <= ndata; i++) {
    funcs(p, x[i], y[i]);
    double s = 1.0 / sig[i];
    for (int j = 1; j <= ma; j++) u[i][j] = p[j] * s;
    b[i] = z[i] * s;
  }
  svdcmp(u, ndata, ma, w, v);
  zero_negligible(w, ma);
  svbksb(u, w, v, ndata, ma, b, a);
  *chisq = 0.0;
  for (int i = 1; i <= ndata; i++) {
    funcs(p, x[i], y[i]);
    double s = 0.0;
    for (int j = 1; j <= ma; j++) s += a[j] * p[j];
    double d = (z[i] - s) / sig[i];
    *chisq += d * d;
  }
  free_dvector(p, 1, ma);
  free_dvector(b, 1, ndata);
}

int svdfit_pair(const FIT_SOURCE &rows, int ndata, double a1[], double a2[], int ma,
                double **ucols, double **v, double w[], double *chisq1, double *chisq2,
                basis_fn funcs) {
  auto fit = isa_generic::svdfit_pair;
#ifdef POLYEST_AVX_PATH
  if (avx_usable()) fit = isa_avx::svdfit_pair;
#endif
  return fit(rows, ndata, a1, a2, ma, ucols, v, w, chisq1, chisq2, funcs);
}

namespace {

void array_rows(const void *data, int k0, int count, int, FIT_ROWS *out) {
  const auto *a = static_cast<const FIT_ARRAYS *>(data);
  for (int b = 0; b < count; b++) {
    out->x[b] = a->x[k0 + b];
    out->y[b] = a->y[k0 + b];
    out->z1[b] = a->z1[k0 + b];
    out->z2[b] = a->z2[k0 + b];
    out->sig[b] = a->sig[k0 + b];
  }
}

}  // namespace

FIT_SOURCE fit_source(const FIT_ARRAYS *arrays) { return FIT_SOURCE{arrays, array_rows}; }

void svbksb(double **u, double w[], double **v, int m, int n, double b[], double x[]) {
  double *t = dvector(1, n);
  for (int j = 1; j <= n; j++) {
    double s = 0.0;
    if (w[j] != 0.0) {
      for (int i = 1; i <= m; i++) s += u[i][j] * b[i];
      s /= w[j];
    }
    t[j] = s;
  }
  for (int j = 1; j <= n; j++) {
    double s = 0.0;
    for (int k = 1; k <= n; k++) s += v[j][k] * t[k];
    x[j] = s;
  }
  free_dvector(t, 1, n);
}

void svdvar(double **v, int ma, double w[], double **cvm) {
  for (int i = 1; i <= ma; i++) {
    for (int j = 1; j <= i; j++) {
      double s = 0.0;
      for (int k = 1; k <= ma; k++) {
        const double r = w[k] != 0.0 ? 1.0 / (w[k] * w[k]) : 0.0;
        s += (v[i][k] * v[j][k]) * r;
      }
      cvm[i][j] = s;
      cvm[j][i] = s;
    }
  }
}

}  // namespace polyest
