// offmap's image, decoded with libpng: its size, grey for cells that are not samples, and the
// colours of planted outliers against their neighbours.
#include <png.h>

#include <cstdio>

#include "KOLT_io.h"
#include "fcomplex.h"
#include "swap_io.h"
#include "test_util.h"

namespace {

struct Decoded {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  std::array<int, 3> at(int x, int y) const {
    const unsigned char *p = &rgb[3 * (static_cast<size_t>(y) * width + x)];
    return {p[0], p[1], p[2]};
  }
};

// The whole image as 8-bit RGB; an empty result when the file is not a PNG.
Decoded decode_png(const std::string &path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return Decoded{};
  EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);
  image.format = PNG_FORMAT_RGB;
  Decoded d{static_cast<int>(image.width), static_cast<int>(image.height), {}};
  d.rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, d.rgb.data(), 0, nullptr)) return Decoded{};
  return d;
}

constexpr int kNr = 20, kNaz = 10;

// A 20 x 10 grid on constant models (range 1, azimuth 2) with residuals of +-0.01, one cell
// without a sample, a range outlier of +5 and an azimuth outlier of -5.
void write_scene(const ScratchDir &d) {
  KOLT_PAR kp{};
  snprintf(kp.title, sizeof kp.title, "offmap test");
  kp.offset_estimation_range_samples = kNr;
  kp.offset_estimation_azimuth_samples = kNaz;
  kp.offset_estimation_starting_range = 8;
  kp.offset_estimation_range_spacing = 16;
  kp.offset_estimation_starting_azimuth = 4;
  kp.offset_estimation_azimuth_spacing = 32;
  kp.range_offset_polynomial[0] = 1.0;
  kp.azimuth_offset_polynomial[0] = 2.0;
  std::ofstream(d.path("par")) << format_KOLT_par(&kp);
  std::vector<fcomplex> grid(kNr * kNaz);
  for (int i = 0; i < kNaz; i++)
    for (int j = 0; j < kNr; j++) {
      const float e = (i + j) % 2 == 0 ? 0.01f : -0.01f;
      grid[i * kNr + j] = fcomplex{1.0f + e, 2.0f - e};
    }
  grid[2 * kNr + 3] = fcomplex{0.0f, 0.0f};
  grid[4 * kNr + 7].re = 6.0f;
  grid[6 * kNr + 12].im = -3.0f;
  FILE *fp = fopen(d.path("offs").c_str(), "wb");
  fw_swap(grid.data(), 4, 2 * grid.size(), fp);
  fclose(fp);
}

const std::string kOffmap = OFFMAP_BIN;

TEST(Offmap, MapShowsSamplesOutliersAndGaps) {
  ScratchDir d;
  write_scene(d);
  const CommandResult r =
      run_command(kOffmap + " " + d.path("offs") + " " + d.path("par") + " " + d.path("map.png"));
  ASSERT_EQ(r.status, 0) << r.err;
  int width, height, pw, ph, x0, x1, y0, down, down2, up, up2;
  ASSERT_EQ(sscanf(r.out.substr(r.out.find(": ", 8) + 2).c_str(),
                   "%d x %d px; panels %d x %d px at x %d and %d, y %d; %d x %d cells per %d x %d px",
                   &width, &height, &pw, &ph, &x0, &x1, &y0, &down, &down2, &up, &up2),
            11)
      << r.out;
  // Small grids are enlarged to whole pixel blocks of at least 512 pixels a side.
  EXPECT_EQ(down, 1);
  EXPECT_EQ(up, 512 / kNr);
  EXPECT_EQ(pw, kNr * up);
  EXPECT_EQ(ph, kNaz * up);
  EXPECT_NE(r.out.find("scale +-0.1 samples, 2 samples beyond it"), std::string::npos) << r.out;

  const Decoded img = decode_png(d.path("map.png"));
  ASSERT_EQ(img.width, width);
  ASSERT_EQ(img.height, height);
  EXPECT_GT(x1, x0 + pw);
  auto cell = [&](int panel_x, int i, int j) {
    return img.at(panel_x + j * up + up / 2, y0 + i * up + up / 2);
  };
  const std::array<int, 3> grey{150, 150, 150}, red{178, 24, 43}, blue{33, 102, 172};
  EXPECT_EQ(cell(x0, 2, 3), grey);
  EXPECT_EQ(cell(x1, 2, 3), grey);
  EXPECT_EQ(cell(x0, 4, 7), red);     // range +5 saturates
  EXPECT_EQ(cell(x1, 6, 12), blue);   // azimuth -5 saturates
  for (auto [panel, i, j] : {std::array<int, 3>{x0, 4, 7}, std::array<int, 3>{x1, 6, 12}})
    for (auto [di, dj] : {std::pair{-1, 0}, std::pair{1, 0}, std::pair{0, -1}, std::pair{0, 1}}) {
      const std::array<int, 3> c = cell(panel, i + di, j + dj);  // pale tints of +-0.01
      for (int ch : c) EXPECT_GE(ch, 220) << "neighbour " << i + di << "," << j + dj;
      EXPECT_NE(c, grey);
    }
}

TEST(Offmap, RefusesBadArgumentsAndKeepsItsInputs) {
  ScratchDir d;
  write_scene(d);
  const std::string offs = slurp(d.path("offs"));
  EXPECT_EQ(run_command(kOffmap + " " + d.path("offs") + " " + d.path("par")).status, 255);
  const CommandResult r =
      run_command(kOffmap + " " + d.path("offs") + " " + d.path("par") + " " + d.path("offs"));
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("ERROR"), std::string::npos);
  EXPECT_EQ(slurp(d.path("offs")), offs);
  EXPECT_EQ(run_command(kOffmap + " " + d.path("none") + " " + d.path("par") + " " +
                        d.path("m.png")).status,
            255);
}

}  // namespace
