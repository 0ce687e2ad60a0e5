#pragma once
// The culling stage of the program: automatic, or with the operator's thresholds from
// standard input, each pass reported on the console.
#include "estimation/estimation.h"

// Runs the culling passes from the first solution. On return 0 the last solution is in last
// and the surviving samples are those not marked culled; -1 after an error message.
int cull_outliers(polyest::OFFSET_SAMPLES *s, polyest::MODEL_FIT *f,
                  const polyest::SOLUTION &first, double thres, int interact_mode,
                  polyest::SOLUTION *last);
