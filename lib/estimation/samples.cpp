#include "samples.h"

namespace polyest {

void set_grid_coordinates(const GRID_GEOMETRY &g, OFFSET_SAMPLES *s) {
  for (int j = 0; j < s->nr; j++) s->rng_coord[j] = grid_range(g, j);
  for (int i = 0; i < s->naz; i++) s->az_coord[i] = grid_azimuth(g, i);
}

void collect_row_samples(OFFSET_SAMPLES *s, int i, const fcomplex *row, const float *cc_row) {
  const long long row_start = static_cast<long long>(i) * s->nr;
  int k = s->ndata;
  for (int j = 0; j < s->nr; j++) {
    if (!is_sample_cell(row[j], cc_row[j])) continue;
    k++;
    s->column[k] = j;
    s->row[k] = i;
    s->off_rng[k] = row[j].re;
    s->off_az[k] = row[j].im;
    s->cc[k] = cc_row[j];
    s->culled[k] = 0;
    const long long cell = row_start + j;
    s->sample_cells[cell / 64] |= uint64_t{1} << (cell % 64);
  }
  s->ndata = k;
}

}  // namespace polyest
