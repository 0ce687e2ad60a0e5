#pragma once
// Fixed-point text of doubles, byte for byte what printf's "%<width>.<precision>f" writes in
// the C locale with the default rounding mode, without printf's cost on the common values.

// Room that put_fixed needs at out for any value, width and precision it accepts.
constexpr int FIXED_TEXT_MAX = 400;

// Writes value as printf("%*.*f", width, precision, value) would, without a terminating
// NUL, and returns the end of the text. width 0 .. 64, precision 0 .. 3; other precisions,
// magnitudes of 1e15 and more, NaN and infinities go through snprintf.
char *put_fixed(char *out, double value, int width, int precision);
