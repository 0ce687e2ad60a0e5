#pragma once
// The culled offsets of an estimation: the grid in the input's form (big-endian fcomplex, zero
// except at the surviving samples, which hold their offsets) and the text list. Both return 0,
// or -1 after a write error, or CULLED_OUTPUT_NO_MEMORY; neither prints.
#include <cstdio>

#include "estimation/samples.h"

constexpr int CULLED_OUTPUT_NO_MEMORY = -2;

// Each row is built in row_buffer (nr cells, zero on entry, left zero), converted and written,
// so no grid of the culled offsets is ever filled. The stream is flushed, not closed.
int write_culled_grid(FILE *fp, const OFFSET_SAMPLES *s, fcomplex *row_buffer);

// One line per surviving sample, "%8.0f %8.0f %10.3f %10.3f %10.3f %10.3f %10.3f\n" as printf
// writes it: the cell's x and y, both offsets, both models (poly_rng, poly_az) there and the
// cross-correlation. The stream is closed here.
int write_culled_list(FILE *fp, const OFFSET_SAMPLES *s, const double poly_rng[6],
                      const double poly_az[6]);
