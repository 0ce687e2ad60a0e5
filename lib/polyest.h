#pragma once
// The polyest library in one include: the KOLT_par record and its file, the grid files'
// reading and the estimation's storage, the estimation (first fit, culling passes, the
// automatic loop), its outputs (never over one of the run's own files) and its console report. Every name is in namespace polyest.
#include "estimation/culled_outputs.h"
#include "estimation/estimation.h"
#include "estimation/grid_input.h"
#include "estimation/samples.h"
#include "estimation/storage.h"
#include "files/output_file.h"
#include "grid/offset_grid.h"
#include "numerics/offset_poly.h"
#include "params/KOLT_io.h"
#include "params/keyword_reader.h"
#include "report/report.h"
#include "runtime/alloc.h"
