#pragma once
// Final report and the run's outputs: the culled offsets grid, the text list and the
// updated parameter file.
#include "estimation/estimation.h"
#include "params/KOLT_io.h"
#include "run_settings.h"

// The final solution's report, then the outputs (the culled grid built a block of rows at a
// time in block_buffer: culled_grid_block_rows rows of nr cells, zero), then kp (with the
// solution's polynomials) rewritten into the parameter file. Returns 0 when everything was
// written, -1 after an error message.
int write_results(RUN_SETTINGS *rs, const polyest::OFFSET_SAMPLES *s,
                  polyest::fcomplex *block_buffer, const polyest::MODEL_FIT *f,
                  const polyest::SOLUTION *sol, polyest::KOLT_PAR *kp);

// Flushes standard output: 0 when the whole report so far was written, else -1 after the
// error message (a run whose report is lost has failed).
int flush_report();
