#pragma once
// Byte-order converting array I/O. Files store every 2-, 4- and 8-byte value big-endian;
// each call moves a whole array with one read or one write and converts it in place.
#include <cstddef>
#include <cstdio>

namespace polyest {

// Reads count elements of size bytes; converts all count elements to host order,
// whatever the read returned. Returns the number of whole elements read.
size_t fr_swap(void *buf, int size, size_t count, FILE *fp);

// fr_swap into a buffer that is used again: the bytes the read did not fill are set to zero
// before the conversion, so the result is that of fr_swap into a zero-filled buffer.
size_t fr_swap_zero_rest(void *buf, int size, size_t count, FILE *fp);

// Converts count elements of the caller's buffer to file order in place (the buffer is
// not restored), then writes them. Returns the number of whole elements written.
size_t fw_swap(void *buf, int size, size_t count, FILE *fp);

// Reverses the bytes of each element when the host is little-endian; sizes other than
// 2, 4 and 8 are left unchanged.
void swap_to_file_order(void *buf, int size, size_t count);

}  // namespace polyest
