#pragma once
// The pair fit (svdfit_pair in svd.h) is built once per instruction set: pair_fit_sse2 runs on
// every machine (two rows per operation, SSE2 on x86-64), pair_fit_avx on x86-64 where the
// processor and the system support AVX (four rows per operation). Both give the same bits;
// svdfit_pair picks one at run time.
#include "svd.h"

namespace pair_fit_sse2 {
void svdfit_pair(double x[], double y[], double z1[], double z2[], double sig[], int ndata,
                 double a1[], double a2[], int ma, double **ucols, double **v, double w[],
                 double *chisq1, double *chisq2, basis_fn funcs);
}

#ifdef POLYEST_AVX_PATH
namespace pair_fit_avx {
void svdfit_pair(double x[], double y[], double z1[], double z2[], double sig[], int ndata,
                 double a1[], double a2[], int ma, double **ucols, double **v, double w[],
                 double *chisq1, double *chisq2, basis_fn funcs);
}

// True when the processor has AVX and the system saves its registers.
inline bool pair_fit_avx_usable() { return __builtin_cpu_supports("avx"); }
#endif

// Shared steps of the fits: singular values below 1e-12 of the largest set to 0, and
// x = V t with t[j] = sums[j] / w[j], or 0 where w[j] is 0.
void zero_negligible(double w[], int ma);
void back_substitute(double **v, const double w[], int n, double sums[], double x[]);
