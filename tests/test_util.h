#pragma once
// What the unit tests share: the common headers, scratch directories, whole files, captured
// output, child commands, 1-based matrices and the LAPACK least-squares solver as reference.
#include <gtest/gtest.h>
#include <sys/wait.h>

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

extern "C" void dgelss_(const int *m, const int *n, const int *nrhs, double *a, const int *lda,
                        double *b, const int *ldb, double *s, const double *rcond, int *rank,
                        double *work, const int *lwork, int *info);

// A new directory under the test temporary directory, removed with the object.
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

// What f prints on standard output.
template <class F>
std::string stdout_of(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

// The exit status (-1 when the command did not exit), standard output and standard error.
struct CommandResult { int status; std::string out, err; };

inline CommandResult run_command(const std::string &command) {
  ScratchDir d;
  int rc = std::system((command + " >" + d.path("out") + " 2>" + d.path("err")).c_str());
  return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(d.path("out")), slurp(d.path("err"))};
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

// LAPACK's least-squares solution x[0..n) of a x = b (b 1-based or empty) leaving out singular
// values below rcond of the largest; s receives the singular values, largest first.
inline std::vector<double> lapack_solve(Matrix &a, const std::vector<double> &b, double rcond,
                                        std::vector<double> *s) {
  int m = a.rows, n = a.cols, one = 1, ldb = std::max(m, n), rank = 0, info = 0, lwork = -1;
  std::vector<double> col(size_t(m) * n), x(ldb);
  for (int i = 1; i <= m; i++) {
    for (int j = 1; j <= n; j++) col[(i - 1) + size_t(j - 1) * m] = a[i][j];
    if (!b.empty()) x[i - 1] = b[i];
  }
  s->assign(std::min(m, n), 0.0);
  std::vector<double> work(1);
  for (int pass = 0; pass < 2; pass++) {  // the first pass asks for the size of work
    dgelss_(&m, &n, &one, col.data(), &m, x.data(), &ldb, s->data(), &rcond, &rank, work.data(),
            &lwork, &info);
    if (pass == 0) work.resize(lwork = int(work[0]));
  }
  EXPECT_EQ(info, 0);
  x.resize(n);
  return x;
}
