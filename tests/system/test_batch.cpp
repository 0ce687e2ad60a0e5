// A stack of pairs processed concurrently with xargs -P, as the README shows: each pair's
// KOLT_par and culled files must be exactly those of running that pair alone.
#include "support/test_support.h"

namespace {

CHILD_RESULT run_command(const std::string &command) {
  return run_child({"/bin/sh", "-c", command});
}

TEST(Batch, ConcurrentPairsKeepTheirOwnSolutions) {
  ScratchDir d;
  const int npairs = 4;
  for (int p = 0; p < npairs; p++) {
    const std::string dir = d.path("pair" + std::to_string(p)) + "/";
    std::filesystem::create_directory(dir);
    char poly[96];  // a different constant offset per pair
    snprintf(poly, sizeof poly, "%d.25,1e-4,-2e-4,0,0,0", 3 * p - 4);
    const std::string gen = std::string(MKSCENE_BIN) + " " + dir + "offs " + dir + "ccp " + dir +
                            "KOLT_par --nr 120 --naz 150 --seed " + std::to_string(p + 1) +
                            " --range-poly " + poly + " >/dev/null";
    ASSERT_EQ(run_command(gen).status, 0);
    std::filesystem::copy_file(dir + "KOLT_par", dir + "alone.par");
    const std::string alone = std::string(POLYEST_BIN) + " " + dir + "offs " + dir + "ccp " + dir +
                              "alone.par " + dir + "alone.coffs " + dir + "alone.list - 6";
    ASSERT_EQ(run_command(alone).status, 0);
  }
  const std::string batch = "ls -d " + d.path("pair*") + "/ | xargs -P " +
                            std::to_string(npairs) + " -I{} sh -c '" + POLYEST_BIN +
                            " {}offs {}ccp {}KOLT_par {}coffs {}coffsets - 6 >{}log 2>&1'";
  ASSERT_EQ(run_command(batch).status, 0);
  std::vector<std::string> pars;
  for (int p = 0; p < npairs; p++) {
    const std::string dir = d.path("pair" + std::to_string(p)) + "/";
    SCOPED_TRACE(dir);
    pars.push_back(slurp(dir + "KOLT_par"));
    EXPECT_EQ(pars.back(), slurp(dir + "alone.par"));
    EXPECT_EQ(slurp(dir + "coffs"), slurp(dir + "alone.coffs"));
    EXPECT_EQ(slurp(dir + "coffsets"), slurp(dir + "alone.list"));
    for (int q = 0; q < p; q++) EXPECT_NE(pars[q], pars.back());
  }
}

}  // namespace
