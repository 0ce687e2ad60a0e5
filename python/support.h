#pragma once
// What the module's parts share: the C locale for the library's text, Python's OSError from
// errno or a message, allocation that throws std::bad_alloc (pybind11 raises MemoryError), and
// the report text gathered from the program's report functions.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include <pybind11/pybind11.h>

namespace polyest_py {

// While it lives, this thread formats and scans numbers in the C locale, as the program does
// (it never calls setlocale), whatever locale the interpreter has set.
class CLocale {
 public:
  CLocale() : c_(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr))) {
    if (c_ == static_cast<locale_t>(nullptr)) throw std::bad_alloc();
    old_ = uselocale(c_);
  }
  ~CLocale() {
    uselocale(old_);
    freelocale(c_);
  }
  CLocale(const CLocale &) = delete;
  CLocale &operator=(const CLocale &) = delete;

 private:
  locale_t c_, old_;
};

// OSError from errno (read at once) with the file name; OSError with a message.
[[noreturn]] inline void raise_errno(const std::string &path) {
  PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  throw pybind11::error_already_set();
}
[[noreturn]] inline void raise_os_error(const std::string &message) {
  PyErr_SetString(PyExc_OSError, message.c_str());
  throw pybind11::error_already_set();
}

// Zero-filled memory owned by a unique_ptr; throws std::bad_alloc when it cannot be had.
struct FreeDeleter {
  void operator()(void *p) const { free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, FreeDeleter>;

template <class T>
T *zeroed(size_t count) {
  void *p = calloc(count == 0 ? 1 : count, sizeof(T));
  if (p == nullptr) throw std::bad_alloc();
  return static_cast<T *>(p);
}

// nlines line pointers over one zero-filled block of ncols * nlines elements, laid out as
// runtime/alloc.h's calloc_2d lays them out (free_2d releases them).
template <class T>
T **zeroed_lines(size_t ncols, size_t nlines) {
  size_t total;
  if (__builtin_mul_overflow(ncols, nlines, &total)) throw std::bad_alloc();
  Owned<T> data(zeroed<T>(total));
  T **lines = static_cast<T **>(malloc((nlines == 0 ? 1 : nlines) * sizeof(T *)));
  if (lines == nullptr) throw std::bad_alloc();
  for (size_t i = 0; i < nlines; i++) lines[i] = data.get() + i * ncols;
  if (nlines == 0) lines[0] = data.get();
  data.release();
  return lines;
}

// Text printed onto a FILE * by the program's report functions, gathered in memory.
class ReportText {
 public:
  template <class Print>
  void print(Print print_onto) {
    char *buffer = nullptr;
    size_t length = 0;
    FILE *out = open_memstream(&buffer, &length);
    if (out == nullptr) throw std::bad_alloc();
    print_onto(out);
    const bool failed = ferror(out) != 0;
    const bool close_failed = fclose(out) != 0;
    Owned<char> owned(buffer);
    if (failed || close_failed) throw std::bad_alloc();
    text_.append(buffer, length);
  }
  void append(const char *s) { text_.append(s); }
  const std::string &text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace polyest_py
