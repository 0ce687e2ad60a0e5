#pragma once
// What the tests share: the common headers, scratch folders, whole files, captured standard
// output and the one runner of child processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// A new folder under the test temporary folder, removed with the object.
struct ScratchDir {
  std::string root = testing::TempDir() + "polyest_XXXXXX";
  ScratchDir() { if (mkdtemp(root.data()) == nullptr) abort(); }
  ScratchDir(const ScratchDir &) = delete;
  ~ScratchDir() { std::filesystem::remove_all(root); }
  std::string path(const std::string &name) const { return root + "/" + name; }
};

inline std::string slurp(const std::string &path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

inline std::string replaced(std::string s, const std::string &from, const std::string &to) {
  for (size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size())
    s.replace(p, from.size(), to);
  return s;
}

// 1-based matrix over one block, row 0 and column 0 unused; p() is what the routines take.
struct Matrix {
  int rows, cols;
  std::vector<double> data;
  std::vector<double *> line;
  Matrix(int r, int c) : rows(r), cols(c), data(size_t(r + 1) * (c + 1)) {}
  double *operator[](int i) { return data.data() + size_t(i) * (cols + 1); }
  double **p() {
    line.clear();
    for (int i = 0; i <= rows; i++) line.push_back((*this)[i]);
    return line.data();
  }
};

inline bool same_bits(double a, double b) { return memcmp(&a, &b, sizeof a) == 0; }

// A literal text the tests compare with, kept beside the golden cases.
inline std::string expected_text(const std::string &name) {
  return slurp(std::string(TEST_DATA_DIR) + "/golden/texts/" + name);
}

// What f prints on standard output.
template <class F>
std::string stdout_of(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

// A child process: argv[0] is the program's path; it runs in workdir (when not empty) with
// stdin_path as standard input, standard output into stdout_path when not empty, env added to its environment and, when fsize_limit > 0,
// every file it writes capped at that size (a failing disk).
struct CHILD_COMMAND {
  std::vector<std::string> argv;
  std::string workdir, stdin_path = "/dev/null", stdout_path;
  std::vector<std::string> env;
  long fsize_limit = 0;
  std::string name;  // argv[0] as the child sees it; the path when empty
};

// Its exit status (-1 when it did not exit), standard output and standard error.
struct CHILD_RESULT {
  int status;
  std::string out, err;
};

CHILD_RESULT run_child(const CHILD_COMMAND &cmd);

inline CHILD_RESULT run_child(const std::vector<std::string> &argv) {
  CHILD_COMMAND cmd;
  cmd.argv = argv;
  return run_child(cmd);
}
