#include "KOLT_io.h"

#include <unistd.h>

#include <cstddef>

#include "test_util.h"

namespace {

const KOLT_PAR kSample = {
    "ERS pair 12345-67890 orbit test", -12, 34, 4912, 27000, 10, 4890, 7.904890123, 3.98765432,
    12345678, 27100, 12, 4880, 7.90489, 4.0012345678, 32, 4880, 64, 76, 64, 26936, 128, 210, 64,
    128, 0.15678, {1.234567891, -1.23456789e-3, 2.5e-5, -3.14159265e-9, 0, 1e-12},
    {-0.5, 4.4e-4, -1.99999e-6, 0, 0, 0}, 0, 26000, 4800, 5, 4790, 1, 5,
    {0.1, 1e-3, -2e-4, 0, 0, 0}};

// kSample as its file text holds it.
const KOLT_PAR kRounded = {
    "ERS pair 12345-67890 orbit test", -12, 34, 4912, 27000, 10, 4890, 7.904890, 3.987654,
    12345678, 27100, 12, 4880, 7.904890, 4.001235, 32, 4880, 64, 76, 64, 26936, 128, 210, 64,
    128, 0.157, {1.23457, -1.2346e-03, 2.5e-05, -3.1416e-09, 0, 1e-12},
    {-0.5, 4.4e-04, -2.0e-06, 0, 0, 0}, 0, 26000, 4800, 5, 4790, 1, 5,
    {0.1, 1e-3, -2e-4, 0, 0, 0}};

const std::string kText = R"(Varmo KOLT Processing Parameters
title: ERS pair 12345-67890 orbit test
initial_range_offset:                  -12
initial_azimuth_offset:                 34
range_samp_1:                         4912
az_samp_1:                           27000
first_nonzero_range_pixel_1:            10
number_of_nonzero_range_pixels_1:     4890
range_pixel_spacing_1:         7.904890e+00
az_pixel_spacing_1:            3.987654e+00
range_samp_2:                       12345678
az_samp_2:                           27100
first_nonzero_range_pixel_2:            12
number_of_nonzero_range_pixels_2:     4880
range_pixel_spacing_2:         7.904890e+00
az_pixel_spacing_2:            4.001235e+00
offset_estimation_starting_range:       32
offset_estimation_ending_range:       4880
offset_estimation_range_samples:        64
offset_estimation_range_spacing:        76
offset_estimation_starting_azimuth:     64
offset_estimation_ending_azimuth:    26936
offset_estimation_azimuth_samples:     128
offset_estimation_azimuth_spacing:     210
offset_estimation_patch_width:          64
offset_estimation_patch_height:        128
offset_estimation_threshold:         0.157
range_offset_polynomial:          1.23457   -1.2346e-03    2.5000e-05   -3.1416e-09    0.0000e+00    1.0000e-12
azimuth_offset_polynomial:       -0.50000    4.4000e-04   -2.0000e-06    0.0000e+00    0.0000e+00    0.0000e+00
starting_azimuth_line:                   0
map_azimuth_lines:                   26000
map_width:                            4800
first_map_range_pixel:                   5
number_map_range_pixels:              4790
range_looks:                             1
azimuth_looks:                           5
diff_phase_fit:       0.10000    1.0000e-03   -2.0000e-04    0.0000e+00    0.0000e+00    0.0000e+00

)";

// Every field but the title bytes after its terminator (the record has no padding there).
bool same_record(const KOLT_PAR &a, const KOLT_PAR &b) {
  size_t from = offsetof(KOLT_PAR, initial_range_offset);
  size_t to = offsetof(KOLT_PAR, azimuth_looks) + sizeof(int);
  return strcmp(a.title, b.title) == 0 &&
         memcmp(&a.initial_range_offset, &b.initial_range_offset, to - from) == 0 &&
         memcmp(a.diff_phase_fit, b.diff_phase_fit, sizeof a.diff_phase_fit) == 0;
}

// Calls f with a file that holds text, open for reading and writing; returns the file's bytes
// after f, taken before the file is closed.
template <class F>
std::string on_file(const std::string &text, F f) {
  ScratchDir dir;
  std::ofstream(dir.path("par"), std::ios::binary) << text;
  FILE *fp = fopen(dir.path("par").c_str(), "r+");
  f(fp);
  std::string bytes = slurp(dir.path("par"));
  fclose(fp);
  return bytes;
}

// Reads text as a KOLT_par file; warnings receives what the readers printed.
KOLT_PAR read_text(const std::string &text, std::string *warnings = nullptr) {
  KOLT_PAR kp;
  memset(&kp, 0x5a, sizeof kp);
  std::string printed =
      stdout_of([&] { on_file(text, [&](FILE *fp) { read_KOLT_par(fp, &kp); }); });
  if (warnings) *warnings = printed;
  return kp;
}

std::string rewritten(const std::string &old_text, const KOLT_PAR &kp) {
  return on_file(old_text, [&](FILE *fp) { EXPECT_EQ(write_KOLT_par(fp, &kp), 0); });
}

