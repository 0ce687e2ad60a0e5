#pragma once
// Singular value decomposition and least-squares fit, 1-based vectors and matrices
// (element 0, row 0 and column 0 exist and are never used).
//
// The program fits through svdfit_pair and svdvar. svdcmp, svdfit and svbksb are the classic
// single-fit interface of the library, over a row-stored design: they stay part of it for the
// library's other callers, the benchmarks and the tests, and share the decomposition's code.

namespace polyest {

// Factors a[1..m][1..n] into U * diag(w) * V^T; a is replaced by U, v receives V itself.
// Singular values are left in the order the diagonalisation produces them (not sorted).
void svdcmp(double **a, int m, int n, double w[], double **v);

// Basis function: writes the model's terms at (x, y) into p[1..].
typedef void (*basis_fn)(double p[], double x, double y);

// Weighted least-squares fit of z[1..ndata] with standard deviations sig[1..ndata];
// singular values below 1e-12 of the largest are set to 0.
void svdfit(double x[], double y[], double z[], double sig[], int ndata, double a[], int ma,
            double **u, double **v, double w[], double *chisq, basis_fn funcs);

// Rows of a fit, handed over a block at a time: x, y, the two data values and sig of rows
// k0 .. k0 + count - 1 in elements 0 .. count - 1.
constexpr int FIT_BLOCK_ROWS = 64;
struct FIT_ROWS {
  double x[FIT_BLOCK_ROWS];
  double y[FIT_BLOCK_ROWS];
  double z1[FIT_BLOCK_ROWS];
  double z2[FIT_BLOCK_ROWS];
  double sig[FIT_BLOCK_ROWS];
};

// Which of a block's rows the fit needs besides sig: x and y, the data z1 and z2, or both.
enum FIT_FIELDS { FIT_XY = 1, FIT_Z = 2 };

// Where a pair fit reads its rows: rows(data, k0, count, fields, out) fills out with sig and
// the fields asked for of rows k0 .. k0 + count - 1 (1-based, count at most FIT_BLOCK_ROWS),
// in increasing k0. The fit reads its data only through it, so the caller keeps its samples in
// whatever form suits it.
struct FIT_SOURCE {
  const void *data;
  void (*rows)(const void *data, int k0, int count, int fields, FIT_ROWS *out);
};

// The rows of five 1-based arrays x, y, z1, z2 and sig (z2 may be z1).
struct FIT_ARRAYS {
  const double *x, *y, *z1, *z2, *sig;
};
FIT_SOURCE fit_source(const FIT_ARRAYS *arrays);

// Two fits of the same weighted design, z1 and z2, from one decomposition: a1, chisq1 and
// a2, chisq2 are those svdfit gives for each, bit for bit, and so are w and v. The design
// matrix is held by columns, ucols[1..ma][1..ndata]; U itself is not kept. chisq1 and chisq2
// may both be null: the pass over the data that computes them is then left out. It never ends
// the run: it returns NR_OK, or NR_NO_CONVERGENCE or NR_NO_MEMORY (runtime/nr_util.h).
typedef int pair_fit_fn(const FIT_SOURCE &rows, int ndata, double a1[], double a2[], int ma,
                         double **ucols, double **v, double w[], double *chisq1, double *chisq2,
                         basis_fn funcs);
pair_fit_fn svdfit_pair;

// Least-squares solution x[1..n] of U * diag(w) * V^T x = b[1..m].
void svbksb(double **u, double w[], double **v, int m, int n, double b[], double x[]);

// Covariance cvm = V * diag(1/w^2) * V^T, zero singular values left out; needs no scratch.
void svdvar(double **v, int ma, double w[], double **cvm);

// sqrt(a*a + b*b) without destructive overflow or underflow.
double pythag(double a, double b);

}  // namespace polyest
