#include <cstddef>

#include "params/KOLT_io.h"
#include "params/keyword_reader.h"
#include "support/test_support.h"

using namespace polyest;

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

// kSample as write_KOLT_par writes it.
const std::string kText = expected_text("kolt_par_sample.txt");

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
  ALLOC_ERROR err;
  std::string printed = stdout_of(
      [&] { on_file(text, [&](FILE *fp) { EXPECT_EQ(read_KOLT_par(fp, &kp, &err), 0); }); });
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

int len_of(const std::string &t) { return static_cast<int>(t.size()); }

// Every numeric reader on the same texts; "%s" in a warning stands for the reader's name.
template <class T>
void check_numeric_reader(int (*reader)(const char *, int, const char *, T *), const char *name) {
  const std::string not_found = "WARNING: subroutine %s, keyword not found: ";
  const std::string no_value = "WARNING %s: no value given for data with key: width\n";
  const struct { std::string text; int status; T value; std::string printed;
                 const char *key = "width"; } cases[] = {
      {"other: 5\n", -1, 0, not_found + "width\n"},
      {"width: \t\r\nheight: 5\n", -1, 0, no_value},  // never the next line
      {std::string("width: \0" "5\n", 10), -1, 0, no_value},
      {"width: x12 m\n", -1, 0, "WARNING %s: corrupted data value with key: width  value: x12 m\n"},
      {"width: \"1024\" pixels ; comment\n", 0, 1024, ""},
      {"width: 12", 0, 12, ""},
      {"a: 1\nwidth", -1, 0, no_value},  // the key's last byte is the text's last byte
      {"width: " + std::string(600, '0') + "15\n", 0, 15, ""},  // longer than a small buffer
      {"map_width: 7\nwidth: 5\n", 0, 7, ""},  // the first occurrence, inside a longer key
      {"samples : 9\n", -1, 0, not_found + "samples:\n", "samples:"},  // the colon is part of it
      {"ab", -1, 0, not_found + "abc\n", "abc"},
      {"a: 1\n", -1, 0, not_found + "\n", ""},
  };
  for (const auto &c : cases) {
    T value = 77;
    int status = 0;
    std::string printed =
        stdout_of([&] { status = reader(c.text.c_str(), len_of(c.text), c.key, &value); });
    EXPECT_TRUE(status == c.status && value == c.value) << name << " " << c.text;
    EXPECT_EQ(printed, replaced(c.printed, "%s", name));
  }
}

TEST(KeywordReader, NumericWarningsLeaveZeroAndTheFirstOccurrenceWins) {
  check_numeric_reader<int>(rd_int, "rd_int");
  check_numeric_reader<double>(rd_dbl, "rd_dbl");
  check_numeric_reader<float>(rd_flt, "rd_flt");
  // The longest numeric prefix of the first len bytes is converted.
  int i = 0;
  double d = 0;
  float f = 0;
  EXPECT_TRUE(rd_int("n: 12.7\n", 8, "n", &i) == 0 && i == 12);
  EXPECT_TRUE(rd_dbl("d: -3.25e-4x\n", 13, "d", &d) == 0 && d == -3.25e-4);
  EXPECT_TRUE(rd_flt("f: 0.1\n", 7, "f", &f) == 0 && f == 0.1f);
  EXPECT_TRUE(rd_int("k: 1234567\n", 5, "k", &i) == 0 && i == 12);
}

TEST(KeywordReader, StringQuotesCrlfEndMarksCutLengthAndMissingKey) {
  const struct { const char *text; int len, status; const char *value; } cases[] = {
      {"t: \"a b\"\r\n", 10, 0, "a b"}, {"t:\nu: x\n", 8, 0, ""},
      {"t: 0123456789\n", 14, 0, "0123456"}, {"t: ab;c d\n", 10, 0, "ab"},
      {"t: abcdef\n", 6, 0, "abc"}, {"t:\t a \t \r\n", 9, 0, "a"}, {"u: x\n", 5, -1, ""}};
  for (const auto &c : cases) {
    char dest[8] = "old";
    int status = 0;
    std::string printed = stdout_of([&] { status = rd_str(c.text, c.len, "t", dest, 8); });
    EXPECT_EQ(status, c.status) << c.text;
    EXPECT_STREQ(dest, c.value) << c.text;
    EXPECT_EQ(printed, c.status ? "WARNING: subroutine rd_str, keyword not found: t\n" : "");
  }
}

TEST(KeywordReader, VectorSeparatorsCountsAndWarnings) {
  const std::string not_found = "WARNING: subroutine rd_vec, keyword not found: p\n";
  const struct { std::string text; int n, status; double v[7]; std::string printed; } cases[] = {
      {"p: 1,  2\t3 , 4,5 6 7\n", 6, 0, {1, 2, 3, 4, 5, 6, 9}, ""},
      {"p: 1 2 3\r\n", 6, -1, {1, 2, 3, 0, 0, 0, 9},
       "WARNING rd_vec: insufficient number of values: 6    key: p\n"},
      {"p: 1 x 3\n", 3, -1, {1, 0, 0, 9, 9, 9, 9},
       "WARNING rd_vec: invalid entry for data with key: p    value: x\n"},
      {"q: 1\n", 2, -1, {0, 0, 9, 9, 9, 9, 9}, not_found},
      {"p:\n", 0, 0, {9, 9, 9, 9, 9, 9, 9}, ""},
      {"q: 1\n", 0, -1, {9, 9, 9, 9, 9, 9, 9}, not_found},
      {"p: " + std::string(600, ',') + "4 5\n", 2, 0, {4, 5, 9, 9, 9, 9, 9}, ""},
  };
  for (const auto &c : cases) {
    double v[7] = {9, 9, 9, 9, 9, 9, 9};
    int status = 0;
    std::string printed =
        stdout_of([&] { status = rd_vec(c.text.c_str(), len_of(c.text), "p", v, c.n); });
    EXPECT_EQ(status, c.status) << c.text;
    EXPECT_EQ(printed, c.printed);
    EXPECT_EQ(memcmp(v, c.v, sizeof v), 0) << c.text;
  }
}

}  // namespace
