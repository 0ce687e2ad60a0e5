#include "timing.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

TEST(Timing, ThreeLinesOfSecondsWithThreeDecimals) {
  start_timing();
  testing::internal::CaptureStdout();
  stop_timing();
  std::string out = testing::internal::GetCapturedStdout();
  // A run this short takes well under 10 s, so only the digits may vary.
  for (char &c : out)
    if (isdigit(static_cast<unsigned char>(c))) c = '0';
  EXPECT_EQ(out,
            "\nuser time (s):         0.000\n"
            "system time (s):       0.000\n"
            "elapsed time (s):      0.000\n\n");
}

}  // namespace
