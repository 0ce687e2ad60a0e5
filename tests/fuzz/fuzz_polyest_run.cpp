// Fuzz target: a whole run of the program in-process (sample selection, fits, culling,
// outputs) over a small grid, a parameter text and interactive answers.
// Input: a byte choosing npoly (bits 0-2) and thres (bits 3-5), a byte of flags (bit 0 coffs,
// bit 1 coffsets, bit 2 interactive mode), a 16-bit little-endian length, that many bytes of
// KOLT_par text, then the offs bytes (8 per cell), the ccp bytes (4 per cell) and the rest as
// standard input. Either grid file is short when the input ends
// early. Texts whose grid is beyond 16 cells either way are skipped; a grid of no cells or a
// negative count is refused by the allocation of its storage, and the run must fail cleanly.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_util.h"
#include "params/keyword_reader.h"
#include "polyest_run.h"

using namespace polyest;

namespace {

const char *const npoly_args[] = {"1", "3", "4", "6", "-", "5", "2.9", "x"};
const char *const thres_args[] = {"-", "0.2", "0", "-1", "1e9", "nan", "0.5abc", "inf"};

// The text's grid as the program reads it; false when it is beyond 16 cells either way.
bool small_grid(const uint8_t *data, size_t size, int *nr, int *naz) {
  std::string text(reinterpret_cast<const char *>(data), size);
  const int len = static_cast<int>(size);
  *nr = *naz = 0;
  rd_int(text.c_str(), len, "offset_estimation_range_samples", nr);
  rd_int(text.c_str(), len, "offset_estimation_azimuth_samples", naz);
  return *nr >= -16 && *nr <= 16 && *naz >= -16 && *naz <= 16;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  silence_console();
  if (size < 4) return 0;
  const uint8_t choice = data[0], flags = data[1];
  const bool want_coffs = flags & 1, want_coffsets = flags & 2, interactive = flags & 4;
  const size_t plen = std::min<size_t>(data[2] | (data[3] << 8), size - 4);
  const std::string dir = scratch_dir();
  const std::string par = dir + "/par", offs = dir + "/offs", ccp = dir + "/ccp",
                    coffs = dir + "/coffs", coffsets = dir + "/coffsets", in = dir + "/stdin";
  int nr, naz;
  if (!small_grid(data + 4, plen, &nr, &naz)) return 0;
  const bool no_cells = nr <= 0 || naz <= 0;
  const size_t cells = no_cells ? 0 : static_cast<size_t>(nr) * static_cast<size_t>(naz);
  write_file(par, data + 4, plen);

  const uint8_t *rest = data + 4 + plen;
  size_t nrest = size - 4 - plen;
  const size_t noffs = std::min(nrest, 8 * cells);
  write_file(offs, rest, noffs);
  rest += noffs;
  nrest -= noffs;
  const size_t nccp = std::min(nrest, 4 * cells);
  write_file(ccp, rest, nccp);
  write_file(in, rest + nccp, nrest - nccp);
  if (freopen(in.c_str(), "r", stdin) == nullptr) abort();
  remove(coffs.c_str());
  remove(coffsets.c_str());

  std::vector<std::string> args = {"polyest", offs, ccp, par,
                                   want_coffs ? coffs : "-",
                                   want_coffsets ? coffsets : "-",
                                   thres_args[(choice >> 3) & 7],
                                   npoly_args[choice & 7],
                                   interactive ? "1" : "0"};
  std::vector<char *> argv;
  for (auto &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const std::string par_before = read_whole_file(par);
  const int status = polyest_run(static_cast<int>(args.size()), argv.data());
  fflush(stdout);
  // A failed run never touches the parameter file (no write can fail here).
  if (status != 0 && read_whole_file(par) != par_before) abort();
  if (status != 0 && status != -1) abort();
  if (no_cells && status == 0) abort();
  // After a complete run the culled grid has the full size.
  if (status == 0 && want_coffs && read_whole_file(coffs).size() != 8 * cells) abort();
  return 0;
}