TEST(KoltPar, WriteGivesExactTextThatReadsBackAtFormatPrecision) {
  std::string warnings;
  EXPECT_EQ(rewritten("", kSample), kText);
  EXPECT_TRUE(same_record(read_text(kText, &warnings), kRounded));
  EXPECT_EQ(warnings, "");
  // Over a longer old text (by more than one block of blanks) the rest is blanked.
  std::string now = rewritten(kText + std::string(700, 'x') + "\n", kSample);
  EXPECT_EQ(now, kText + std::string(701, ' '));
  EXPECT_TRUE(same_record(read_text(now), kRounded));
  // The lines reversed after an unknown key read the same.
  std::istringstream in(kText);
  std::string line, reversed;
  while (std::getline(in, line)) reversed = line + "\n" + reversed;
  EXPECT_TRUE(same_record(read_text("extra_key: 1\n" + reversed), kRounded));
  FILE *full = fopen("/dev/full", "r+");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(write_KOLT_par(full, &kSample), -1);
  fclose(full);
}

// The exact warning list of an empty file is compared whole by the program's golden cases.
TEST(KoltPar, EmptyFileWarnsForEveryKeyAndLeavesZeros) {
  std::string warnings;
  EXPECT_TRUE(same_record(read_text("", &warnings), KOLT_PAR{}));
  EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 37);
  EXPECT_NE(warnings.find("rd_dbl, keyword not found: offset_estimation_threshhold\n"),
            std::string::npos);
  EXPECT_NE(warnings.find("rd_int, keyword not found: number_map_range_pixels:\n"),
            std::string::npos);
}

TEST(KoltPar, OldThresholdSpellingTitleMentionsOfKeysAndLongTitle) {
  std::string old_text = replaced(kText, "offset_estimation_threshold:        ",
                                  "offset_estimation_threshhold:       "), warnings;
  KOLT_PAR kp = read_text(old_text, &warnings);
  EXPECT_EQ(kp.offset_estimation_threshold, 0.157);
  EXPECT_EQ(warnings,
            "WARNING: subroutine rd_dbl, keyword not found: offset_estimation_threshold\n");
  // An invalid value falls back too; the last byte of a file without a final line end counts.
  kp = read_text("offset_estimation_threshold: none\noffset_estimation_threshhold: 0.45");
  EXPECT_EQ(kp.offset_estimation_threshold, 0.45);
  // Keys mentioned in the title are found there first, except for the keys taken with a colon.
  kp = kSample;
  strcpy(kp.title, "number_of_nonzero_range_pixels_1 7 number_of_nonzero_range_pixels_2 8 "
                   "number_map_range_pixels 9 map_width 99");
  kp = read_text(format_KOLT_par(&kp));
  EXPECT_EQ(kp.number_of_nonzero_range_pixels_1, 4890);
  EXPECT_EQ(kp.number_of_nonzero_range_pixels_2, 4880);
  EXPECT_EQ(kp.number_map_range_pixels, 4790);
  EXPECT_EQ(kp.map_width, 99);
  kp = read_text("title: " + std::string(200, 'x') + "\n");
  EXPECT_EQ(std::string(kp.title), std::string(127, 'x'));
}

TEST(KoltParDeathTest, StreamWithoutLengthEndsTheRun) {
  int fds[2];
  ASSERT_TRUE(pipe(fds) == 0 && write(fds[1], "title: x\n", 9) == 9);
  close(fds[1]);
  KOLT_PAR kp;
  EXPECT_EXIT(read_KOLT_par(fdopen(fds[0], "r"), &kp), testing::ExitedWithCode(255),
              "^\nERROR: calloc_1d: number of elements <= 0: 0\n$");
  close(fds[0]);
}

TEST(KoltPar, SummaryLines) {
  EXPECT_EQ(stdout_of([] { print_KOLT_par(&kSample); }), R"(
KOLT parameter file title: ERS pair 12345-67890 orbit test
initial estimate offset, range and azimuth (pixels):       -12     34
image-1 dimensions: range, azimuth (pixels):              4912  27000
image-1 offset first valid map pixel, valid map pixels:     10   4890
image-1 sample spacing: range, azimuth (m):        7.904890e+00  3.987654e+00
image-2 dimensions: range, azimuth (pixels):            12345678  27100
image-2 offset first valid map pixel, valid map pixels:     12   4880
image-2 sample spacing: range, azimuth (m):        7.904890e+00  4.001235e+00
range offsets, starting range, ending range, samples, spacing:       32   4880     64   76
azimuth offsets, starting line, ending line, samples, spacing:       64  26936    128  210
offset estimation patch size (range, azimuth):              64    128
offset estimation threshold:                             0.157
range offset polynomial:        1.23457  -1.23457e-03   2.50000e-05  -3.14159e-09   0.00000e+00   1.00000e-12
azimuth offset polynomial:     -0.50000   4.40000e-04  -1.99999e-06   0.00000e+00   0.00000e+00   0.00000e+00
starting azimuth map line, (relative image-1):               0
number of lines in the map:                              26000
interpolated map width (samples):                         4800
offset first valid map pixel, valid map pixels:              5   4790
number of map looks range, azimuth:                          1      5
differential phase fit parameters:        0.10000    1.0000e-03   -2.0000e-04    0.0000e+00    0.0000e+00    0.0000e+00

)");
}

}  // namespace
