// The text list of 3 million surviving samples written to a scratch file: one fprintf per
// line against put_fixed, and against std::to_chars with padding, into a large buffer written
// with fwrite. All three give the same bytes.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "text/fixed_text.h"

using namespace polyest;

namespace {

constexpr int kLines = 3000000;
constexpr size_t kBufferBytes = size_t{1} << 20;

struct Line {
  double x, y, v[5];
};

// Grid coordinates and offsets, model values and cross-correlations of list magnitudes.
const std::vector<Line> &lines() {
  static std::vector<Line> all = [] {
    std::vector<Line> l(kLines);
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> offset(-30.0, 30.0), cc(0.15, 0.9);
    for (int i = 0; i < kLines; i++)
      l[i] = {5.0 + 10.0 * (i % 2048), 10.0 + 20.0 * (i / 2048),
              {offset(rng), offset(rng), offset(rng), offset(rng), cc(rng)}};
    return l;
  }();
  return all;
}

void BM_list_fprintf(benchmark::State &state) {
  const std::vector<Line> &l = lines();
  for (auto _ : state) {
    FILE *fp = tmpfile();
    for (const Line &p : l)
      fprintf(fp, "%8.0f %8.0f %10.3f %10.3f %10.3f %10.3f %10.3f\n", p.x, p.y, p.v[0], p.v[1],
              p.v[2], p.v[3], p.v[4]);
    fflush(fp);
    state.counters["bytes"] = static_cast<double>(ftell(fp));
    fclose(fp);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}

// std::to_chars in fixed notation, right-aligned in the field.
char *put_to_chars(char *out, double value, int width, int precision) {
  char text[FIXED_TEXT_MAX];
  const int length = static_cast<int>(
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision).ptr -
      text);
  for (int i = length; i < width; i++) *out++ = ' ';
  std::memcpy(out, text, static_cast<size_t>(length));
  return out + length;
}

template <char *(*put)(char *, double, int, int)>
void BM_list_buffered(benchmark::State &state) {
  const std::vector<Line> &l = lines();
  std::vector<char> buffer(kBufferBytes);
  for (auto _ : state) {
    FILE *fp = tmpfile();
    char *end = buffer.data();
    for (const Line &p : l) {
      end = put(end, p.x, 8, 0);
      *end++ = ' ';
      end = put(end, p.y, 8, 0);
      for (double v : p.v) {
        *end++ = ' ';
        end = put(end, v, 10, 3);
      }
      *end++ = '\n';
      if (buffer.data() + kBufferBytes - end < 7 * (FIXED_TEXT_MAX + 1)) {
        fwrite(buffer.data(), 1, static_cast<size_t>(end - buffer.data()), fp);
        end = buffer.data();
      }
    }
    fwrite(buffer.data(), 1, static_cast<size_t>(end - buffer.data()), fp);
    fflush(fp);
    state.counters["bytes"] = static_cast<double>(ftell(fp));
    fclose(fp);
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}

BENCHMARK(BM_list_fprintf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_list_buffered<put_fixed>)->Name("BM_list_put_fixed")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_list_buffered<put_to_chars>)->Name("BM_list_to_chars")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
