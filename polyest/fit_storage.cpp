#include "fit_storage.h"

#include <cstdlib>

#include "runtime/alloc.h"

namespace {

constexpr size_t FIT_DIM = 7;  // six terms, used 1-based

// Elements per stored column of the design matrix: nsamp + 1 rounded up to whole cache lines
// plus 13 lines, so that the columns, read side by side, never sit a power of two apart
// (grids of 2^k cells would otherwise map every column onto the same cache sets).
size_t column_stride(long long rows) {
  return (static_cast<size_t>(rows) + 7) / 8 * 8 + 8 * 13;
}

}  // namespace

size_t design_column_stride(long long nsamp) { return column_stride(nsamp + 1); }

void allocate_fit(long long nsamp, int npoly, pair_fit_fn *fit, MODEL_FIT *f) {
  *f = MODEL_FIT{};
  f->npoly = npoly;
  f->funcs = basis_for(npoly);
  f->fit = fit;
  f->a_rng = calloc_1d_of<double>(FIT_DIM);
  f->a_az = calloc_1d_of<double>(FIT_DIM);
  f->cvm_rng = calloc_2d<double>(FIT_DIM, FIT_DIM);
  f->cvm_az = calloc_2d<double>(FIT_DIM, FIT_DIM);
  f->svd_u = calloc_2d<double>(design_column_stride(nsamp), FIT_DIM);
  f->svd_v = calloc_2d<double>(FIT_DIM, FIT_DIM);
  f->svd_w = calloc_1d_of<double>(FIT_DIM);
}

void free_fit(MODEL_FIT *f) {
  free_1d(f->a_rng);
  free_1d(f->a_az);
  free_2d(f->cvm_rng);
  free_2d(f->cvm_az);
  free_2d(f->svd_u);
  free_2d(f->svd_v);
  free_1d(f->svd_w);
  *f = MODEL_FIT{};
}

void release_design(MODEL_FIT *f) {
  free_2d(f->svd_u);
  f->svd_u = nullptr;
}
