#include <cfloat>
#include <climits>

#include "grid/offset_grid.h"
#include "support/test_support.h"

using namespace polyest;

namespace {

TEST(Grid, PositionsAreExactBeyondTheIntRangeAndTheSampleTestIsStrict) {
  KOLT_PAR kp{};
  kp.offset_estimation_range_samples = 3;
  kp.offset_estimation_azimuth_samples = 2;
  kp.offset_estimation_starting_range = INT_MAX;
  kp.offset_estimation_range_spacing = INT_MAX;
  kp.offset_estimation_starting_azimuth = -7;
  kp.offset_estimation_azimuth_spacing = -3;
  const GRID_GEOMETRY g = grid_geometry(&kp);
  EXPECT_TRUE(g.nr == 3 && g.naz == 2);
  EXPECT_EQ(grid_range(g, 2), 3.0 * INT_MAX);
  EXPECT_EQ(grid_azimuth(g, 1), -10.0);

  const float big = 1.0e9f, below = std::nextafter(1.0e9f, 0.0f), nan = NAN;
  const struct { fcomplex cell; bool offset; } cells[] = {
      {{1.0f, 0.0f}, true},      {{0.0f, 1.0f}, false},  {{-0.0f, 1.0f}, false},
      {{-below, below}, true},   {{big, 1.0f}, false},   {{1.0f, -big}, false},
      {{nan, 1.0f}, false},      {{1.0f, nan}, false},   {{FLT_MIN, 0.0f}, true}};
  for (const auto &c : cells) {
    EXPECT_EQ(is_offset_cell(c.cell), c.offset) << c.cell.re << " " << c.cell.im;
    EXPECT_EQ(is_sample_cell(c.cell, 0.0f), c.offset);
    EXPECT_FALSE(is_sample_cell(c.cell, nan) || is_sample_cell(c.cell, INFINITY));
  }
}

}  // namespace
