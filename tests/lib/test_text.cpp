#include "text/fixed_text.h"

#include <bit>
#include <cfloat>
#include <cstdint>

#include "support/test_support.h"

using namespace polyest;

namespace {

// The (width, precision) pairs of the text list, and a few more.
const int kFormats[][2] = {{8, 0}, {10, 3}, {0, 0}, {1, 1}, {0, 2}, {10, 2}, {64, 3}, {19, 0}};

// Empty when put_fixed writes exactly the bytes snprintf writes, else a description.
std::string mismatch(double value, int width, int precision) {
  char expected[FIXED_TEXT_MAX], got[FIXED_TEXT_MAX + 1];
  snprintf(expected, sizeof expected, "%*.*f", width, precision, value);
  memset(got, '#', sizeof got);  // no byte left over from an earlier call can pass for padding
  got[put_fixed(got, value, width, precision) - got] = '\0';
  if (strcmp(expected, got) == 0) return "";
  char line[FIXED_TEXT_MAX * 3];
  snprintf(line, sizeof line, "%a with %%%d.%df: printf '%s', put_fixed '%s'", value, width,
           precision, expected, got);
  return line;
}

// Checks every value in the first nformats formats; reports the first few mismatches.
void expect_all_match(const std::vector<double> &values, int nformats = 8) {
  int failures = 0;
  for (double v : values)
    for (int f = 0; f < nformats; f++) {
      std::string m = mismatch(v, kFormats[f][0], kFormats[f][1]);
      if (!m.empty() && failures++ < 5) ADD_FAILURE() << m;
    }
  EXPECT_EQ(failures, 0);
}

TEST(FixedText, ExactTiesRoundToEvenAndNeighboursRoundToNearest) {
  // Odd multiples of 1/16 are exact ties at three decimals (of 1/2 at none), and k / 2^n
  // lands on and beside the .0005 boundaries; each value also with its two neighbours.
  std::vector<double> values;
  for (int n = 1; n <= 24; n++)
    for (int k = -2000; k <= 2000; k += (n < 12 ? 1 : 7)) {
      double v = std::ldexp(k, -n) + (n > 12 ? 1000.0 * k : 0.0);
      values.insert(values.end(), {v, std::nextafter(v, INFINITY), std::nextafter(v, -INFINITY)});
    }
  for (double v : {0.5, 1.5, 2.5, -2.5, 0.0625, 0.1875, 1.0625, 2.4375, 99999.9995, 0.0005})
    values.insert(values.end(), {v, std::nextafter(v, INFINITY), std::nextafter(v, -INFINITY)});
  expect_all_match(values);
  EXPECT_EQ(mismatch(2.5, 8, 0), "");  // "       2"
  char text[FIXED_TEXT_MAX];
  EXPECT_EQ(std::string(text, put_fixed(text, 0.0625, 10, 3)), "     0.062");
  EXPECT_EQ(std::string(text, put_fixed(text, -0.1875, 10, 3)), "    -0.188");
}

TEST(FixedText, SignedZeroDenormalsLargeAndNonFiniteValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  expect_all_match({0.0, -0.0, -0.0004, -0.0005, -0.4, -0.5, 0.4999999999999999, -1e-300,
                    std::numeric_limits<double>::denorm_min(), -DBL_TRUE_MIN * 12345,
                    std::bit_cast<double>(uint64_t{0x000fffffffffffff}), DBL_MIN, -DBL_MIN,
                    123456789.125, -9999999.9996, 999999999999999.9, -999999999999999.9, 1e15,
                    -1e15, 4503599627370495.5, 1e300, DBL_MAX, -DBL_MAX, nan, -nan, INFINITY,
                    -INFINITY});
  char text[FIXED_TEXT_MAX];
  EXPECT_EQ(std::string(text, put_fixed(text, -0.0, 8, 0)), "      -0");
  EXPECT_EQ(std::string(text, put_fixed(text, -0.0004, 10, 3)), "    -0.000");
  EXPECT_EQ(std::string(text, put_fixed(text, 123456789.125, 10, 3)), "123456789.125");
  // Precisions beyond three go through printf.
  EXPECT_EQ(std::string(text, put_fixed(text, 1.0 / 3.0, 10, 6)), "  0.333333");
}

TEST(FixedText, RandomValuesOfListMagnitudesAndRandomBitPatterns) {
  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> mantissa(1.0, 2.0);
  std::uniform_int_distribution<int> exponent(-24, 24);  // 6e-8 .. 3e7
  std::vector<double> values(1000000);
  for (size_t i = 0; i < values.size(); i++) {
    const double v = std::ldexp(mantissa(rng), exponent(rng));
    values[i] = (i & 1) ? -v : v;
  }
  for (int i = 0; i < 20000; i++) values.push_back(std::bit_cast<double>(rng()));
  // Grid coordinates and three-decimal values as the list holds them, exactly and nearly.
  for (int i = 0; i < 100000; i++) {
    values.push_back(static_cast<double>(rng() % 40960));
    values.push_back(static_cast<double>(int64_t(rng() % 2000001) - 1000000) / 1000.0);
  }
  expect_all_match(values, 2);
}

}  // namespace
