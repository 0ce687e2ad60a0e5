// Weighted least-squares fit through the singular value decomposition, its back
// substitution and the covariance of the fitted coefficients.
#include "nr_util.h"
#include "svd.h"
#include "svd_passes.h"

namespace {

// Singular values below this fraction of the largest are treated as zero.
constexpr double kRelativeTolerance = 1.0e-12;

void zero_negligible(double w[], int ma) {
  double wmax = 0.0;
  for (int j = 1; j <= ma; j++)
    if (w[j] > wmax) wmax = w[j];
  double thresh = wmax * kRelativeTolerance;
  for (int j = 1; j <= ma; j++)
    if (w[j] < thresh) w[j] = 0.0;
}

// x = V t with t[j] = sums[j] / w[j], or 0 where w[j] is 0.
void back_substitute(double **v, const double w[], int n, double sums[], double x[]) {
  for (int j = 1; j <= n; j++) sums[j] = w[j] != 0.0 ? sums[j] / w[j] : 0.0;
  for (int j = 1; j <= n; j++) {
    double s = 0.0;
    for (int k = 1; k <= n; k++) s += v[j][k] * sums[k];
    x[j] = s;
  }
}

}  // namespace

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

void svdfit_pair(double x[], double y[], double z1[], double z2[], double sig[], int ndata,
                 double a1[], double a2[], int ma, double **ucols, double **v, double w[],
                 double *chisq1, double *chisq2, basis_fn funcs) {
  double *p = dvector(1, ma);
  double *sums = dvector(1, 2 * ma + 1);
  double *sums1 = sums, *sums2 = sums + ma;
  for (int i = 1; i <= ndata; i++) {
    funcs(p, x[i], y[i]);
    double s = 1.0 / sig[i];
    for (int j = 1; j <= ma; j++) ucols[j][i] = p[j] * s;
  }
  for (int j = 1; j <= ma; j++) {
    sums1[j] = 0.0;
    sums2[j] = 0.0;
  }
  // U^T b for both right-hand sides (b = z / sig), row by row as U is finished.
  auto ready = [ma](double *wv) { zero_negligible(wv, ma); };
  double b1[svd_passes::kBlock], b2[svd_passes::kBlock];
  auto project = [&](int k0, int count, const double block[]) {
    for (int b = 0; b < count; b++) {
      const double s = 1.0 / sig[k0 + b];
      b1[b] = z1[k0 + b] * s;
      b2[b] = z2[k0 + b] * s;
    }
    for (int j = 1; j <= ma; j++) {
      if (w[j] == 0.0) continue;
      const double *u = block + j * svd_passes::kBlock;
      double s1 = sums1[j], s2 = sums2[j];
      for (int b = 0; b < count; b++) {
        s1 += u[b] * b1[b];
        s2 += u[b] * b2[b];
      }
      sums1[j] = s1;
      sums2[j] = s2;
    }
  };
  svd_passes::decompose(svd_passes::ColumnView{ucols}, ndata, ma, w, v, ready, project);
  back_substitute(v, w, ma, sums1, a1);
  back_substitute(v, w, ma, sums2, a2);
  *chisq1 = 0.0;
  *chisq2 = 0.0;
  for (int i = 1; i <= ndata; i++) {
    funcs(p, x[i], y[i]);
    double s1 = 0.0, s2 = 0.0;
    for (int j = 1; j <= ma; j++) {
      s1 += a1[j] * p[j];
      s2 += a2[j] * p[j];
    }
    double d1 = (z1[i] - s1) / sig[i];
    double d2 = (z2[i] - s2) / sig[i];
    *chisq1 += d1 * d1;
    *chisq2 += d2 * d2;
  }
  free_dvector(sums, 1, 2 * ma + 1);
  free_dvector(p, 1, ma);
}

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
  double *r = dvector(1, ma);
  for (int i = 1; i <= ma; i++) {
    r[i] = 0.0;
    if (w[i] != 0.0) r[i] = 1.0 / (w[i] * w[i]);
  }
  for (int i = 1; i <= ma; i++) {
    for (int j = 1; j <= i; j++) {
      double s = 0.0;
      for (int k = 1; k <= ma; k++) s += (v[i][k] * v[j][k]) * r[k];
      cvm[i][j] = s;
      cvm[j][i] = s;
    }
  }
  free_dvector(r, 1, ma);
}
