#include "timing.h"

#include <cctype>

#include "test_util.h"

namespace {

TEST(Timing, ThreeLinesOfSecondsWithThreeDecimals) {
  start_timing();
  std::string out = stdout_of(stop_timing);
  // A run this short takes well under 10 s, so only the digits may vary.
  for (char &c : out)
    if (isdigit(static_cast<unsigned char>(c))) c = '0';
  EXPECT_EQ(out, "\nuser time (s):         0.000\nsystem time (s):       0.000\n"
                 "elapsed time (s):      0.000\n\n");
}

}  // namespace
