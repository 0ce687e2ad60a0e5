#pragma once
// Fixed-point text of doubles, byte for byte what printf's "%<width>.<precision>f" writes in
// the C locale with the default rounding mode, without printf's cost on the common values:
// value * 10^precision is split into its integer part and the exact remainder by integer
// arithmetic on the double's mantissa and exponent, and rounded to nearest with ties to
// even, as printf rounds in the default rounding mode. Inline, so that calls with constant
// widths and precisions are specialised.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace polyest {

// Room that put_fixed needs at out for any value, width and precision it accepts.
inline constexpr int FIXED_TEXT_MAX = 400;

// printf("%*.*f", width, precision, value) into out; returns the end of the text.
char *put_by_printf(char *out, double value, int width, int precision);

namespace fixed_text {

inline constexpr uint64_t kPowerOfTen[] = {1, 10, 100, 1000};

// 10^0 .. 10^18: the units below stay under 2^63, so 19 digits at most.
inline constexpr uint64_t kPowerOfTenFrom0[] = {1,
                                                10,
                                                100,
                                                1000,
                                                10000,
                                                100000,
                                                1000000,
                                                10000000,
                                                100000000,
                                                1000000000,
                                                10000000000,
                                                100000000000,
                                                1000000000000,
                                                10000000000000,
                                                100000000000000,
                                                1000000000000000,
                                                10000000000000000,
                                                100000000000000000,
                                                1000000000000000000};

// "00" "01" .. "99".
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// ".000" ".001" .. ".999": the point and three decimals, four bytes each.
inline constexpr auto kPointAndThreeDecimals = [] {
  std::array<char, 4000> t{};
  for (int d = 0; d < 1000; d++) {
    t[4 * d] = '.';
    t[4 * d + 1] = static_cast<char>('0' + d / 100);
    t[4 * d + 2] = static_cast<char>('0' + d / 10 % 10);
    t[4 * d + 3] = static_cast<char>('0' + d % 10);
  }
  return t;
}();

// Below this magnitude (< 2^50) the mantissa times 10^3 stays below 2^63 and the value has
// at least three fraction bits, so the integer path below needs no wider arithmetic.
inline constexpr double kIntegerPathLimit = 1e15;

}  // namespace fixed_text

// Writes value as printf("%*.*f", width, precision, value) would, without a terminating
// NUL, and returns the end of the text. width 0 .. 64, precision 0 .. 3; other precisions,
// magnitudes of 1e15 and more, NaN and infinities go through snprintf.
inline char *put_fixed(char *out, double value, int width, int precision) {
  using namespace fixed_text;
  if (precision < 0 || precision > 3 || !(std::fabs(value) < kIntegerPathLimit))
    return put_by_printf(out, value, width, precision);

  // |value| = mantissa * 2^-shift exactly.
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  int shift = 1074;
  if (biased_exponent != 0) {
    mantissa |= uint64_t{1} << 52;
    shift = 1075 - biased_exponent;  // at least 3 below the limit
  }

  // Round mantissa * 10^precision / 2^shift to an integer, ties to even. From a shift of 64 on
  // the half unit 2^(shift-1) exceeds every scaled mantissa (< 2^63), so the result is 0.
  const uint64_t scaled = mantissa * kPowerOfTen[precision];
  uint64_t units = 0;
  if (shift < 64) {
    units = scaled >> shift;
    const uint64_t rest = scaled & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    // Without branches: the rounding of random decimals is unpredictable.
    units += static_cast<uint64_t>(rest > half) | (static_cast<uint64_t>(rest == half) & units & 1);
  }

  // The field: padding, the sign (it follows the sign bit, so -0.0 and small negative values
  // give "-0", as printf writes them), the integer digits, the point and the decimals.
  uint64_t whole = units, decimals = 0;
  switch (precision) {
    case 1: whole = units / 10, decimals = units % 10; break;
    case 2: whole = units / 100, decimals = units % 100; break;
    case 3: whole = units / 1000, decimals = units % 1000; break;
    default: break;
  }
  // Digit count from the bit length: 1233 / 4096 is just above log10(2), so the estimate is
  // the count or one more, and the comparison settles it.
  // (whole | 1 counts 0 as one digit and crosses no power of ten.)
  const uint64_t odd = whole | 1;
  const int estimate = ((std::bit_width(odd) * 1233) >> 12) + 1;
  const int digits = estimate - (odd < kPowerOfTenFrom0[estimate - 1] ? 1 : 0);
  const int body = digits + (precision > 0 ? precision + 1 : 0);
  const int pad = width - body - (negative ? 1 : 0);
  if (pad > 0) {
    if (pad <= 16) std::memcpy(out, "                ", 16);
    else std::memset(out, ' ', static_cast<size_t>(pad));
    out += pad;
  }
  if (negative) *out++ = '-';
  char *const end = out + body;
  char *p = end;
  if (precision == 3) {
    p -= 4;
    std::memcpy(p, kPointAndThreeDecimals.data() + 4 * decimals, 4);
  } else {
    for (int i = 0; i < precision; i++) {
      *--p = static_cast<char>('0' + decimals % 10);
      decimals /= 10;
    }
    if (precision > 0) *--p = '.';
  }
  // Integer digits two at a time, from the last pair backwards.
  while (whole >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (whole % 100), 2);
    whole /= 100;
  }
  if (whole >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * whole, 2);
  } else {
    *--p = static_cast<char>('0' + whole);
  }
  return end;
}

}  // namespace polyest
