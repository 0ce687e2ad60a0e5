#include "grid_input.h"

#include "../binio/swap_io.h"

namespace polyest {
namespace {

// The offsets of this many bytes (and their cross-correlations, half as many) are read at a
// time, converted in place and selected from, in the grids' first rows.
constexpr size_t READ_BLOCK_BYTES = size_t{4} << 20;

}  // namespace

void read_grid_cells(FILE *fp_offs, FILE *fp_ccp, fcomplex *offs, float *cc, size_t cells) {
  fr_swap_zero_rest(offs, 4, 2 * cells, fp_offs);
  fr_swap_zero_rest(cc, 4, cells, fp_ccp);
}

void select_samples(FILE *fp_offs, FILE *fp_ccp, const GRID_ARRAYS *g, OFFSET_SAMPLES *s) {
  rewind(fp_offs);
  const size_t nr = static_cast<size_t>(s->nr);
  const size_t fit = READ_BLOCK_BYTES / (sizeof(fcomplex) * nr);
  const int block_rows = static_cast<int>(fit < 1 ? 1 : fit < size_t(s->naz) ? fit : s->naz);
  s->ndata = 0;
  for (int i0 = 0; i0 < s->naz; i0 += block_rows) {
    const int rows = s->naz - i0 < block_rows ? s->naz - i0 : block_rows;
    read_grid_cells(fp_offs, fp_ccp, g->offs[0], g->ccp[0], nr * static_cast<size_t>(rows));
    for (int r = 0; r < rows; r++) collect_row_samples(s, i0 + r, g->offs[r], g->ccp[r]);
  }
}

}  // namespace polyest
