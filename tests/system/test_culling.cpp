// The program on generated scenes with known polynomials: the models come back within what the
// noise allows and every gross outlier is culled, also beside decorrelated patches and failed
// blocks (whose cells are told apart by the scene without them, identical elsewhere).
#include "numerics/offset_poly.h"
#include "system/scene.h"

namespace {

const double range_poly[6] = {12.3, 1.5e-4, -2.1e-4, 2.0e-10, 1.2e-9, -3.0e-10};
const double az_poly[6] = {-4.7, -6.0e-5, 3.2e-4, -1.5e-10, 4.0e-10, 8.0e-10};
const double noise = 0.05;  // the generator's default

std::string poly_arg(const double c[6]) {
  char buf[256];
  snprintf(buf, sizeof buf, "%.10g,%.10g,%.10g,%.10g,%.10g,%.10g", c[0], c[1], c[2], c[3], c[4],
           c[5]);
  return buf;
}

class Recovery : public ::testing::TestWithParam<std::tuple<int, int, bool>> {};  // seed, npoly, areas

TEST_P(Recovery, ModelsWithinNoiseAndOutliersCulled) {
  const auto [seed, npoly, areas] = GetParam();
  double rp[6], ap[6];  // a model of fewer terms is generated without the others
  for (int t = 0; t < 6; t++) {
    rp[t] = t < npoly ? range_poly[t] : 0.0;
    ap[t] = t < npoly ? az_poly[t] : 0.0;
  }
  std::vector<std::string> options = {"--seed", std::to_string(seed), "--range-poly", poly_arg(rp),
                                      "--az-poly", poly_arg(ap)};
  // One scene large enough for the grid files to be read in more than one block.
  if (seed == 1) options.insert(options.end(), {"--nr", "1024", "--naz", "600"});
  const std::vector<float> plain = read_floats(Scene(options).offs);
  if (areas) options.insert(options.end(), {"--patches", "3", "--failed-blocks", "2"});
  Scene s(options);
  const KOLT_PAR before = read_par(s.par);
  const GRID_GEOMETRY g = grid_geometry(&before);
  ASSERT_EQ(s.run(s.par, {s.dir.path("coffs"), "-", "-", std::to_string(npoly)}).status, 0);
  const KOLT_PAR kp = read_par(s.par);
  const std::vector<float> offs = read_floats(s.offs), coffs = read_floats(s.dir.path("coffs"));
  ASSERT_EQ(coffs.size(), size_t(2) * g.nr * g.naz);

  int good = 0, good_kept = 0, gross = 0, in_patch = 0;
  double worst = 0.0;
  for (int i = 0; i < g.naz; i++)
    for (int j = 0; j < g.nr; j++) {
      const double x = grid_range(g, j), y = grid_azimuth(g, i);
      const double tr = r_poly1(rp, x, y), ta = az_poly1(ap, x, y);
      worst = std::max({worst, std::fabs(r_poly1(kp.range_offset_polynomial, x, y) - tr),
                        std::fabs(az_poly1(kp.azimuth_offset_polynomial, x, y) - ta)});
      const size_t c = 2 * (size_t(i) * g.nr + j);
      if (offs[c] == 0.0f) continue;  // a failed cell
      if (offs[c] != plain[c] || offs[c + 1] != plain[c + 1]) {
        in_patch++;  // random offsets, some of them within the noise
        continue;
      }
      const bool kept = coffs[c] != 0.0f || coffs[c + 1] != 0.0f;
      if (std::fabs(offs[c] - tr) > 0.5 || std::fabs(offs[c + 1] - ta) > 0.5) {
        gross++;
        EXPECT_FALSE(kept) << "gross outlier kept at row " << i << " column " << j;
      } else {
        good++;
        good_kept += kept;
        EXPECT_TRUE(!kept || (coffs[c] == offs[c] && coffs[c + 1] == offs[c + 1]));
      }
    }
  // A least-squares model of n samples with npoly terms errs by about noise * sqrt(npoly / n)
  // at a typical point and a few times that at the grid's corners.
  EXPECT_LT(worst, 8.0 * noise * std::sqrt(npoly / double(good)));
  EXPECT_GT(gross, 0);
  EXPECT_EQ(in_patch > 0, areas);
  // 2.5-sigma culling of Gaussian noise removes about 1 % of the good samples per direction.
  EXPECT_GT(good_kept, 0.95 * good);
  for (int t = npoly; t < 6; t++)
    EXPECT_TRUE(kp.range_offset_polynomial[t] == 0.0 && kp.azimuth_offset_polynomial[t] == 0.0);
}

INSTANTIATE_TEST_SUITE_P(Scenes, Recovery,
                         ::testing::Values(std::tuple{1, 6, false}, std::tuple{2, 6, true},
                                           std::tuple{3, 4, false}, std::tuple{4, 3, true},
                                           std::tuple{5, 1, false}));

}  // namespace
