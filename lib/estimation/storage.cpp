#include "storage.h"

namespace polyest {
namespace {

// Takes one zero-filled vector into *dest; false once one is refused.
template <class T>
bool take_1d(T **dest, size_t count, ALLOC_ERROR *err) {
  *dest = calloc_1d_of<T>(count, err);
  return *dest != nullptr;
}

template <class T>
bool take_2d(T ***dest, size_t ncols, size_t nlines, ALLOC_ERROR *err) {
  *dest = calloc_2d<T>(ncols, nlines, err);
  return *dest != nullptr;
}

// A grid's count as a size: a negative one becomes a count beyond any memory.
size_t count_of(long long n) { return static_cast<size_t>(n); }

}  // namespace

int allocate_grid_arrays(int nr, int naz, GRID_ARRAYS *g, ALLOC_ERROR *err) {
  *g = GRID_ARRAYS{};
  const size_t ncols = count_of(nr), nlines = count_of(naz);
  if (take_2d(&g->ccp, ncols, nlines, err) && take_2d(&g->offs, ncols, nlines, err) &&
      take_2d(&g->coffs, ncols, nlines, err))
    return 0;
  free_grid_arrays(g);
  return -1;
}

void free_grid_arrays(GRID_ARRAYS *g) {
  free_2d(g->ccp);
  free_2d(g->offs);
  free_2d(g->coffs);
  *g = GRID_ARRAYS{};
}

int allocate_samples(const GRID_GEOMETRY &g, OFFSET_SAMPLES *s, ALLOC_ERROR *err) {
  *s = OFFSET_SAMPLES{};
  s->nr = g.nr;
  s->naz = g.naz;
  s->nsamp = static_cast<long long>(g.nr) * g.naz;
  // Sample k is in element k (1-based), so each vector holds one more than the grid's cells.
  const size_t nvec = count_of(s->nsamp + 1);
  const bool ok = take_1d(&s->rng_coord, count_of(g.nr), err) &&
                  take_1d(&s->az_coord, count_of(g.naz), err) &&
                  take_1d(&s->column, nvec, err) && take_1d(&s->row, nvec, err) &&
                  take_1d(&s->off_rng, nvec, err) && take_1d(&s->off_az, nvec, err) &&
                  take_1d(&s->cc, nvec, err) && take_1d(&s->culled, nvec, err) &&
                  take_1d(&s->sample_cells, sample_cell_words(s->nsamp), err);
  if (!ok) {
    free_samples(s);
    return -1;
  }
  set_grid_coordinates(g, s);
  return 0;
}

void free_samples(OFFSET_SAMPLES *s) {
  void *vectors[] = {s->rng_coord, s->az_coord, s->column, s->row,         s->off_rng,
                     s->off_az,    s->cc,       s->culled, s->sample_cells};
  for (void *v : vectors) free_1d(v);
  *s = OFFSET_SAMPLES{};
}

int allocate_fit(long long nsamp, int npoly, pair_fit_fn *fit, MODEL_FIT *f, ALLOC_ERROR *err) {
  *f = MODEL_FIT{};
  f->npoly = npoly;
  f->funcs = basis_for(npoly);
  f->fit = fit;
  const bool ok = take_1d(&f->a_rng, MODEL_FIT_DIM, err) && take_1d(&f->a_az, MODEL_FIT_DIM, err) &&
                  take_2d(&f->cvm_rng, MODEL_FIT_DIM, MODEL_FIT_DIM, err) &&
                  take_2d(&f->cvm_az, MODEL_FIT_DIM, MODEL_FIT_DIM, err) &&
                  take_2d(&f->svd_u, design_column_stride(nsamp), MODEL_FIT_DIM, err) &&
                  take_2d(&f->svd_v, MODEL_FIT_DIM, MODEL_FIT_DIM, err) &&
                  take_1d(&f->svd_w, MODEL_FIT_DIM, err);
  if (!ok) {
    free_fit(f);
    return -1;
  }
  return 0;
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

}  // namespace polyest
