#include "keyword_reader.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../text/int_scan.h"

namespace polyest {

namespace {

// Where this thread's warnings go while a WarningCapture lives; standard output otherwise.
thread_local std::string *captured_warnings = nullptr;

[[gnu::format(printf, 1, 2)]] void warn(const char *format, ...) {
  va_list ap, again;
  va_start(ap, format);
  va_copy(again, ap);
  const int n = vsnprintf(nullptr, 0, format, ap);
  std::string line(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
  vsnprintf(line.data(), line.size(), format, again);
  line.pop_back();
  va_end(again);
  va_end(ap);
  if (captured_warnings != nullptr) captured_warnings->append(line);
  else fputs(line.c_str(), stdout);
}

bool is_lead_in(char c) { return c == ' ' || c == '\t' || c == '"' || c == ':'; }
bool is_end_mark(char c) { return c == '\n' || c == ';' || c == '\0'; }
bool is_trailing(char c) { return c == ' ' || c == '\t' || c == '"' || c == '\r'; }
bool is_separator(char c) { return c == ' ' || c == ',' || c == '\t'; }

// The value of the first occurrence of key in text[0 .. len): its first byte and its
// length (0 for an empty value). Never reads beyond the text.
bool find_value(const char *text, int len, const char *key, const char **value, size_t *vlen) {
  size_t n = len > 0 ? static_cast<size_t>(len) : 0;
  size_t k = strlen(key);
  if (k == 0 || k > n) return false;
  for (size_t p = 0; p + k <= n; p++) {
    if (text[p] != key[0] || memcmp(text + p, key, k) != 0) continue;
    size_t start = p + k;
    while (start < n && is_lead_in(text[start])) start++;
    size_t end = start;
    while (end < n && !is_end_mark(text[end])) end++;
    while (end > start && is_trailing(text[end - 1])) end--;
    *value = text + start;
    *vlen = end - start;
    return true;
  }
  return false;
}

int convert(const char *s, int *dest) { return sscan_int32(s, dest); }
int convert(const char *s, double *dest) { return sscanf(s, "%le", dest); }
int convert(const char *s, float *dest) { return sscanf(s, "%e", dest); }

// The shared path of rd_int, rd_dbl and rd_flt; name is the reader's name in its warnings.
template <class T>
int read_number(const char *text, int len, const char *key, T *dest, const char *name) {
  *dest = 0;
  const char *value;
  size_t vlen;
  if (!find_value(text, len, key, &value, &vlen)) {
    warn("WARNING: subroutine %s, keyword not found: %s\n", name, key);
    return -1;
  }
  if (vlen == 0) {
    warn("WARNING %s: no value given for data with key: %s\n", name, key);
    return -1;
  }
  std::string buf(value, vlen);
  if (convert(buf.c_str(), dest) != 1) {
    *dest = 0;
    warn("WARNING %s: corrupted data value with key: %s  value: %s\n", name, key, buf.c_str());
    return -1;
  }
  return 0;
}

[[noreturn]] void rd_vec_memory_error() {
  fputs("\nERROR: memory allocation error in subroutine rd_vec\n\n", stderr);
  exit(-1);
}

}  // namespace

int rd_str(const char *text, int len, const char *key, char *dest, int capacity) {
  const char *value;
  size_t vlen;
  if (!find_value(text, len, key, &value, &vlen)) {
    if (capacity > 0) dest[0] = '\0';
    warn("WARNING: subroutine rd_str, keyword not found: %s\n", key);
    return -1;
  }
  if (capacity <= 0) return 0;
  size_t n = vlen < static_cast<size_t>(capacity - 1) ? vlen : static_cast<size_t>(capacity - 1);
  memcpy(dest, value, n);
  dest[n] = '\0';
  return 0;
}

int rd_int(const char *text, int len, const char *key, int *dest) {
  return read_number(text, len, key, dest, "rd_int");
}

int rd_dbl(const char *text, int len, const char *key, double *dest) {
  return read_number(text, len, key, dest, "rd_dbl");
}

int rd_flt(const char *text, int len, const char *key, float *dest) {
  return read_number(text, len, key, dest, "rd_flt");
}

int rd_vec(const char *text, int len, const char *key, double *dest, int n) {
  size_t cap = 512;
  char *buf = static_cast<char *>(malloc(cap));
  if (buf == nullptr) rd_vec_memory_error();
  for (int i = 0; i < n; i++) dest[i] = 0.0;

  const char *value;
  size_t vlen;
  if (!find_value(text, len, key, &value, &vlen)) {
    free(buf);
    warn("WARNING: subroutine rd_vec, keyword not found: %s\n", key);
    return -1;
  }
  if (vlen + 1 > cap) {
    cap = vlen + 1;
    char *bigger = static_cast<char *>(realloc(buf, cap));
    if (bigger == nullptr) rd_vec_memory_error();
    buf = bigger;
  }
  memcpy(buf, value, vlen);
  buf[vlen] = '\0';

  int status = 0;
  char *p = buf;
  for (int i = 0; i < n; i++) {
    while (*p != '\0' && is_separator(*p)) p++;
    if (*p == '\0') {
      warn("WARNING rd_vec: insufficient number of values: %d    key: %s\n", n, key);
      status = -1;
      break;
    }
    char *token = p;
    while (*p != '\0' && !is_separator(*p)) p++;
    if (*p != '\0') *p++ = '\0';
    if (sscanf(token, "%le", &dest[i]) != 1) {
      dest[i] = 0.0;
      warn("WARNING rd_vec: invalid entry for data with key: %s    value: %s\n", key, token);
      status = -1;
      break;
    }
  }
  free(buf);
  return status;
}

WarningCapture::WarningCapture() : outer_(captured_warnings) { captured_warnings = &text_; }

WarningCapture::~WarningCapture() { captured_warnings = outer_; }

}  // namespace polyest
