#pragma once
// The culled offsets of an estimation: the grid in the input's form (big-endian fcomplex, zero
// except at the surviving samples, which hold their offsets) and the text list. Both return 0,
// or -1 after a write error, or CULLED_OUTPUT_NO_MEMORY; neither prints.
#include <cstdio>

#include "samples.h"

namespace polyest {

constexpr int CULLED_OUTPUT_NO_MEMORY = -2;

// The grid is built block_rows rows at a time in rows (block_rows x nr cells, zero on entry,
// left zero), each block converted and written in one call, so no grid of the culled offsets
// is ever filled. The stream is flushed, not closed.
int write_culled_grid(FILE *fp, const OFFSET_SAMPLES *s, fcomplex *rows, int block_rows);

// Rows of an nr x naz grid in a block of about GRID_BLOCK_BYTES (at least one, at most naz).
constexpr size_t GRID_BLOCK_BYTES = size_t{1} << 20;
int culled_grid_block_rows(int nr, int naz);

// One line per surviving sample, "%8.0f %8.0f %10.3f %10.3f %10.3f %10.3f %10.3f\n" as printf
// writes it: the cell's x and y, both offsets, both models (poly_rng, poly_az) there and the
// cross-correlation. The stream is closed here.
int write_culled_list(FILE *fp, const OFFSET_SAMPLES *s, const double poly_rng[6],
                      const double poly_az[6]);

}  // namespace polyest
