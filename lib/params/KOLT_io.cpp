#include "KOLT_io.h"

#include <sys/types.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "../runtime/alloc.h"
#include "keyword_reader.h"
#include "../binio/swap_io.h"

namespace polyest {

namespace {

[[gnu::format(printf, 2, 3)]] void appendf(std::string &s, const char *fmt, ...) {
  va_list ap, again;
  va_start(ap, fmt);
  va_copy(again, ap);
  int n = vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  if (n > 0) {
    size_t old = s.size();
    s.resize(old + static_cast<size_t>(n) + 1);
    vsnprintf(&s[old], static_cast<size_t>(n) + 1, fmt, again);
    s.resize(old + static_cast<size_t>(n));
  }
  va_end(again);
}

// Length of the stream's contents: its end position, -1 when it has none (a pipe).
off_t stream_length(FILE *fp) {
  fseeko(fp, 0, SEEK_END);
  off_t end = ftello(fp);
  rewind(fp);
  return end;
}

}  // namespace

int read_KOLT_par(FILE *fp, KOLT_PAR *kp, ALLOC_ERROR *err) {
  off_t end = stream_length(fp);
  // The readers take an int length, and the buffer holds one more byte for the NUL.
  int len = end > INT32_MAX - 1 ? INT32_MAX - 1 : static_cast<int>(end);
  // A length of -1 asks for 0 bytes, which calloc_1d refuses.
  char *text = static_cast<char *>(calloc_1d(static_cast<size_t>(len + 1), 1, err));
  if (text == nullptr) return -1;
  // A short read only makes the text end earlier: the rest of the buffer stays zero.
  fr_swap(text, 1, static_cast<size_t>(len), fp);
  read_KOLT_par_text(text, len, kp);
  free_1d(text);
  return 0;
}

void read_KOLT_par_text(const char *text, int len, KOLT_PAR *kp) {
  auto get_int = [&](const char *key, int *dest) { rd_int(text, len, key, dest); };
  auto get_dbl = [&](const char *key, double *dest) { rd_dbl(text, len, key, dest); };

  rd_str(text, len, "title", kp->title, static_cast<int>(sizeof kp->title));
  get_int("initial_range_offset", &kp->initial_range_offset);
  get_int("initial_azimuth_offset", &kp->initial_azimuth_offset);
  get_int("range_samp_1", &kp->range_samp_1);
  get_int("az_samp_1", &kp->az_samp_1);
  get_int("first_nonzero_range_pixel_1", &kp->first_nonzero_range_pixel_1);
  get_int("number_of_nonzero_range_pixels_1:", &kp->number_of_nonzero_range_pixels_1);
  get_dbl("range_pixel_spacing_1", &kp->range_pixel_spacing_1);
  get_dbl("az_pixel_spacing_1", &kp->az_pixel_spacing_1);
  get_int("range_samp_2", &kp->range_samp_2);
  get_int("az_samp_2", &kp->az_samp_2);
  get_int("first_nonzero_range_pixel_2", &kp->first_nonzero_range_pixel_2);
  get_int("number_of_nonzero_range_pixels_2:", &kp->number_of_nonzero_range_pixels_2);
  get_dbl("range_pixel_spacing_2", &kp->range_pixel_spacing_2);
  get_dbl("az_pixel_spacing_2", &kp->az_pixel_spacing_2);
  get_int("offset_estimation_starting_range", &kp->offset_estimation_starting_range);
  get_int("offset_estimation_ending_range", &kp->offset_estimation_ending_range);
  get_int("offset_estimation_range_samples", &kp->offset_estimation_range_samples);
  get_int("offset_estimation_range_spacing", &kp->offset_estimation_range_spacing);
  get_int("offset_estimation_starting_azimuth", &kp->offset_estimation_starting_azimuth);
  get_int("offset_estimation_ending_azimuth", &kp->offset_estimation_ending_azimuth);
  get_int("offset_estimation_azimuth_samples", &kp->offset_estimation_azimuth_samples);
  get_int("offset_estimation_azimuth_spacing", &kp->offset_estimation_azimuth_spacing);
  get_int("offset_estimation_patch_width", &kp->offset_estimation_patch_width);
  get_int("offset_estimation_patch_height", &kp->offset_estimation_patch_height);
  // Older files spell the threshold key with a double h.
  if (rd_dbl(text, len, "offset_estimation_threshold", &kp->offset_estimation_threshold) != 0)
    get_dbl("offset_estimation_threshhold", &kp->offset_estimation_threshold);
  zero_1d(kp->range_offset_polynomial, 6, sizeof(double));
  rd_vec(text, len, "range_offset_polynomial", kp->range_offset_polynomial, 6);
  zero_1d(kp->azimuth_offset_polynomial, 6, sizeof(double));
  rd_vec(text, len, "azimuth_offset_polynomial", kp->azimuth_offset_polynomial, 6);
  get_int("starting_azimuth_line", &kp->starting_azimuth_line);
  get_int("map_azimuth_lines", &kp->map_azimuth_lines);
  get_int("map_width", &kp->map_width);
  get_int("first_map_range_pixel", &kp->first_map_range_pixel);
  get_int("number_map_range_pixels:", &kp->number_map_range_pixels);
  get_int("range_looks", &kp->range_looks);
  get_int("azimuth_looks", &kp->azimuth_looks);
  rd_vec(text, len, "diff_phase_fit", kp->diff_phase_fit, 6);
}

std::string format_KOLT_par(const KOLT_PAR *kp) {
  const double *rp = kp->range_offset_polynomial;
  const double *ap = kp->azimuth_offset_polynomial;
  const double *dp = kp->diff_phase_fit;
  std::string s;
  appendf(s, "Varmo KOLT Processing Parameters\n");
  appendf(s, "title: %.127s\n", kp->title);
  appendf(s, "initial_range_offset:               %6d\n", kp->initial_range_offset);
  appendf(s, "initial_azimuth_offset:             %6d\n", kp->initial_azimuth_offset);
  appendf(s, "range_samp_1:                       %6d\n", kp->range_samp_1);
  appendf(s, "az_samp_1:                          %6d\n", kp->az_samp_1);
  appendf(s, "first_nonzero_range_pixel_1:        %6d\n", kp->first_nonzero_range_pixel_1);
  appendf(s, "number_of_nonzero_range_pixels_1:   %6d\n", kp->number_of_nonzero_range_pixels_1);
  appendf(s, "range_pixel_spacing_1:         %.6e\n", kp->range_pixel_spacing_1);
  appendf(s, "az_pixel_spacing_1:            %.6e\n", kp->az_pixel_spacing_1);
  appendf(s, "range_samp_2:                       %6d\n", kp->range_samp_2);
  appendf(s, "az_samp_2:                          %6d\n", kp->az_samp_2);
  appendf(s, "first_nonzero_range_pixel_2:        %6d\n", kp->first_nonzero_range_pixel_2);
  appendf(s, "number_of_nonzero_range_pixels_2:   %6d\n", kp->number_of_nonzero_range_pixels_2);
  appendf(s, "range_pixel_spacing_2:         %.6e\n", kp->range_pixel_spacing_2);
  appendf(s, "az_pixel_spacing_2:            %.6e\n", kp->az_pixel_spacing_2);
  appendf(s, "offset_estimation_starting_range:   %6d\n", kp->offset_estimation_starting_range);
  appendf(s, "offset_estimation_ending_range:     %6d\n", kp->offset_estimation_ending_range);
  appendf(s, "offset_estimation_range_samples:    %6d\n", kp->offset_estimation_range_samples);
  appendf(s, "offset_estimation_range_spacing:    %6d\n", kp->offset_estimation_range_spacing);
  appendf(s, "offset_estimation_starting_azimuth: %6d\n", kp->offset_estimation_starting_azimuth);
  appendf(s, "offset_estimation_ending_azimuth:   %6d\n", kp->offset_estimation_ending_azimuth);
  appendf(s, "offset_estimation_azimuth_samples:  %6d\n", kp->offset_estimation_azimuth_samples);
  appendf(s, "offset_estimation_azimuth_spacing:  %6d\n", kp->offset_estimation_azimuth_spacing);
  appendf(s, "offset_estimation_patch_width:      %6d\n", kp->offset_estimation_patch_width);
  appendf(s, "offset_estimation_patch_height:     %6d\n", kp->offset_estimation_patch_height);
  appendf(s, "offset_estimation_threshold:        %6.3f\n", kp->offset_estimation_threshold);
  appendf(s, "range_offset_polynomial:     %12.5f %13.4e %13.4e %13.4e %13.4e %13.4e\n",
          rp[0], rp[1], rp[2], rp[3], rp[4], rp[5]);
  appendf(s, "azimuth_offset_polynomial:   %12.5f %13.4e %13.4e %13.4e %13.4e %13.4e\n",
          ap[0], ap[1], ap[2], ap[3], ap[4], ap[5]);
  appendf(s, "starting_azimuth_line:              %6d\n", kp->starting_azimuth_line);
  appendf(s, "map_azimuth_lines:                  %6d\n", kp->map_azimuth_lines);
  appendf(s, "map_width:                          %6d\n", kp->map_width);
  appendf(s, "first_map_range_pixel:              %6d\n", kp->first_map_range_pixel);
  appendf(s, "number_map_range_pixels:            %6d\n", kp->number_map_range_pixels);
  appendf(s, "range_looks:                        %6d\n", kp->range_looks);
  appendf(s, "azimuth_looks:                      %6d\n", kp->azimuth_looks);
  appendf(s, "diff_phase_fit:  %12.5f %13.4e %13.4e %13.4e %13.4e %13.4e\n",
          dp[0], dp[1], dp[2], dp[3], dp[4], dp[5]);
  appendf(s, "\n");
  return s;
}

int write_KOLT_par(FILE *fp, const KOLT_PAR *kp) {
  std::string text = format_KOLT_par(kp);
  off_t old_len = stream_length(fp);
  // Only this rewrite's own errors count.
  clearerr(fp);
  bool ok = fwrite(text.data(), 1, text.size(), fp) == text.size();
  // The file is not truncated: what remains of a longer old text is blanked.
  char blank_block[512];
  memset(blank_block, ' ', sizeof blank_block);
  off_t rest = old_len - static_cast<off_t>(text.size());
  while (ok && rest > 0) {
    size_t n = rest < static_cast<off_t>(sizeof blank_block) ? static_cast<size_t>(rest)
                                                              : sizeof blank_block;
    ok = fwrite(blank_block, 1, n, fp) == n;
    rest -= static_cast<off_t>(n);
  }
  if (fflush(fp) != 0) ok = false;
  if (ferror(fp)) ok = false;
  return ok ? 0 : -1;
}

}  // namespace polyest
