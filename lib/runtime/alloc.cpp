#include "alloc.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace polyest {
namespace {

// Large blocks: tuning of their own mappings.
//  - LARGE_BLOCK_BYTES: blocks of at least this many bytes get a mapping of their own, aligned
//    to HUGE_PAGE_BYTES and a whole number of them long, marked for transparent huge pages
//    where the system offers them. Each first touch of such a block then faults in one 2 MiB
//    page instead of one 4 KiB page (512 times fewer faults), and the pages never touched
//    stay unallocated, as with calloc. Below it, calloc serves: a mapping would waste most
//    of its last huge page on a small block.
//  - HUGE_PAGE_BYTES: the transparent huge page size of x86-64 (and of arm64 with 4 KiB
//    pages); on another size the advice only loses some of its effect.
//  - MAX_LARGE_BLOCKS: how many large blocks can be live at once (a run holds about a dozen);
//    beyond that, calloc serves.
constexpr size_t LARGE_BLOCK_BYTES = size_t{4} << 20;
constexpr size_t HUGE_PAGE_BYTES = size_t{2} << 20;
constexpr int MAX_LARGE_BLOCKS = 64;

// The live large blocks, so that free_1d knows which of its pointers to unmap.
struct LargeBlock {
  void *start;
  size_t bytes;
};
LargeBlock large_blocks[MAX_LARGE_BLOCKS];
std::mutex large_blocks_lock;

// Product a * b in bytes; false when it does not fit in size_t.
bool checked_product(size_t a, size_t b, size_t *out) {
  return !__builtin_mul_overflow(a, b, out);
}

// nullptr after recording the refusal.
void *refuse(ALLOC_ERROR *err, int status, size_t count) {
  *err = ALLOC_ERROR{status, count};
  return nullptr;
}

// A zero-filled mapping of bytes (>= LARGE_BLOCK_BYTES) rounded up to whole huge pages, at a
// huge page boundary, recorded in large_blocks; nullptr when it cannot be had or recorded.
void *map_large(size_t bytes) {
  if (bytes > SIZE_MAX - 2 * HUGE_PAGE_BYTES) return nullptr;
  const size_t length = (bytes + HUGE_PAGE_BYTES - 1) / HUGE_PAGE_BYTES * HUGE_PAGE_BYTES;
  std::lock_guard<std::mutex> hold(large_blocks_lock);
  int slot = 0;
  while (slot < MAX_LARGE_BLOCKS && large_blocks[slot].start != nullptr) slot++;
  if (slot == MAX_LARGE_BLOCKS) return nullptr;
  // One huge page more than needed, then the ends beyond the aligned block are given back.
  const size_t padded = length + HUGE_PAGE_BYTES;
  void *map = mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) return nullptr;
  const uintptr_t at = reinterpret_cast<uintptr_t>(map);
  const uintptr_t start = (at + HUGE_PAGE_BYTES - 1) / HUGE_PAGE_BYTES * HUGE_PAGE_BYTES;
  if (start > at) munmap(map, start - at);
  if (at + padded > start + length)
    munmap(reinterpret_cast<void *>(start + length), at + padded - (start + length));
  void *block = reinterpret_cast<void *>(start);
  // Advice only: without huge pages the block is an ordinary zero-filled mapping.
  madvise(block, length, MADV_HUGEPAGE);
  large_blocks[slot] = LargeBlock{block, length};
  return block;
}

// Zero-filled block of a * b * c bytes, or nullptr when the size does not fit or memory
// runs out.
void *zeroed(size_t a, size_t b, size_t c) {
  size_t ab, bytes;
  if (!checked_product(a, b, &ab) || !checked_product(ab, c, &bytes)) return nullptr;
  if (bytes >= LARGE_BLOCK_BYTES) {
    if (void *p = map_large(bytes)) return p;
  }
  return calloc(1, bytes);
}

}  // namespace

std::string alloc_message(const ALLOC_ERROR &err) {
  const char *format = "";
  switch (err.status) {
    case ALLOC_NO_ELEMENTS: format = "\nERROR: calloc_1d: number of elements <= 0: %llu\n"; break;
    case ALLOC_NO_ELEMENT_SIZE: format = "\nERROR: calloc_1d: element size <= 0: %llu\n"; break;
    case ALLOC_NO_MEMORY:
      format = "\nERROR calloc_1d: memory allocation error for data values\n\n";
      break;
    case ALLOC_2D_NO_COLUMNS: format = "\nERROR: calloc_2d: number of columns <= 0: %llu\n"; break;
    case ALLOC_2D_NO_LINES: format = "\nERROR: calloc_2d: number of lines <= 0: %llu\n"; break;
    case ALLOC_2D_NO_ELEMENT_SIZE: format = "\nERROR: calloc_2d: element size <= 0: %llu\n"; break;
    case ALLOC_2D_NO_MEMORY:
      format = "\nERROR calloc_2d: memory allocation error for data values\n\n";
      break;
    case ALLOC_2D_NO_LINE_MEMORY:
      format = "\nERROR calloc_2d: memory allocation error for line pointers\n\n";
      break;
  }
  char text[96];
  snprintf(text, sizeof text, format, static_cast<unsigned long long>(err.count));
  return text;
}

void *calloc_1d(size_t nv, size_t size, ALLOC_ERROR *err) {
  if (nv == 0) return refuse(err, ALLOC_NO_ELEMENTS, nv);
  if (size == 0) return refuse(err, ALLOC_NO_ELEMENT_SIZE, size);
  void *p = zeroed(nv, size, 1);
  return p != nullptr ? p : refuse(err, ALLOC_NO_MEMORY, 0);
}

void free_1d(void *p) {
  if (p == nullptr) return;
  {
    std::lock_guard<std::mutex> hold(large_blocks_lock);
    for (LargeBlock &b : large_blocks) {
      if (b.start != p) continue;
      munmap(b.start, b.bytes);
      b = LargeBlock{};
      return;
    }
  }
  free(p);
}

void *calloc_2d_data(size_t ncols, size_t nlines, size_t size, ALLOC_ERROR *err) {
  if (ncols == 0) return refuse(err, ALLOC_2D_NO_COLUMNS, ncols);
  if (nlines == 0) return refuse(err, ALLOC_2D_NO_LINES, nlines);
  if (size == 0) return refuse(err, ALLOC_2D_NO_ELEMENT_SIZE, size);
  void *p = zeroed(ncols, nlines, size);
  return p != nullptr ? p : refuse(err, ALLOC_2D_NO_MEMORY, 0);
}

void *calloc_2d_lines(size_t nlines, size_t ptr_size, ALLOC_ERROR *err) {
  size_t bytes;
  void *p = checked_product(nlines, ptr_size, &bytes) ? malloc(bytes) : nullptr;
  return p != nullptr ? p : refuse(err, ALLOC_2D_NO_LINE_MEMORY, 0);
}

void zero_1d(void *buf, int count, size_t size) {
  size_t bytes;
  if (count <= 0 || !checked_product(static_cast<size_t>(count), size, &bytes)) return;
  memset(buf, 0, bytes);
}

}  // namespace polyest
