// The culled offsets, as a grid in the input's form and as a text list.
#include "culled_outputs.h"

#include <cstdlib>
#include <cstring>

#include "../binio/swap_io.h"
#include "../numerics/offset_poly.h"
#include "../text/fixed_text.h"

namespace polyest {

int culled_grid_block_rows(int nr, int naz) {
  const size_t row_bytes = sizeof(fcomplex) * static_cast<size_t>(nr > 0 ? nr : 1);
  size_t rows = GRID_BLOCK_BYTES / row_bytes;
  if (naz > 0 && rows > static_cast<size_t>(naz)) rows = static_cast<size_t>(naz);
  return rows < 1 ? 1 : static_cast<int>(rows);
}

int write_culled_grid(FILE *fp, const OFFSET_SAMPLES *s, fcomplex *rows, int block_rows) {
  const size_t nr = static_cast<size_t>(s->nr);
  int block_start = 0;  // the grid row in rows[0]
  // Writes the rows block_start .. end_row - 1 of the buffer in one call and clears them.
  auto write_block = [&](int end_row) {
    const size_t cells = nr * static_cast<size_t>(end_row - block_start);
    if (!ferror(fp)) fw_swap(rows, 4, 2 * cells, fp);
    memset(rows, 0, sizeof(fcomplex) * cells);
    block_start = end_row;
  };
  for_each_surviving_sample(s, [&](int i, int j, int k) {
    while (i >= block_start + block_rows) write_block(block_start + block_rows);
    fcomplex &cell = rows[static_cast<size_t>(i - block_start) * nr + static_cast<size_t>(j)];
    cell.re = s->off_rng[k];
    cell.im = s->off_az[k];
  });
  while (block_start < s->naz)
    write_block(s->naz - block_start < block_rows ? s->naz : block_start + block_rows);
  return ferror(fp) || fflush(fp) != 0 || ferror(fp) ? -1 : 0;
}

namespace {

// The text list goes out in blocks of 1 MiB at offsets that are multiples of it: one system
// call per 1 MiB instead of per page, and the system caches the file in large blocks, which
// it takes from the memory the design matrix has just given back (released before the
// outputs). At 4096 x 4096 cells this took the run's system time from 0.8-2.8 s with blocks
// of one page to 0.3-0.6 s.
constexpr size_t LIST_BLOCK_BYTES = size_t{1} << 20;
// Room for one line of seven fields at their longest.
constexpr size_t LIST_LINE_MAX = 7 * (FIXED_TEXT_MAX + 1);

// The grid coordinates of the list ("%8.0f") are formatted once per column and row: slots of
// this size hold a column's text (longer texts, and grids wider than the table, are formatted
// on every line).
constexpr int COORD_SLOT = 16;
constexpr int COORD_TABLE_COLUMNS = 1 << 20;

}  // namespace

int write_culled_list(FILE *fp, const OFFSET_SAMPLES *s, const double poly_rng[6],
                      const double poly_az[6]) {
  const int table_columns = s->nr <= COORD_TABLE_COLUMNS ? s->nr : 0;
  char *buffer = static_cast<char *>(calloc(LIST_BLOCK_BYTES + LIST_LINE_MAX, 1));
  char *x_text = static_cast<char *>(calloc(static_cast<size_t>(table_columns) * COORD_SLOT + 1, 1));
  int *x_length = static_cast<int *>(calloc(static_cast<size_t>(table_columns) + 1, sizeof(int)));
  if (buffer == nullptr || x_text == nullptr || x_length == nullptr) {
    free(buffer);
    free(x_text);
    free(x_length);
    fclose(fp);
    return CULLED_OUTPUT_NO_MEMORY;
  }
  char scratch[FIXED_TEXT_MAX];
  for (int j = 0; j < table_columns; j++) {
    const int n = static_cast<int>(put_fixed(scratch, s->rng_coord[j], 8, 0) - scratch);
    if (n > COORD_SLOT) continue;  // length 0: formatted per line
    std::memcpy(x_text + static_cast<size_t>(j) * COORD_SLOT, scratch, static_cast<size_t>(n));
    x_length[j] = n;
  }
  char y_text[FIXED_TEXT_MAX];
  char *end = buffer;
  // y's text and the parts of both models that depend on y alone, at its row's first line.
  int y_row = -1, y_length = 0;
  OffsetPolyRow<double> part_rng{}, part_az{};
  for_each_surviving_sample(s, [&](int i, int j, int k) {
    if (i != y_row) {
      y_row = i;
      const double y = s->az_coord[i];
      y_length = static_cast<int>(put_fixed(y_text, y, 8, 0) - y_text);
      part_rng = offset_poly_row(poly_rng, y);
      part_az = offset_poly_row(poly_az, y);
    }
    const double x = s->rng_coord[j];
    const double fields[] = {s->off_rng[k], s->off_az[k], offset_poly_at(poly_rng, part_rng, x),
                             offset_poly_at(poly_az, part_az, x), s->cc[k]};
    if (j < table_columns && x_length[j] > 0) {
      std::memcpy(end, x_text + static_cast<size_t>(j) * COORD_SLOT, COORD_SLOT);
      end += x_length[j];
    } else {
      end = put_fixed(end, x, 8, 0);
    }
    *end++ = ' ';
    std::memcpy(end, y_text, static_cast<size_t>(y_length));
    end += y_length;
    // Unrolled: each field has branches of its own, which its own values train.
#pragma GCC unroll 5
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
  return failed || close_failed ? -1 : 0;
}

}  // namespace polyest
