#pragma once
// What the fuzz targets share: a quiet standard output and a scratch folder per process.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// The program and the readers report on standard output; a fuzz run discards it.
inline void silence_stdout() {
  static bool done = false;
  if (!done && freopen("/dev/null", "w", stdout) == nullptr) abort();
  done = true;
}

// Also the program's error messages: the stream stderr goes to /dev/null, while file
// descriptor 2 stays open for the sanitizers' and the fuzzer's reports.
inline void silence_console() {
  silence_stdout();
  static FILE *null_err = fopen("/dev/null", "w");
  if (null_err == nullptr) abort();
  stderr = null_err;
}

// A folder for the run's files, made once per process and removed at its exit.
inline const std::string &scratch_dir() {
  static char path[] = "/tmp/polyest_fuzz_XXXXXX";  // outlives the exit handler
  static const std::string dir = [] {
    if (mkdtemp(path) == nullptr) abort();
    atexit([] { std::filesystem::remove_all(path); });
    return std::string(path);
  }();
  return dir;
}

inline void write_file(const std::string &path, const void *data, size_t size) {
  FILE *fp = fopen(path.c_str(), "wb");
  if (fp == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, fp) != size) abort();
  if (fclose(fp) != 0) abort();
}

inline std::string read_whole_file(const std::string &path) {
  std::string s;
  FILE *fp = fopen(path.c_str(), "rb");
  if (fp == nullptr) return s;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, fp)) > 0;) s.append(buf, n);
  fclose(fp);
  return s;
}
