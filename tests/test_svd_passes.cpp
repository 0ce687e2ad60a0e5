// The fused passes against the straightforward decomposition and fit, bit for bit: U, w and
// V of svdcmp on random matrices of many shapes, the pair fit against two single fits, and
// whole program runs on generated scenes with the reference fit put in its place.
#include <unistd.h>

#include "model_fit.h"
#include "oracle/svd_oracle.h"
#include "pair_fit.h"
#include "polyest_run.h"
#include "test_util.h"

namespace {

bool same_bits(double a, double b) { return memcmp(&a, &b, sizeof a) == 0; }

// Random entries of mixed scale, with zero, repeated and proportional columns mixed in.
Matrix random_matrix(int m, int n, std::mt19937_64 &rng) {
  std::uniform_real_distribution<double> uni(-1.0, 1.0);
  std::uniform_int_distribution<int> kind(0, 5);
  Matrix a(m, n);
  for (int j = 1; j <= n; j++) {
    const int k = kind(rng);
    const double scale = std::pow(10.0, 6 * uni(rng));
    for (int i = 1; i <= m; i++) {
      if (k == 0) a[i][j] = 0.0;
      else if (k == 1 && j > 1) a[i][j] = 3.0 * a[i][j - 1];
      else if (k == 2) a[i][j] = std::round(4 * uni(rng));
      else a[i][j] = scale * uni(rng);
    }
  }
  return a;
}

TEST(SvdPasses, DecompositionMatchesReferenceBitForBit) {
  std::mt19937_64 rng(7);
  int cases = 0;
  for (int m : {1, 2, 3, 5, 6, 7, 10, 63, 64, 65, 130, 1000})
    for (int n = 1; n <= 8; n++)
      for (int rep = 0; rep < 4; rep++, cases++) {
        SCOPED_TRACE(testing::Message() << m << "x" << n << " #" << rep);
        Matrix a = random_matrix(m, n, rng), ref = a, v(n, n), vref(n, n);
        std::vector<double> w(n + 1), wref(n + 1);
        svdcmp(a.p(), m, n, w.data(), v.p());
        oracle_svdcmp(ref.p(), m, n, wref.data(), vref.p());
        for (int j = 1; j <= n; j++) {
          ASSERT_TRUE(same_bits(w[j], wref[j])) << "w" << j;
          for (int i = 1; i <= m; i++) ASSERT_TRUE(same_bits(a[i][j], ref[i][j])) << i << "," << j;
          for (int i = 1; i <= n; i++) ASSERT_TRUE(same_bits(v[i][j], vref[i][j])) << i << "," << j;
        }
      }
  EXPECT_EQ(cases, 12 * 8 * 4);
}

// The first MA terms of 1, x, y, xy, x^2, y^2, x^2 y (the program's bases take 1, 3, 4, 6).
template <int MA>
void poly_basis(double p[], double x, double y) {
  const double terms[] = {1.0, x, y, x * y, x * x, y * y, x * x * y};
  for (int j = 1; j <= MA; j++) p[j] = terms[j - 1];
}
const basis_fn test_bases[] = {nullptr,        poly_basis<1>, poly_basis<2>, poly_basis<3>,
                               poly_basis<4>, poly_basis<5>, poly_basis<6>, poly_basis<7>};

// Each build of the pair fit this machine can run (SSE2 always, AVX where supported).
std::vector<std::pair<const char *, pair_fit_fn>> pair_fit_builds() {
  std::vector<std::pair<const char *, pair_fit_fn>> builds{{"sse2", pair_fit_sse2::svdfit_pair}};
#ifdef POLYEST_AVX_PATH
  if (pair_fit_avx_usable()) builds.push_back({"avx", pair_fit_avx::svdfit_pair});
#endif
  return builds;
}

TEST(SvdPasses, PairFitMatchesTwoReferenceFits) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> uni(0.0, 1.0);
  for (auto [build, pair_fit_build] : pair_fit_builds())
  for (int m : {1, 3, 4, 5, 6, 7, 64, 65, 130, 500, 20000})
    for (int ma : {1, 2, 3, 4, 5, 6, 7}) {
      SCOPED_TRACE(testing::Message() << build << ": " << m << " samples, " << ma << " terms");
      std::vector<double> x(m + 1), y(m + 1), z1(m + 1), z2(m + 1), sig(m + 1);
      for (int i = 1; i <= m; i++) {
        x[i] = std::floor(2000 * uni(rng)), y[i] = (m < 100 ? 0.0 : std::floor(4000 * uni(rng)));
        z1[i] = 3.0 + 1e-4 * x[i] + 0.05 * uni(rng);
        z2[i] = -2.0 + 2e-4 * y[i] + (uni(rng) < 0.1 ? 5.0 : 0.05 * uni(rng));
        sig[i] = uni(rng) < 0.2 ? 1.0e10 : 1.0 / (0.1 + uni(rng));  // some weigh nothing
      }
      Matrix cols(ma, m), u(m, ma), v(ma, ma), vref(ma, ma);
      std::vector<double> a1(ma + 1), a2(ma + 1), r1(ma + 1), r2(ma + 1), w(ma + 1), wref(ma + 1);
      double c1, c2, rc1, rc2;
      basis_fn f = test_bases[ma];
      std::vector<double *> colp(ma + 1);
      for (int j = 0; j <= ma; j++) colp[j] = cols[j];
      pair_fit_build(x.data(), y.data(), z1.data(), z2.data(), sig.data(), m, a1.data(),
                     a2.data(), ma, colp.data(), v.p(), w.data(), &c1, &c2, f);
      oracle_svdfit(x.data(), y.data(), z1.data(), sig.data(), m, r1.data(), ma, u.p(), vref.p(),
                    wref.data(), &rc1, f);
      oracle_svdfit(x.data(), y.data(), z2.data(), sig.data(), m, r2.data(), ma, u.p(), vref.p(),
                    wref.data(), &rc2, f);
      EXPECT_TRUE(same_bits(c1, rc1) && same_bits(c2, rc2)) << c1 << " " << rc1;
      for (int j = 1; j <= ma; j++) {
        EXPECT_TRUE(same_bits(a1[j], r1[j]) && same_bits(a2[j], r2[j])) << "term " << j;
        EXPECT_TRUE(same_bits(w[j], wref[j])) << "w" << j;
        for (int i = 1; i <= ma; i++) EXPECT_TRUE(same_bits(v[i][j], vref[i][j]));
      }
    }
}

