#pragma once
// What the module's parts share: the C locale for the library's text, Python's OSError from
// errno or a message, MemoryError from a refused allocation, small allocations that throw
// std::bad_alloc (pybind11 raises MemoryError), and the report text gathered from the
// library's report functions.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include <pybind11/pybind11.h>

#include "runtime/alloc.h"

namespace polyest_py {

// The library's names, unqualified in the module's code.
using namespace ::polyest;

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

// MemoryError with the library's message for a refused allocation (its text without the
// program's heading and blank lines).
[[noreturn]] inline void raise_memory_error(const polyest::ALLOC_ERROR &err) {
  std::string text = polyest::alloc_message(err);
  const size_t begin = text.find_first_not_of('\n'), end = text.find_last_not_of('\n');
  text = text.substr(begin, end + 1 - begin);
  if (text.rfind("ERROR: ", 0) == 0) text.erase(0, 7);
  if (text.rfind("ERROR ", 0) == 0) text.erase(0, 6);
  PyErr_SetString(PyExc_MemoryError, text.c_str());
  throw pybind11::error_already_set();
}

// Text printed onto a FILE * by the library's report functions, gathered in memory.
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
