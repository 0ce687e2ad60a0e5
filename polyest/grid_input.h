#pragma once
// The program's offsets grid: its geometry lines, its arrays (the run ends when memory cannot be
// had) and the samples read from the two grid files.
#include <cstdio>

#include "estimation/samples.h"
#include "params/KOLT_io.h"

// Prints the grid geometry lines and checks the grid size. Returns -1 after an error
// message when the grid cannot be indexed.
int describe_grid(const KOLT_PAR *kp, OFFSET_SAMPLES *s);

// Allocates the grids, coordinates and sample arrays (zero-filled); ends the run when
// memory cannot be had.
void allocate_samples(const KOLT_PAR *kp, OFFSET_SAMPLES *s);

// Reads both grids row by row and collects the samples, then prints the sample count.
void select_samples(FILE *fp_offs, FILE *fp_ccp, OFFSET_SAMPLES *s);

void free_samples(OFFSET_SAMPLES *s);