// The reference for the program: two single fits on a row copy of the column design.
void reference_pair_fit(double x[], double y[], double z1[], double z2[], double sig[], int ndata,
                        double a1[], double a2[], int ma, double **, double **v, double w[],
                        double *, double *, basis_fn funcs) {
  Matrix u(ndata, ma);
  double chisq1, chisq2;  // the program asks for none
  oracle_svdfit(x, y, z1, sig, ndata, a1, ma, u.p(), v, w, &chisq1, funcs);
  oracle_svdfit(x, y, z2, sig, ndata, a2, ma, u.p(), v, w, &chisq2, funcs);
}

// Runs the program in a child with the given fit; standard output into out.
int run_in_child(pair_fit_fn fit, std::vector<std::string> args, const std::string &out) {
  pid_t pid = fork();
  if (pid == 0) {
    pair_fit = fit;
    if (freopen(out.c_str(), "w", stdout) == nullptr) _exit(3);
    std::vector<char *> argv;
    for (auto &s : args) argv.push_back(s.data());
    argv.push_back(nullptr);
    int rc = polyest_run(int(args.size()), argv.data());
    fflush(stdout);
    _exit(rc & 0xff);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string without_times(const std::string &text) {
  std::string out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find("time (s):") == std::string::npos) out += line + "\n";
  return out;
}

TEST(SvdPasses, WholeRunsMatchReferenceFit) {
  const struct { int nr, naz, seed, npoly; } scenes[] = {
      {150, 170, 1, 6}, {200, 90, 2, 4}, {97, 203, 3, 3}, {64, 64, 4, 1}};
  for (const auto &sc : scenes) {
    SCOPED_TRACE(testing::Message() << sc.nr << "x" << sc.naz << " seed " << sc.seed);
    ScratchDir d;
    const std::string gen = std::string(MKSCENE_BIN) + " " + d.path("offs") + " " + d.path("ccp") +
                            " " + d.path("par") + " --nr " + std::to_string(sc.nr) + " --naz " +
                            std::to_string(sc.naz) + " --seed " + std::to_string(sc.seed) +
                            " --outliers 0.1 --failed 0.02";
    ASSERT_EQ(run_command(gen).status, 0);
    std::string results[2];
    int k = 0;
    for (pair_fit_fn fit : {pair_fit, reference_pair_fit}) {
      const std::string run = d.path(std::to_string(k)) + "/";
      std::filesystem::create_directory(run);
      std::filesystem::copy_file(d.path("par"), run + "par");
      ASSERT_EQ(run_in_child(fit,
                             {"polyest", d.path("offs"), d.path("ccp"), run + "par",
                              run + "coffs", run + "list", "-", std::to_string(sc.npoly)},
                             run + "out"),
                0);
      results[k++] = replaced(without_times(slurp(run + "out")), run, "") + "\n" +
                     slurp(run + "par") + slurp(run + "coffs") + slurp(run + "list");
    }
    EXPECT_GT(results[0].size(), size_t(sc.nr) * sc.naz * 8);
    EXPECT_TRUE(results[0] == results[1]);
  }
}

}  // namespace
