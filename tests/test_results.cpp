// The text list of a scene large enough to span many of its output blocks: one whole line
// per accepted sample, each line exactly the printf formatting of the values it shows.
#include "test_util.h"

TEST(Results, LongTextListHasOneExactLinePerAcceptedSample) {
  ScratchDir d;
  ASSERT_EQ(run_command(std::string(MKSCENE_BIN) + " " + d.path("offs") + " " + d.path("ccp") +
                        " " + d.path("par") + " --nr 211 --naz 173 --seed 5 --outliers 0.1 " +
                        "--failed 0.02").status,
            0);
  const CommandResult r = run_command(std::string(POLYEST_BIN) + " " + d.path("offs") + " " +
                                      d.path("ccp") + " " + d.path("par") + " - " +
                                      d.path("list") + " - 6");
  ASSERT_EQ(r.status, 0) << r.err;
  const size_t at = r.out.find("final solution: ");
  ASSERT_NE(at, std::string::npos);
  const long accepted = std::stol(r.out.substr(at + 16));

  const std::string list = slurp(d.path("list"));
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
  EXPECT_GT(list.size(), size_t{40} * 4096);  // many blocks, and a part-filled last one
}
