#pragma once
// The program's offsets grid: its geometry lines, its arrays (the run ends when memory cannot be
// had) and the samples read from the two grid files.
#include <cstdio>

#include "estimation/samples.h"
#include "params/KOLT_io.h"

// The grids of the run, allocated at their full size as they always have been, so that a grid
// too large for this machine fails at the same allocation with the same message. Only their
// first rows are touched: they are the buffer the files are read through, a block of rows at a
// time, and (coffs) the culled grid's block of rows; the pages of the rest are never faulted in.
struct GRID_ARRAYS {
  float **ccp;
  fcomplex **offs;
  fcomplex **coffs;
};

// Prints the grid geometry lines and checks the grid size. Returns -1 after an error
// message when the grid cannot be indexed.
int describe_grid(const KOLT_PAR *kp, OFFSET_SAMPLES *s);

// Allocates the grids, coordinates, sample arrays and the map of sample cells (zero-filled);
// ends the run when memory cannot be had.
void allocate_samples(const KOLT_PAR *kp, OFFSET_SAMPLES *s, GRID_ARRAYS *g);

// Reads both grid files and collects the samples, then prints the sample count.
void select_samples(FILE *fp_offs, FILE *fp_ccp, const GRID_ARRAYS *g, OFFSET_SAMPLES *s);

void free_samples(OFFSET_SAMPLES *s, GRID_ARRAYS *g);
