#include "alloc.h"

#include <cstdint>
#include <functional>

#include "test_util.h"

namespace {

TEST(AllocDeathTest, ZeroSizesAndFailuresEndTheRunWithTheirMessage) {
  const size_t huge = SIZE_MAX / 2 + 1;  // times 2 does not fit
  const std::string values_1d = "\nERROR calloc_1d: memory allocation error for data values\n\n";
  const std::string values_2d = "\nERROR calloc_2d: memory allocation error for data values\n\n";
  const struct { std::function<void()> call; std::string message; } cases[] = {
      {[] { calloc_1d(0, 4); }, "\nERROR: calloc_1d: number of elements <= 0: 0\n"},
      {[] { calloc_1d(4, 0); }, "\nERROR: calloc_1d: element size <= 0: 0\n"},
      {[] { calloc_1d_of<float>(0); }, "\nERROR: calloc_1d: number of elements <= 0: 0\n"},
      {[=] { calloc_1d(huge, 2); }, values_1d},
      {[] { calloc_1d(static_cast<size_t>(-1), 1); }, values_1d},  // a negative count
      {[] { calloc_2d(0, 0, 4); }, "\nERROR: calloc_2d: number of columns <= 0: 0\n"},
      {[] { calloc_2d(3, 0, 4); }, "\nERROR: calloc_2d: number of lines <= 0: 0\n"},
      {[] { calloc_2d(3, 2, 0); }, "\nERROR: calloc_2d: element size <= 0: 0\n"},
      {[] { calloc_2d_of<double>(3, 0); }, "\nERROR: calloc_2d: number of lines <= 0: 0\n"},
      {[=] { calloc_2d(huge, 1, 2); }, values_2d},
      {[=] { calloc_2d(2, huge, 1); }, values_2d},
      {[=] { calloc_2d_lines(huge, sizeof(void *)); },
       "\nERROR calloc_2d: memory allocation error for line pointers\n\n"},
  };
  // Under AddressSanitizer a refused allocation first prints the sanitizer's own warning line.
  const std::string sanitizer_warning =
      "(==[0-9]+==WARNING: AddressSanitizer failed to allocate[^\n]*\n)?";
  for (const auto &c : cases)
    EXPECT_EXIT(c.call(), testing::ExitedWithCode(255), "^" + sanitizer_warning + c.message + "$")
        << c.message;
}

TEST(Alloc, BlocksAreZeroAndLinesContiguous) {
  auto *v = static_cast<unsigned char *>(calloc_1d(1000, 3));
  for (int i = 0; i < 3000; i++) ASSERT_EQ(v[i], 0) << i;
  float **a = reinterpret_cast<float **>(calloc_2d(5, 3, sizeof(float)));
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(a[i], a[0] + 5 * i);
    for (int j = 0; j < 5; j++) EXPECT_EQ(a[i][j], 0.0f);
  }
  double **t = calloc_2d_of<double>(4, 2);
  EXPECT_EQ(&t[0][3] + 1, &t[1][0]);
  unsigned char bytes[16];
  memset(bytes, 0xFF, sizeof bytes);
  zero_1d(bytes + 1, 3, 4);
  zero_1d(bytes, 0, 4);
  for (int i = 0; i < 16; i++) EXPECT_EQ(bytes[i], i >= 1 && i <= 12 ? 0 : 0xFF) << i;
  free(v);
  free(a[0]);
  free(a);
  free(t[0]);
  free(t);
}

}  // namespace
