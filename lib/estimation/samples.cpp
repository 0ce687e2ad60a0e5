#include "estimation/samples.h"

void set_grid_coordinates(const GRID_GEOMETRY &g, OFFSET_SAMPLES *s) {
  for (int j = 0; j < s->nr; j++) s->rng_coord[j] = grid_range(g, j);
  for (int i = 0; i < s->naz; i++) s->az_coord[i] = grid_azimuth(g, i);
}

void collect_row_samples(OFFSET_SAMPLES *s, int i) {
  const fcomplex *row = s->offs_grid[i];
  const float *ccp_row = s->ccp_grid[i];
  int k = s->ndata;
  for (int j = 0; j < s->nr; j++) {
    if (!is_sample_cell(row[j], ccp_row[j])) continue;
    k++;
    s->x_rng[k] = s->rng_coord[j];
    s->y_az[k] = s->az_coord[i];
    s->off_rng[k] = row[j].re;
    s->off_az[k] = row[j].im;
    s->cc[k] = ccp_row[j];
    s->sig[k] = 1.0 / s->cc[k];
  }
  s->ndata = k;
}
