#pragma once
// Integers read as "%d" reads them, with one difference: digits whose value does not fit a
// 32-bit signed integer (-2147483648 .. 2147483647) are no number, where "%d" would wrap them
// silently. The characters taken are those "%d" takes ("%lld" takes the same, and beyond its
// own range the C library gives its largest or smallest value, which is outside ours too).
#include <cstdio>

namespace polyest {

// 1 with the value in *dest; otherwise what sscanf / fscanf returned for no conversion (0, or
// EOF at the end of the input), and *dest unchanged.
int sscan_int32(const char *text, int *dest);
int fscan_int32(FILE *fp, int *dest);

}  // namespace polyest
