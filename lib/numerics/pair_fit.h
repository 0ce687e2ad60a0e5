#pragma once
// The pair fit (svdfit_pair in svd.h) is built once per instruction set over one body
// (detail/pair_fit_body.h): isa_generic runs on every machine (two rows per operation, SSE2 on
// x86-64), isa_avx on x86-64 where the processor and the system support AVX (four rows per
// operation). Both give the same bits; svdfit_pair picks one at run time.
#include "svd.h"

namespace polyest {

namespace isa_generic {
pair_fit_fn svdfit_pair;
}

#ifdef POLYEST_AVX_PATH
namespace isa_avx {
pair_fit_fn svdfit_pair;
}

// True when the processor has AVX and the system saves its registers.
inline bool avx_usable() { return __builtin_cpu_supports("avx"); }
#endif

// Shared steps of the fits: singular values below 1e-12 of the largest set to 0, and
// x = V t with t[j] = sums[j] / w[j], or 0 where w[j] is 0.
void zero_negligible(double w[], int ma);
void back_substitute(double **v, const double w[], int n, double sums[], double x[]);

}  // namespace polyest
