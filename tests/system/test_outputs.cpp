// Whole runs on generated scenes: the console report and every output byte the same as with the
// reference decomposition in place of the fast one, and a text list that spans many of its
// output blocks, one exact line per accepted sample.
#include "system/scene.h"

namespace {

std::string without_times(const std::string &text) {
  std::string out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find("time (s):") == std::string::npos) out += line + "\n";
  return out;
}

TEST(Outputs, WholeRunsMatchTheReferenceDecomposition) {
  const struct { int nr, naz, seed, npoly; } scenes[] = {
      {150, 170, 1, 6}, {200, 90, 2, 4}, {97, 203, 3, 3}, {64, 64, 4, 1}};
  for (const auto &sc : scenes) {
    SCOPED_TRACE(testing::Message() << sc.nr << "x" << sc.naz << " seed " << sc.seed);
    Scene s({"--nr", std::to_string(sc.nr), "--naz", std::to_string(sc.naz), "--seed",
             std::to_string(sc.seed)});
    std::string results[2];
    for (int k = 0; k < 2; k++) {
      const std::string run = s.dir.path(std::to_string(k)) + "/";
      std::filesystem::create_directory(run);
      std::filesystem::copy_file(s.par, run + "par");
      const CHILD_RESULT r = s.run(run + "par", {run + "coffs", run + "list", "-",
                                                 std::to_string(sc.npoly)},
                                   k == 0 ? POLYEST_BIN : REFERENCE_BIN);
      ASSERT_EQ(r.status, 0) << r.err;
      results[k] = replaced(without_times(r.out), run, "") + "\n" + slurp(run + "par") +
                   slurp(run + "coffs") + slurp(run + "list");
    }
    EXPECT_GT(results[0].size(), size_t(sc.nr) * sc.naz * 8);
    EXPECT_TRUE(results[0] == results[1]);
  }
}

TEST(Outputs, LongTextListHasOneExactLinePerAcceptedSample) {
  Scene s({"--nr", "211", "--naz", "173", "--seed", "5"});
  const CHILD_RESULT r = s.run(s.par, {"-", s.dir.path("list"), "-", "6"});
  ASSERT_EQ(r.status, 0) << r.err;
  const size_t at = r.out.find("final solution: ");
  ASSERT_NE(at, std::string::npos);
  const long accepted = std::stol(r.out.substr(at + 16));

  const std::string list = slurp(s.dir.path("list"));
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.back(), '\n');
  std::istringstream in(list);
  long lines = 0;
  for (std::string line; std::getline(in, line); lines++) {
    double v[7];
    ASSERT_EQ(sscanf(line.c_str(), "%lf %lf %lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3],
                     &v[4], &v[5], &v[6]),
              7)
        << "line " << lines + 1;
    char again[256];
    snprintf(again, sizeof again, "%8.0f %8.0f %10.3f %10.3f %10.3f %10.3f %10.3f", v[0], v[1],
             v[2], v[3], v[4], v[5], v[6]);
    ASSERT_EQ(line, again) << "line " << lines + 1;
  }
  EXPECT_EQ(lines, accepted);
  EXPECT_GT(list.size(), size_t{2} << 20);  // blocks of 1 MiB, and a part-filled last one
}

}  // namespace
