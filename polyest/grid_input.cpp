#include "grid_input.h"

#include <climits>
#include <cstdlib>

#include "runtime/alloc.h"
#include "binio/swap_io.h"
#include "report.h"

int describe_grid(const KOLT_PAR *kp, OFFSET_SAMPLES *s) {
  s->nr = kp->offset_estimation_range_samples;
  s->naz = kp->offset_estimation_azimuth_samples;
  s->nsamp = static_cast<long long>(s->nr) * s->naz;
  print_grid_lines(stdout, grid_geometry(kp), s->nsamp);
  // Sample numbers and counts are 32-bit and the sample arrays hold nsamp + 1 elements.
  if (s->nr > 0 && s->naz > 0 && s->nsamp >= INT_MAX) {
    fprintf(stderr, "\nERROR: offset grid too large: %d x %d samples\n\n", s->nr, s->naz);
    return -1;
  }
  return 0;
}

void allocate_samples(const KOLT_PAR *kp, OFFSET_SAMPLES *s) {
  // Negative sizes become huge unsigned counts, which fail in the allocators.
  const size_t nr = static_cast<size_t>(static_cast<long long>(s->nr));
  const size_t naz = static_cast<size_t>(static_cast<long long>(s->naz));
  const size_t nvec = static_cast<size_t>(s->nsamp + 1);
  s->ccp_grid = calloc_2d<float>(nr, naz);
  s->offs_grid = calloc_2d<fcomplex>(nr, naz);
  s->coffs_grid = calloc_2d<fcomplex>(nr, naz);
  s->rng_coord = calloc_1d_of<double>(nr);
  s->az_coord = calloc_1d_of<double>(naz);
  s->x_rng = calloc_1d_of<double>(nvec);
  s->y_az = calloc_1d_of<double>(nvec);
  s->sig = calloc_1d_of<double>(nvec);
  s->cc = calloc_1d_of<double>(nvec);
  s->off_rng = calloc_1d_of<double>(nvec);
  s->off_az = calloc_1d_of<double>(nvec);
  s->ndata = 0;

  set_grid_coordinates(grid_geometry(kp), s);
}

void select_samples(FILE *fp_offs, FILE *fp_ccp, OFFSET_SAMPLES *s) {
  rewind(fp_offs);
  const size_t nr = static_cast<size_t>(s->nr);
  s->ndata = 0;
  for (int i = 0; i < s->naz; i++) {
    fr_swap(s->offs_grid[i], 4, 2 * nr, fp_offs);
    fr_swap(s->ccp_grid[i], 4, nr, fp_ccp);
    collect_row_samples(s, i);
  }
  print_selection(stdout, s->ndata, s->nsamp);
}

void free_samples(OFFSET_SAMPLES *s) {
  free_2d(s->ccp_grid);
  free_2d(s->offs_grid);
  free_2d(s->coffs_grid);
  double *vectors[] = {s->rng_coord, s->az_coord, s->x_rng, s->y_az,
                       s->sig,       s->cc,       s->off_rng, s->off_az};
  for (double *v : vectors) free_1d(v);
  *s = OFFSET_SAMPLES{};
}
