#include "results.h"

#include <cmath>
#include <cstdio>

#include "offset_poly.h"
#include "swap_io.h"

namespace {

void print_final_report(const MODEL_FIT *f) {
  print_coefficients("\nfinal range offset poly. coeff.:         ", f->poly_rng, f->npoly);
  print_coefficients("\nfinal azimuth offset poly. coeff.:       ", f->poly_az, f->npoly);
  fputs("\n\nfinal range offset poly. coeff. errors:  ", stdout);
  for (int t = 1; t <= f->npoly; t++) printf(" %13.5e", sqrt(f->cvm_rng[t][t]) * f->sd_rng);
  fputs("\nfinal azimuth offset poly. coeff. errors:", stdout);
  for (int t = 1; t <= f->npoly; t++) printf(" %13.5e", sqrt(f->cvm_az[t][t]) * f->sd_az);
  printf("\nfinal model fit std. dev. (samples) range: %.4f   azimuth: %.4f\n", f->sd_rng,
         f->sd_az);
}

// Rows in file byte order; the grid is converted in place and not used afterwards.
int write_culled_grid(FILE *fp, const char *path, const OFFSET_SAMPLES *s) {
  const size_t nfloats = 2 * static_cast<size_t>(s->nr);
  for (int i = 0; i < s->naz; i++) {
    fw_swap(s->coffs_grid[i], 4, nfloats, fp);
    if (ferror(fp)) break;
  }
  if (ferror(fp) || fflush(fp) != 0 || ferror(fp)) {
    fprintf(stderr, "\nERROR: error writing to binary culled offsets file: %s\n\n", path);
    return -1;
  }
  return 0;
}

// One line per surviving sample; the stream is closed here.
int write_culled_list(FILE *fp, const char *path, const OFFSET_SAMPLES *s, const KOLT_PAR *kp) {
  for (int k = 1; k <= s->ndata; k++) {
    if (s->sig[k] == SIG_CULLED) continue;
    const double x = s->x_rng[k], y = s->y_az[k];
    fprintf(fp, "%8.0f %8.0f %10.3f %10.3f %10.3f %10.3f %10.3f\n", x, y, s->off_rng[k],
            s->off_az[k], r_poly1(kp->range_offset_polynomial, x, y),
            az_poly1(kp->azimuth_offset_polynomial, x, y), s->cc[k]);
  }
  const bool failed = fflush(fp) != 0 || ferror(fp);
  const bool close_failed = fclose(fp) != 0;
  if (failed || close_failed) {
    fprintf(stderr, "\nERROR: error writing culled offset file (text format): %s\n\n", path);
    return -1;
  }
  return 0;
}

}  // namespace

int write_results(RUN_SETTINGS *rs, const OFFSET_SAMPLES *s, const MODEL_FIT *f,
                  const KOLT_PAR *kp) {
  print_final_report(f);
  if (rs->coffs_out == 1) {
    printf("\nbinary culled offsets: %s\n", rs->coffs_path);
    if (write_culled_grid(rs->fp_coffs, rs->coffs_path, s) != 0) return -1;
  } else {
    fputs("\n", stdout);
  }
  if (rs->coffsets_out == 1) {
    FILE *fp = rs->fp_coffsets;
    rs->fp_coffsets = nullptr;
    if (write_culled_list(fp, rs->coffsets_path, s, kp) != 0) return -1;
  }
  printf("updating KOLT parameters: %s\n", rs->par_path);
  if (write_KOLT_par(rs->fp_par, kp) != 0) {
    fprintf(stderr, "\nERROR: error writing image matching offset parameter file: %s\n\n",
            rs->par_path);
    return -1;
  }
  return 0;
}
