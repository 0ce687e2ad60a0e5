#include <unistd.h>

#include <ctime>
#include <cstdint>
#include <functional>

#include "runtime/alloc.h"
#include "runtime/timing.h"
#include "support/test_support.h"

using namespace polyest;

namespace {

// Every refusal comes back as a null pointer and a status whose message is the program's.
TEST(Alloc, ZeroSizesAndFailuresAreRefusedWithTheirMessage) {
  const size_t huge = SIZE_MAX / 2 + 1;  // times 2 does not fit
  const std::string values_1d = "\nERROR calloc_1d: memory allocation error for data values\n\n";
  const std::string values_2d = "\nERROR calloc_2d: memory allocation error for data values\n\n";
  const struct { std::function<void *(ALLOC_ERROR *)> call; std::string message; } cases[] = {
      {[](ALLOC_ERROR *e) { return calloc_1d(0, 4, e); },
       "\nERROR: calloc_1d: number of elements <= 0: 0\n"},
      {[](ALLOC_ERROR *e) { return calloc_1d(4, 0, e); }, "\nERROR: calloc_1d: element size <= 0: 0\n"},
      {[=](ALLOC_ERROR *e) { return calloc_1d(huge, 2, e); }, values_1d},
      {[](ALLOC_ERROR *e) { return calloc_1d(static_cast<size_t>(-1), 1, e); }, values_1d},
      {[](ALLOC_ERROR *e) { return calloc_2d<float>(0, 0, e); },
       "\nERROR: calloc_2d: number of columns <= 0: 0\n"},
      {[](ALLOC_ERROR *e) { return calloc_2d<double>(3, 0, e); },
       "\nERROR: calloc_2d: number of lines <= 0: 0\n"},
      {[](ALLOC_ERROR *e) { return calloc_2d_data(3, 2, 0, e); },
       "\nERROR: calloc_2d: element size <= 0: 0\n"},
      {[=](ALLOC_ERROR *e) { return calloc_2d<short>(huge, 1, e); }, values_2d},
      {[=](ALLOC_ERROR *e) { return calloc_2d<char>(2, huge, e); }, values_2d},
      {[=](ALLOC_ERROR *e) { return calloc_2d_lines(huge, sizeof(void *), e); },
       "\nERROR calloc_2d: memory allocation error for line pointers\n\n"},
  };
  for (const auto &c : cases) {
    ALLOC_ERROR err{ALLOC_OK, 99};
    EXPECT_EQ(c.call(&err), nullptr) << c.message;
    EXPECT_EQ(alloc_message(err), c.message);
  }
}

TEST(Alloc, BlocksAreZeroAndLinesContiguous) {
  ALLOC_ERROR err;
  auto *v = static_cast<unsigned char *>(calloc_1d(1000, 3, &err));
  EXPECT_EQ(std::count(v, v + 3000, 0), 3000);
  double **t = calloc_2d<double>(5, 3, &err);
  for (int i = 0; i < 3; i++) EXPECT_EQ(t[i], t[0] + 5 * i);
  EXPECT_EQ(std::count(t[0], t[0] + 15, 0.0), 15);
  unsigned char bytes[16];
  memset(bytes, 0xFF, sizeof bytes);
  zero_1d(bytes + 1, 3, 4);
  zero_1d(bytes, 0, 4);
  for (int i = 0; i < 16; i++) EXPECT_EQ(bytes[i], i >= 1 && i <= 12 ? 0 : 0xFF) << i;
  free_1d(v);
  free_2d(t);
}

// Blocks from 4 MiB up are mappings of their own: zero to the last byte, writable, and
// released by free_1d (free() would crash); a block freed makes room for the next.
TEST(Alloc, LargeBlocksAreZeroAndFreedByFree1d) {
  ALLOC_ERROR err;
  for (int round = 0; round < 100; round++) {
    const size_t n = (size_t{5} << 20) + 8 * round + 1;
    auto *v = static_cast<unsigned char *>(calloc_1d(n, 1, &err));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(v) % (size_t{2} << 20), 0u);  // not calloc's
    EXPECT_EQ(v[0] | v[n / 2] | v[n - 1], 0);
    memset(v, round + 1, n);
    free_1d(v);
  }
  float **g = calloc_2d<float>(1536, 1024, &err);
  EXPECT_EQ(g[1023][1535], 0.0f);
  free_2d(g);
}

// A run that spends 0.3 s of processor time computing and then 0.4 s asleep: each time on its
// own line.
TEST(Timing, UserSystemAndElapsedSecondsEachOnTheirLine) {
  start_timing();
  const std::string out = stdout_of([] {
    volatile double x = 0.0;
    for (const clock_t until = clock() + CLOCKS_PER_SEC * 3 / 10; clock() < until;)
      for (int i = 0; i < 10000; i++) x = x + 1.0;
    usleep(400000);
    stop_timing();
  });
  double user = -1, system = -1, elapsed = -1;
  ASSERT_EQ(sscanf(out.c_str(), "\nuser time (s): %lf\nsystem time (s): %lf\nelapsed time (s): %lf\n",
                   &user, &system, &elapsed), 3) << out;
  char again[160];
  snprintf(again, sizeof again, "\nuser time (s):    %10.3f\nsystem time (s):  %10.3f\n"
           "elapsed time (s): %10.3f\n\n", user, system, elapsed);
  EXPECT_EQ(out, again);
  EXPECT_GT(user, 0.2);
  EXPECT_LT(system, 0.15);
  EXPECT_GT(elapsed, user + 0.3);
}

}  // namespace
