#pragma once
// Typed values taken by keyword from a keyword/value text held whole in memory.
// The first occurrence of the keyword anywhere in the text wins; the value runs from the
// first byte after the lead-in (blanks, tabs, double quotes, colons) to the first newline,
// semicolon or NUL byte, or the end of the text, less trailing blanks, tabs, quotes and CRs.
// Every reader returns 0 on success, -1 after printing a warning on standard output (or into
// the innermost WarningCapture of the thread).
#include <string>

namespace polyest {

// Copies the value into dest (capacity bytes, at least 1); a longer value is cut to
// capacity - 1 characters. Not found: dest is empty.
int rd_str(const char *text, int len, const char *key, char *dest, int capacity);
int rd_int(const char *text, int len, const char *key, int *dest);
int rd_dbl(const char *text, int len, const char *key, double *dest);
int rd_flt(const char *text, int len, const char *key, float *dest);
// n values separated by blanks, commas or tabs.
int rd_vec(const char *text, int len, const char *key, double *dest, int n);

// While it lives, the readers' warnings of this thread are collected in text() instead of
// being printed (for callers that report them their own way).
class WarningCapture {
 public:
  WarningCapture();
  ~WarningCapture();
  WarningCapture(const WarningCapture &) = delete;
  WarningCapture &operator=(const WarningCapture &) = delete;
  const std::string &text() const { return text_; }

 private:
  std::string text_;
  std::string *outer_;
};

}  // namespace polyest
