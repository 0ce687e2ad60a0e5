#pragma once
// Zero-filled allocation that ends the run on a zero size or on exhausted memory, so that
// no caller has to test for failure. Every byte count is computed overflow-safe. Large blocks
// are mappings of their own (on transparent huge pages where offered): every block of
// calloc_1d and calloc_2d_data is released with free_1d, never with free().
#include <cstddef>
#include <cstdlib>

void *calloc_1d(size_t nv, size_t size);

// Releases a block of calloc_1d or calloc_2d_data (nullptr: nothing).
void free_1d(void *p);

void zero_1d(void *buf, int count, size_t size);

// The 2-D block: the size tests and the data allocation, with their messages.
void *calloc_2d_data(size_t ncols, size_t nlines, size_t size);
// The table of nlines pointers, each of ptr_size bytes, with its message.
void *calloc_2d_lines(size_t nlines, size_t ptr_size);

// Typed front end of calloc_1d: the same checks and messages, with sizeof(T) as element size.
template <class T>
T *calloc_1d_of(size_t nv) {
  return static_cast<T *>(calloc_1d(nv, sizeof(T)));
}

// nlines line pointers over one contiguous zero-filled block of ncols * nlines elements of T.
// Note the argument order: columns (elements per line) first.
template <class T>
T **calloc_2d(size_t ncols, size_t nlines) {
  T *data = static_cast<T *>(calloc_2d_data(ncols, nlines, sizeof(T)));
  T **lines = static_cast<T **>(calloc_2d_lines(nlines, sizeof(T *)));
  for (size_t i = 0; i < nlines; i++) lines[i] = data + i * ncols;
  return lines;
}

// Releases an array made by calloc_2d: its data block, then its line table.
template <class T>
void free_2d(T **lines) {
  if (lines == nullptr) return;
  free_1d(lines[0]);
  free(lines);
}
