#include "runtime/alloc.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Product a * b in bytes; false when it does not fit in size_t.
bool checked_product(size_t a, size_t b, size_t *out) {
  return !__builtin_mul_overflow(a, b, out);
}

[[noreturn]] void fail(const char *msg) {
  fputs(msg, stderr);
  exit(-1);
}

[[noreturn]] void fail_size(const char *fmt, size_t value) {
  fprintf(stderr, fmt, static_cast<unsigned long long>(value));
  exit(-1);
}

// Zero-filled block of a * b * c bytes, or nullptr when the size does not fit or memory
// runs out.
void *zeroed(size_t a, size_t b, size_t c) {
  size_t ab, bytes;
  if (!checked_product(a, b, &ab) || !checked_product(ab, c, &bytes)) return nullptr;
  return calloc(1, bytes);
}

}  // namespace

void *calloc_1d(size_t nv, size_t size) {
  if (nv == 0) fail_size("\nERROR: calloc_1d: number of elements <= 0: %llu\n", nv);
  if (size == 0) fail_size("\nERROR: calloc_1d: element size <= 0: %llu\n", size);
  void *p = zeroed(nv, size, 1);
  if (p == nullptr) fail("\nERROR calloc_1d: memory allocation error for data values\n\n");
  return p;
}

void *calloc_2d_data(size_t ncols, size_t nlines, size_t size) {
  if (ncols == 0) fail_size("\nERROR: calloc_2d: number of columns <= 0: %llu\n", ncols);
  if (nlines == 0) fail_size("\nERROR: calloc_2d: number of lines <= 0: %llu\n", nlines);
  if (size == 0) fail_size("\nERROR: calloc_2d: element size <= 0: %llu\n", size);
  void *p = zeroed(ncols, nlines, size);
  if (p == nullptr) fail("\nERROR calloc_2d: memory allocation error for data values\n\n");
  return p;
}

void *calloc_2d_lines(size_t nlines, size_t ptr_size) {
  size_t bytes;
  void *p = checked_product(nlines, ptr_size, &bytes) ? malloc(bytes) : nullptr;
  if (p == nullptr) fail("\nERROR calloc_2d: memory allocation error for line pointers\n\n");
  return p;
}

void zero_1d(void *buf, int count, size_t size) {
  size_t bytes;
  if (count <= 0 || !checked_product(static_cast<size_t>(count), size, &bytes)) return;
  memset(buf, 0, bytes);
}
