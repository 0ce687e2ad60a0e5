#include "keyword_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

int len_of(const std::string &t) { return static_cast<int>(t.size()); }

// What the reader returns, leaves in its destination and prints.
template <class T>
struct Outcome {
  int status;
  T value;
  std::string printed;
};

template <class T, class Reader>
Outcome<T> run(Reader reader, const std::string &text, const char *key) {
  T value = static_cast<T>(77);
  CaptureStdout();
  int status = reader(text.c_str(), len_of(text), key, &value);
  return {status, value, GetCapturedStdout()};
}

template <class T, class Reader>
void check_numeric_warnings(Reader reader, const std::string &name) {
  auto missing = run<T>(reader, "other: 5\n", "width");
  EXPECT_EQ(missing.status, -1);
  EXPECT_EQ(missing.value, 0);
  EXPECT_EQ(missing.printed, "WARNING: subroutine " + name + ", keyword not found: width\n");

  auto empty = run<T>(reader, "width: \t\r\nheight: 5\n", "width");  // never the next line
  EXPECT_EQ(empty.status, -1);
  EXPECT_EQ(empty.value, 0);
  EXPECT_EQ(empty.printed, "WARNING " + name + ": no value given for data with key: width\n");

  auto corrupted = run<T>(reader, "width: x12 m\n", "width");
  EXPECT_EQ(corrupted.status, -1);
  EXPECT_EQ(corrupted.value, 0);
  EXPECT_EQ(corrupted.printed,
            "WARNING " + name + ": corrupted data value with key: width  value: x12 m\n");

  auto good = run<T>(reader, "width: \"1024\" pixels ; comment\n", "width");
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.value, 1024);
  EXPECT_EQ(good.printed, "");
}

TEST(NumericReaders, EveryWarningLeavesZero) {
  check_numeric_warnings<int>(rd_int, "rd_int");
  check_numeric_warnings<double>(rd_dbl, "rd_dbl");
  check_numeric_warnings<float>(rd_flt, "rd_flt");
}

TEST(NumericReaders, ConversionTakesTheLongestNumericPrefix) {
  EXPECT_EQ(run<int>(rd_int, "n: 12.7\n", "n").value, 12);
  EXPECT_EQ(run<double>(rd_dbl, "d: -3.25e-4x\n", "d").value, -3.25e-4);
  EXPECT_EQ(run<float>(rd_flt, "f: 0.1\n", "f").value, 0.1f);
  // A value longer than any small working buffer is converted whole.
  auto long_value = run<double>(rd_dbl, "d: " + std::string(600, '0') + "1.5\n", "d");
  EXPECT_EQ(long_value.value, 1.5);
  EXPECT_EQ(long_value.status, 0);
}

TEST(KeywordSearch, FirstOccurrenceAnywhereWins) {
  // Inside the title, and inside a longer key that stands earlier.
  EXPECT_EQ(run<int>(rd_int, "title: width 3; x\nwidth: 5\n", "width").value, 3);
  EXPECT_EQ(run<int>(rd_int, "map_width: 7\nwidth: 5\n", "width").value, 7);
  // With the colon, a blank before the colon does not match.
  const std::string spaced = "samples : 9\n";
  EXPECT_EQ(run<int>(rd_int, spaced, "samples:").status, -1);
  EXPECT_EQ(run<int>(rd_int, spaced, "samples").value, 9);
  // Longer than the text, and empty: both not found.
  const std::string not_found = "WARNING: subroutine rd_int, keyword not found: ";
  EXPECT_EQ(run<int>(rd_int, "ab", "abc").printed, not_found + "abc\n");
  EXPECT_EQ(run<int>(rd_int, "a: 1\n", "").printed, not_found + "\n");
}

TEST(KeywordSearch, ValueEndsAtNewlineSemicolonNulOrTextEnd) {
  EXPECT_EQ(run<int>(rd_int, "k: 12\n34\n", "k").value, 12);
  EXPECT_EQ(run<int>(rd_int, "k: 12;34\n", "k").value, 12);
  EXPECT_EQ(run<int>(rd_int, std::string("k: \0" "5\n", 6), "k").printed,
            "WARNING rd_int: no value given for data with key: k\n");
  EXPECT_EQ(run<int>(rd_int, "k: 12", "k").value, 12);
  // Only the first len bytes are the text.
  int value = 0;
  EXPECT_EQ(rd_int("k: 1234567\n", 5, "k", &value), 0);
  EXPECT_EQ(value, 12);
  char dest[16];
  EXPECT_EQ(rd_str("k: abcdef\n", 6, "k", dest, sizeof dest), 0);
  EXPECT_STREQ(dest, "abc");
}

TEST(StringReader, QuotesCrlfEmptyValueCutAndMissingKey) {
  char dest[8];
  EXPECT_EQ(rd_str("t: \"a b\"\r\n", 10, "t", dest, sizeof dest), 0);
  EXPECT_STREQ(dest, "a b");
  EXPECT_EQ(rd_str("t:\nu: x\n", 8, "t", dest, sizeof dest), 0);
  EXPECT_STREQ(dest, "");
  EXPECT_EQ(rd_str("t: 0123456789\n", 14, "t", dest, sizeof dest), 0);
  EXPECT_STREQ(dest, "0123456");

  strcpy(dest, "old");
  CaptureStdout();
  EXPECT_EQ(rd_str("u: x\n", 5, "t", dest, sizeof dest), -1);
  EXPECT_EQ(GetCapturedStdout(), "WARNING: subroutine rd_str, keyword not found: t\n");
  EXPECT_STREQ(dest, "");
}

struct VecOutcome {
  int status;
  double v[7];
  std::string printed;
};

VecOutcome run_vec(const std::string &text, int n) {
  VecOutcome r;
  for (double &x : r.v) x = 9.0;
  CaptureStdout();
  r.status = rd_vec(text.c_str(), len_of(text), "p", r.v, n);
  r.printed = GetCapturedStdout();
  return r;
}

TEST(VectorReader, SeparatorsCountsAndWarnings) {
  VecOutcome r = run_vec("p: 1,  2\t3 , 4,5 6 7\n", 6);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.printed, "");
  for (int i = 0; i < 6; i++) EXPECT_EQ(r.v[i], i + 1.0);
  EXPECT_EQ(r.v[6], 9.0);

  r = run_vec("p: 1 2 3\r\n", 6);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.printed, "WARNING rd_vec: insufficient number of values: 6    key: p\n");
  const double partial[7] = {1, 2, 3, 0, 0, 0, 9};
  EXPECT_EQ(memcmp(r.v, partial, sizeof partial), 0);

  r = run_vec("p: 1 x 3\n", 3);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.v[0], 1.0);
  EXPECT_EQ(r.printed, "WARNING rd_vec: invalid entry for data with key: p    value: x\n");
  EXPECT_EQ(r.v[1], 0.0);
  EXPECT_EQ(r.v[2], 0.0);

  r = run_vec("q: 1\n", 2);
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.printed, "WARNING: subroutine rd_vec, keyword not found: p\n");
  EXPECT_EQ(r.v[0] + r.v[1], 0.0);

  r = run_vec("p:\n", 0);  // nothing to read
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.v[0], 9.0);
  EXPECT_EQ(run_vec("q: 1\n", 0).status, -1);

  // A value longer than the working buffer is read whole.
  r = run_vec("p: " + std::string(600, ',') + "4 5\n", 2);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.v[1], 5.0);
}

}  // namespace
