#include "fit_storage.h"

#include <cstdlib>

#include "runtime/alloc.h"

void allocate_fit(long long nsamp, int npoly, pair_fit_fn *fit, MODEL_FIT *f) {
  *f = MODEL_FIT{};
  f->npoly = npoly;
  f->funcs = basis_for(npoly);
  f->fit = fit;
  f->a_rng = calloc_1d_of<double>(MODEL_FIT_DIM);
  f->a_az = calloc_1d_of<double>(MODEL_FIT_DIM);
  f->cvm_rng = calloc_2d<double>(MODEL_FIT_DIM, MODEL_FIT_DIM);
  f->cvm_az = calloc_2d<double>(MODEL_FIT_DIM, MODEL_FIT_DIM);
  f->svd_u = calloc_2d<double>(design_column_stride(nsamp), MODEL_FIT_DIM);
  f->svd_v = calloc_2d<double>(MODEL_FIT_DIM, MODEL_FIT_DIM);
  f->svd_w = calloc_1d_of<double>(MODEL_FIT_DIM);
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
