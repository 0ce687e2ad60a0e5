#include "swap_io.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace polyest {

namespace {

template <class U>
void reverse_elements(unsigned char *p, size_t count) {
  for (size_t i = 0; i < count; i++, p += sizeof(U)) {
    U v;
    std::memcpy(&v, p, sizeof(U));
    if constexpr (sizeof(U) == 2) v = static_cast<U>((v >> 8) | (v << 8));
    if constexpr (sizeof(U) == 4) v = __builtin_bswap32(v);
    if constexpr (sizeof(U) == 8) v = __builtin_bswap64(v);
    std::memcpy(p, &v, sizeof(U));
  }
}

}  // namespace

void swap_to_file_order(void *buf, int size, size_t count) {
  if constexpr (std::endian::native == std::endian::big) return;
  unsigned char *p = static_cast<unsigned char *>(buf);
  switch (size) {
    case 2: reverse_elements<uint16_t>(p, count); break;
    case 4: reverse_elements<uint32_t>(p, count); break;
    case 8: reverse_elements<uint64_t>(p, count); break;
    default: break;
  }
}

size_t fr_swap(void *buf, int size, size_t count, FILE *fp) {
  size_t n = fread(buf, static_cast<size_t>(size), count, fp);
  swap_to_file_order(buf, size, count);
  return n;
}

size_t fr_swap_zero_rest(void *buf, int size, size_t count, FILE *fp) {
  const size_t bytes = static_cast<size_t>(size) * count;
  const size_t got = fread(buf, 1, bytes, fp);
  std::memset(static_cast<unsigned char *>(buf) + got, 0, bytes - got);
  swap_to_file_order(buf, size, count);
  return size > 0 ? got / static_cast<size_t>(size) : 0;
}

size_t fw_swap(void *buf, int size, size_t count, FILE *fp) {
  swap_to_file_order(buf, size, count);
  return fwrite(buf, static_cast<size_t>(size), count, fp);
}

}  // namespace polyest
