// The slow path of put_fixed: snprintf.
#include <cstdio>

#include "fixed_text.h"

namespace polyest {

char *put_by_printf(char *out, double value, int width, int precision) {
  const int n = snprintf(out, FIXED_TEXT_MAX, "%*.*f", width, precision, value);
  return out + n;
}

}  // namespace polyest
