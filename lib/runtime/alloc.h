#pragma once
// Zero-filled allocation that reports a refused size or exhausted memory as a status, with the
// program's message for each. Every byte count is computed overflow-safe. Large blocks are
// mappings of their own (on transparent huge pages where offered): every block of calloc_1d
// and calloc_2d_data is released with free_1d, never with free().
#include <cstddef>
#include <cstdlib>
#include <string>

namespace polyest {

// Why an allocation was refused: a zero count or size, or no memory for the data or for a
// 2-D array's line pointers.
enum ALLOC_STATUS {
  ALLOC_OK = 0,
  ALLOC_NO_ELEMENTS,       // calloc_1d: a count of 0
  ALLOC_NO_ELEMENT_SIZE,   // calloc_1d: an element size of 0
  ALLOC_NO_MEMORY,         // calloc_1d: the data
  ALLOC_2D_NO_COLUMNS,     // calloc_2d: 0 columns
  ALLOC_2D_NO_LINES,       // calloc_2d: 0 lines
  ALLOC_2D_NO_ELEMENT_SIZE,
  ALLOC_2D_NO_MEMORY,      // calloc_2d: the data
  ALLOC_2D_NO_LINE_MEMORY, // calloc_2d: the line pointers
};

// The first refusal of a series of allocations: its status and the count it refused.
struct ALLOC_ERROR {
  int status;
  size_t count;
};

// The program's message for a refusal, as it prints it on standard error.
std::string alloc_message(const ALLOC_ERROR &err);

// A zero-filled block of nv elements of size bytes; nullptr after setting *err.
void *calloc_1d(size_t nv, size_t size, ALLOC_ERROR *err);

// Releases a block of calloc_1d or calloc_2d_data (nullptr: nothing).
void free_1d(void *p);

void zero_1d(void *buf, int count, size_t size);

// The 2-D block (its size tests and data) and its table of nlines pointers of ptr_size bytes;
// nullptr after setting *err.
void *calloc_2d_data(size_t ncols, size_t nlines, size_t size, ALLOC_ERROR *err);
void *calloc_2d_lines(size_t nlines, size_t ptr_size, ALLOC_ERROR *err);

// Typed front end of calloc_1d, with sizeof(T) as element size.
template <class T>
T *calloc_1d_of(size_t nv, ALLOC_ERROR *err) {
  return static_cast<T *>(calloc_1d(nv, sizeof(T), err));
}

// nlines line pointers over one contiguous zero-filled block of ncols * nlines elements of T
// (the block first, then the pointers); nullptr after setting *err, nothing kept.
// Note the argument order: columns (elements per line) first.
template <class T>
T **calloc_2d(size_t ncols, size_t nlines, ALLOC_ERROR *err) {
  T *data = static_cast<T *>(calloc_2d_data(ncols, nlines, sizeof(T), err));
  if (data == nullptr) return nullptr;
  T **lines = static_cast<T **>(calloc_2d_lines(nlines, sizeof(T *), err));
  if (lines == nullptr) {
    free_1d(data);
    return nullptr;
  }
  for (size_t i = 0; i < nlines; i++) lines[i] = data + i * ncols;
  return lines;
}

// Releases an array made by calloc_2d: its data block, then its line table (nullptr: nothing).
template <class T>
void free_2d(T **lines) {
  if (lines == nullptr) return;
  free_1d(lines[0]);
  free(lines);
}

}  // namespace polyest
