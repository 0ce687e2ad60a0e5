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

void allocate_samples(const KOLT_PAR *kp, OFFSET_SAMPLES *s, GRID_ARRAYS *g) {
  // Negative sizes become huge unsigned counts, which fail in the allocators.
  const size_t nr = static_cast<size_t>(static_cast<long long>(s->nr));
  const size_t naz = static_cast<size_t>(static_cast<long long>(s->naz));
  const size_t nvec = static_cast<size_t>(s->nsamp + 1);
  g->ccp = calloc_2d<float>(nr, naz);
  g->offs = calloc_2d<fcomplex>(nr, naz);
  g->coffs = calloc_2d<fcomplex>(nr, naz);
  s->rng_coord = calloc_1d_of<double>(nr);
  s->az_coord = calloc_1d_of<double>(naz);
  s->column = calloc_1d_of<int>(nvec);
  s->row = calloc_1d_of<int>(nvec);
  s->off_rng = calloc_1d_of<float>(nvec);
  s->off_az = calloc_1d_of<float>(nvec);
  s->cc = calloc_1d_of<float>(nvec);
  s->culled = calloc_1d_of<uint8_t>(nvec);
  s->sample_cells = calloc_1d_of<uint64_t>(sample_cell_words(s->nsamp));
  s->ndata = 0;

  set_grid_coordinates(grid_geometry(kp), s);
}

namespace {

// The offsets of this many bytes (and their cross-correlations, half as many) are read at a
// time, converted in place and selected from, in the grids' first rows.
constexpr size_t READ_BLOCK_BYTES = size_t{4} << 20;

}  // namespace

void select_samples(FILE *fp_offs, FILE *fp_ccp, const GRID_ARRAYS *g, OFFSET_SAMPLES *s) {
  rewind(fp_offs);
  const size_t nr = static_cast<size_t>(s->nr);
  const size_t fit = READ_BLOCK_BYTES / (sizeof(fcomplex) * nr);
  const int block_rows = static_cast<int>(fit < 1 ? 1 : fit < size_t(s->naz) ? fit : s->naz);
  s->ndata = 0;
  for (int i0 = 0; i0 < s->naz; i0 += block_rows) {
    const int rows = s->naz - i0 < block_rows ? s->naz - i0 : block_rows;
    const size_t cells = nr * static_cast<size_t>(rows);
    fr_swap_zero_rest(g->offs[0], 4, 2 * cells, fp_offs);
    fr_swap_zero_rest(g->ccp[0], 4, cells, fp_ccp);
    for (int r = 0; r < rows; r++) collect_row_samples(s, i0 + r, g->offs[r], g->ccp[r]);
  }
  print_selection(stdout, s->ndata, s->nsamp);
}

void free_samples(OFFSET_SAMPLES *s, GRID_ARRAYS *g) {
  free_2d(g->ccp);
  free_2d(g->offs);
  free_2d(g->coffs);
  void *vectors[] = {s->rng_coord, s->az_coord, s->column, s->row,         s->off_rng,
                     s->off_az,    s->cc,       s->culled, s->sample_cells};
  for (void *v : vectors) free_1d(v);
  *s = OFFSET_SAMPLES{};
  *g = GRID_ARRAYS{};
}
