#include "results.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/alloc.h"
#include "text/fixed_text.h"
#include "numerics/offset_poly.h"
#include "binio/swap_io.h"

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

// The culled offsets grid in file byte order: zero except at the surviving samples, which
// hold their offsets. Each row is built in the grid's first row (zero from the allocation,
// cleared again after each write), converted and written, so the rest of the grid is never
// touched (its pages are never faulted in).
int write_culled_grid(FILE *fp, const char *path, const OFFSET_SAMPLES *s) {
  const size_t nfloats = 2 * static_cast<size_t>(s->nr);
  fcomplex *row_buffer = s->naz > 0 ? s->coffs_grid[0] : nullptr;
  int next_row = 0;
  auto write_rows_before = [&](int end_row) {
    for (; next_row < end_row; next_row++) {
      if (ferror(fp)) continue;
      fw_swap(row_buffer, 4, nfloats, fp);
      memset(row_buffer, 0, sizeof(fcomplex) * static_cast<size_t>(s->nr));
    }
  };
  for_each_surviving_sample(s, [&](int i, int j, int k) {
    write_rows_before(i);
    row_buffer[j].re = static_cast<float>(s->off_rng[k]);
    row_buffer[j].im = static_cast<float>(s->off_az[k]);
  });
  write_rows_before(s->naz);
  if (ferror(fp) || fflush(fp) != 0 || ferror(fp)) {
    fprintf(stderr, "\nERROR: error writing to binary culled offsets file: %s\n\n", path);
    return -1;
  }
  return 0;
}

// The text list goes out in blocks of one page at page offsets. The system then caches the
// file in single pages, which it takes from the memory the design matrix has just given back
// (released before the outputs); large writes have it gather multi-page blocks instead,
// which on some virtual machines costs more than the whole formatting.
constexpr size_t LIST_BLOCK_BYTES = 4096;
// Room for one line of seven fields at their longest.
constexpr size_t LIST_LINE_MAX = 7 * (FIXED_TEXT_MAX + 1);

// The grid coordinates of the list ("%8.0f") are formatted once per column and row: slots of
// this size hold a column's text (longer texts, and grids wider than the table, are formatted
// on every line).
constexpr int COORD_SLOT = 16;
constexpr int COORD_TABLE_COLUMNS = 1 << 20;

// One line per surviving sample, "%8.0f %8.0f %10.3f %10.3f %10.3f %10.3f %10.3f\n" as
// printf writes it; the stream is closed here. Each sample's x and y are the coordinates of
// its grid cell.
int write_culled_list(FILE *fp, const char *path, const OFFSET_SAMPLES *s, const KOLT_PAR *kp) {
  char *buffer = calloc_1d_of<char>(LIST_BLOCK_BYTES + LIST_LINE_MAX);
  const int table_columns = s->nr <= COORD_TABLE_COLUMNS ? s->nr : 0;
  char *x_text = calloc_1d_of<char>(static_cast<size_t>(table_columns) * COORD_SLOT + 1);
  int *x_length = calloc_1d_of<int>(static_cast<size_t>(table_columns) + 1);
  char scratch[FIXED_TEXT_MAX];
  for (int j = 0; j < table_columns; j++) {
    const int n = static_cast<int>(put_fixed(scratch, s->rng_coord[j], 8, 0) - scratch);
    if (n > COORD_SLOT) continue;  // length 0: formatted per line
    std::memcpy(x_text + static_cast<size_t>(j) * COORD_SLOT, scratch, static_cast<size_t>(n));
    x_length[j] = n;
  }
  char y_text[FIXED_TEXT_MAX];
  char *end = buffer;
  int y_row = -1, y_length = 0;  // y's text, formatted at its row's first line
  for_each_surviving_sample(s, [&](int i, int j, int k) {
    const double x = s->x_rng[k], y = s->y_az[k];
    const double fields[] = {s->off_rng[k], s->off_az[k],
                             r_poly1(kp->range_offset_polynomial, x, y),
                             az_poly1(kp->azimuth_offset_polynomial, x, y), s->cc[k]};
    if (j < table_columns && x_length[j] > 0) {
      std::memcpy(end, x_text + static_cast<size_t>(j) * COORD_SLOT, COORD_SLOT);
      end += x_length[j];
    } else {
      end = put_fixed(end, x, 8, 0);
    }
    *end++ = ' ';
    if (i != y_row) {
      y_row = i;
      y_length = static_cast<int>(put_fixed(y_text, y, 8, 0) - y_text);
    }
    std::memcpy(end, y_text, static_cast<size_t>(y_length));
    end += y_length;
    for (double v : fields) {
      *end++ = ' ';
      end = put_fixed(end, v, 10, 3);
    }
    *end++ = '\n';
    if (static_cast<size_t>(end - buffer) >= LIST_BLOCK_BYTES) {
      fwrite(buffer, 1, LIST_BLOCK_BYTES, fp);
      const size_t rest = static_cast<size_t>(end - buffer) - LIST_BLOCK_BYTES;
      std::memcpy(buffer, buffer + LIST_BLOCK_BYTES, rest);
      end = buffer + rest;
    }
  });
  free(x_text);
  free(x_length);
  fwrite(buffer, 1, static_cast<size_t>(end - buffer), fp);
  free(buffer);
  const bool failed = fflush(fp) != 0 || ferror(fp);
  const bool close_failed = fclose(fp) != 0;
  if (failed || close_failed) {
    fprintf(stderr, "\nERROR: error writing culled offset file (text format): %s\n\n", path);
    return -1;
  }
  return 0;
}

}  // namespace

int flush_report() {
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fputs("\nERROR: error writing to standard output\n\n", stderr);
    return -1;
  }
  return 0;
}

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
  // The parameter file is rewritten only once the report that goes with it is out.
  if (flush_report() != 0) return -1;
  if (write_KOLT_par(rs->fp_par, kp) != 0) {
    fprintf(stderr, "\nERROR: error writing image matching offset parameter file: %s\n\n",
            rs->par_path);
    return -1;
  }
  return 0;
}
