// Fuzz target: the keyword readers and read_KOLT_par over arbitrary bytes.
// Input: one byte n, then n % 48 bytes of keyword, one byte of reader settings (vector count
// and string capacity), then the parameter text. The whole input is also read as a KOLT_par
// file, and the record is formatted again.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "params/KOLT_io.h"
#include "fuzz_util.h"
#include "params/keyword_reader.h"

using namespace polyest;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  silence_stdout();
  if (size < 2) return 0;
  const size_t klen = std::min<size_t>(data[0] % 48, size - 2);
  const std::string key(reinterpret_cast<const char *>(data + 1), klen);
  const uint8_t settings = data[1 + klen];
  const size_t tlen = size - 2 - klen;
  // The text in a block of its own size plus the terminating NUL, so any read beyond it is
  // caught.
  char *text = static_cast<char *>(malloc(tlen + 1));
  memcpy(text, data + 2 + klen, tlen);
  text[tlen] = '\0';
  const int len = static_cast<int>(tlen);

  const int capacity = 1 + (settings >> 4) * 9;  // 1 .. 136
  char *str = static_cast<char *>(malloc(static_cast<size_t>(capacity)));
  if (rd_str(text, len, key.c_str(), str, capacity) == 0 && strlen(str) >= size_t(capacity))
    abort();
  int i;
  double d;
  float f;
  rd_int(text, len, key.c_str(), &i);
  rd_dbl(text, len, key.c_str(), &d);
  rd_flt(text, len, key.c_str(), &f);
  const int n = (settings & 0x0F) - 2;  // -2 .. 13
  double *vec = static_cast<double *>(malloc(sizeof(double) * static_cast<size_t>(n > 0 ? n : 1)));
  rd_vec(text, len, key.c_str(), vec, n);
  free(vec);
  free(str);
  free(text);

  // The whole input as a KOLT_par file: a stream over a copy of the bytes.
  std::string whole(reinterpret_cast<const char *>(data), size);
  FILE *fp = fmemopen(whole.data(), whole.size(), "r");
  if (fp == nullptr) abort();
  KOLT_PAR kp{};
  ALLOC_ERROR err;
  if (read_KOLT_par(fp, &kp, &err) != 0) abort();  // a regular file always has a length
  fclose(fp);
  if (memchr(kp.title, '\0', sizeof kp.title) == nullptr) abort();
  const std::string text_out = format_KOLT_par(&kp);
  if (text_out.rfind("Varmo KOLT Processing Parameters\n", 0) != 0) abort();
  return 0;
}
