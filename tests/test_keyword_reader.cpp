#include "keyword_reader.h"

#include "test_util.h"

namespace {

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
      {"t: abcdef\n", 6, 0, "abc"}, {"u: x\n", 5, -1, ""}};
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
