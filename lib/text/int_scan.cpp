#include "int_scan.h"

#include <climits>

namespace polyest {

namespace {

int settle(int converted, long long value, int *dest) {
  if (converted != 1) return converted;
  if (value < INT_MIN || value > INT_MAX) return 0;
  *dest = static_cast<int>(value);
  return 1;
}

}  // namespace

int sscan_int32(const char *text, int *dest) {
  long long value = 0;
  const int converted = sscanf(text, "%lld", &value);
  return settle(converted, value, dest);
}

int fscan_int32(FILE *fp, int *dest) {
  long long value = 0;
  const int converted = fscanf(fp, "%lld", &value);
  return settle(converted, value, dest);
}

}  // namespace polyest
