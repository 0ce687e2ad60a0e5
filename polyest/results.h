#pragma once
// Final report and the run's outputs: the culled offsets grid, the text list and the
// updated parameter file.
#include "model_fit.h"
#include "offset_samples.h"
#include "run_settings.h"

// Returns 0 when everything was written, -1 after an error message.
int write_results(RUN_SETTINGS *rs, const OFFSET_SAMPLES *s, const MODEL_FIT *f,
                  const KOLT_PAR *kp);

// Flushes standard output: 0 when the whole report so far was written, else -1 after the
// error message (a run whose report is lost has failed).
int flush_report();
