#pragma once
// The KOLT_par scene parameter file: its record, reader and writer.
#include <cstdio>
#include <string>

#include "../runtime/alloc.h"

namespace polyest {

struct KOLT_PAR {
  char title[128];
  int initial_range_offset;
  int initial_azimuth_offset;
  int range_samp_1;
  int az_samp_1;
  int first_nonzero_range_pixel_1;
  int number_of_nonzero_range_pixels_1;
  double range_pixel_spacing_1;
  double az_pixel_spacing_1;
  int range_samp_2;
  int az_samp_2;
  int first_nonzero_range_pixel_2;
  int number_of_nonzero_range_pixels_2;
  double range_pixel_spacing_2;
  double az_pixel_spacing_2;
  int offset_estimation_starting_range;
  int offset_estimation_ending_range;
  int offset_estimation_range_samples;
  int offset_estimation_range_spacing;
  int offset_estimation_starting_azimuth;
  int offset_estimation_ending_azimuth;
  int offset_estimation_azimuth_samples;
  int offset_estimation_azimuth_spacing;
  int offset_estimation_patch_width;
  int offset_estimation_patch_height;
  double offset_estimation_threshold;
  double range_offset_polynomial[6];
  double azimuth_offset_polynomial[6];
  int starting_azimuth_line;
  int map_azimuth_lines;
  int map_width;
  int first_map_range_pixel;
  int number_map_range_pixels;
  int range_looks;
  int azimuth_looks;
  double diff_phase_fit[6];
};

// Reads the whole file from its start; a missing key leaves 0 (empty title) after its
// warning. The stream stays open. Returns 0, or -1 with *err set when the text's buffer cannot
// be had (a stream without a length, such as a pipe, asks for none: ALLOC_NO_ELEMENTS).
int read_KOLT_par(FILE *fp, KOLT_PAR *kp, ALLOC_ERROR *err);

// The keys of a text already in memory, text[0 .. len) with a NUL at text[len], as
// read_KOLT_par takes them from the file's text (for callers that read the file their own way).
void read_KOLT_par_text(const char *text, int len, KOLT_PAR *kp);

// Rewrites the file in place from its start; when the old text was longer, the rest of it
// is blanked. Returns 0 when every write and the final flush succeeded, else -1.
int write_KOLT_par(FILE *fp, const KOLT_PAR *kp);

// The record's text as write_KOLT_par writes it.
std::string format_KOLT_par(const KOLT_PAR *kp);

}  // namespace polyest
