#include "results.h"

#include <cstdio>
#include <cstring>

#include "estimation/culled_outputs.h"
#include "report/report.h"

using namespace polyest;

namespace {

// The outputs' own failures, with the program's messages.
int output_failed(int status, const char *format, const char *path) {
  if (status == CULLED_OUTPUT_NO_MEMORY)
    fputs("\nERROR calloc_1d: memory allocation error for data values\n\n", stderr);
  else
    fprintf(stderr, format, path);
  return -1;
}

}  // namespace

int flush_report() {
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fputs("\nERROR: error writing to standard output\n\n", stderr);
    return -1;
  }
  return 0;
}

int write_results(RUN_SETTINGS *rs, const OFFSET_SAMPLES *s, fcomplex *block_buffer,
                  const MODEL_FIT *f, const SOLUTION *sol, KOLT_PAR *kp) {
  print_final_report(stdout, f, sol);
  if (rs->coffs_out == 1) {
    printf("\nbinary culled offsets: %s\n", rs->coffs_path);
    if (const int status = write_culled_grid(rs->fp_coffs, s, block_buffer,
                                             culled_grid_block_rows(s->nr, s->naz)))
      return output_failed(status, "\nERROR: error writing to binary culled offsets file: %s\n\n",
                           rs->coffs_path);
  } else {
    fputs("\n", stdout);
  }
  if (rs->coffsets_out == 1) {
    FILE *fp = rs->fp_coffsets;
    rs->fp_coffsets = nullptr;
    if (const int status = write_culled_list(fp, s, sol->poly_rng, sol->poly_az))
      return output_failed(status,
                           "\nERROR: error writing culled offset file (text format): %s\n\n",
                           rs->coffsets_path);
  }
  printf("updating KOLT parameters: %s\n", rs->par_path);
  // The parameter file is rewritten only once the report that goes with it is out.
  if (flush_report() != 0) return -1;
  memcpy(kp->range_offset_polynomial, sol->poly_rng, sizeof kp->range_offset_polynomial);
  memcpy(kp->azimuth_offset_polynomial, sol->poly_az, sizeof kp->azimuth_offset_polynomial);
  if (write_KOLT_par(rs->fp_par, kp) != 0) {
    fprintf(stderr, "\nERROR: error writing image matching offset parameter file: %s\n\n",
            rs->par_path);
    return -1;
  }
  return 0;
}
