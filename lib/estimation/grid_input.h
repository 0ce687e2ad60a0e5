#pragma once
// The reading of the two grid files: the offsets (big-endian fcomplex) and the
// cross-correlations (big-endian float), naz rows of nr cells each. A file shorter than its
// grid reads as zeros from where it ends (its cells are no samples); nothing is printed.
#include <cstddef>
#include <cstdio>

#include "../binio/fcomplex.h"
#include "samples.h"
#include "storage.h"

namespace polyest {

// Reads cells cells of each file, from where it stands, into offs and cc in host order.
void read_grid_cells(FILE *fp_offs, FILE *fp_ccp, fcomplex *offs, float *cc, size_t cells);

// Reads both files whole (the offsets file from its start, the cross-correlations from where
// it stands) through the first rows of g's offs and ccp, a block of rows at a time, and
// collects their samples into s (from allocate_samples: ndata starts again from 0).
void select_samples(FILE *fp_offs, FILE *fp_ccp, const GRID_ARRAYS *g, OFFSET_SAMPLES *s);

}  // namespace polyest
