#include "swap_io.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <vector>

#include "fcomplex.h"

namespace {

using Bytes = std::vector<unsigned char>;

template <class T>
Bytes bytes_of(const T &v) {
  Bytes b(sizeof v);
  memcpy(b.data(), &v, sizeof v);
  return b;
}

class SwapFile : public testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = testing::TempDir() + "swap_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    fp_ = fopen((dir_ / "data").c_str(), "w+b");
    ASSERT_NE(fp_, nullptr);
  }
  void TearDown() override {
    fclose(fp_);
    std::filesystem::remove_all(dir_);
  }
  Bytes file_bytes() {
    fflush(fp_);
    rewind(fp_);
    Bytes b(1024);
    b.resize(fread(b.data(), 1, b.size(), fp_));
    return b;
  }
  std::filesystem::path dir_;
  FILE *fp_ = nullptr;
};

TEST_F(SwapFile, NumbersAreStoredBigEndian) {
  float f = 1.0f;
  double d = 1.0;
  fcomplex c = {1.0f, -2.0f};
  int16_t s = 0x0102;
  unsigned char odd[3] = {1, 2, 3};
  EXPECT_EQ(fw_swap(&f, 4, 1, fp_), 1u);
  EXPECT_EQ(bytes_of(f), (Bytes{0x3F, 0x80, 0, 0}));  // the caller's buffer is left in file order
  EXPECT_EQ(fw_swap(&d, 8, 1, fp_), 1u);
  EXPECT_EQ(fw_swap(&c, 4, 2, fp_), 2u);
  EXPECT_EQ(fw_swap(&s, 2, 1, fp_), 1u);
  EXPECT_EQ(fw_swap(odd, 3, 1, fp_), 1u);
  EXPECT_EQ(fw_swap(odd, 1, 3, fp_), 3u);
  EXPECT_EQ(fw_swap(&f, 4, 0, fp_), 0u);
  EXPECT_EQ(file_bytes(), (Bytes{0x3F, 0x80, 0, 0, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0x3F, 0x80, 0, 0,
                                 0xC0, 0, 0, 0, 0x01, 0x02, 1, 2, 3, 1, 2, 3}));

  rewind(fp_);
  float f2;
  double d2;
  fcomplex c2;
  EXPECT_EQ(fr_swap(&f2, 4, 1, fp_), 1u);
  EXPECT_EQ(fr_swap(&d2, 8, 1, fp_), 1u);
  EXPECT_EQ(fr_swap(&c2, 4, 2, fp_), 2u);
  EXPECT_EQ(f2, 1.0f);
  EXPECT_EQ(d2, 1.0);
  EXPECT_EQ(c2.re, 1.0f);
  EXPECT_EQ(c2.im, -2.0f);
}

TEST_F(SwapFile, ShortReadConvertsEveryElementAndReturnsTheWholeOnes) {
  const unsigned char data[6] = {0x3F, 0x80, 0, 0, 0x12, 0x34};
  fwrite(data, 1, sizeof data, fp_);
  rewind(fp_);
  unsigned char buf[12] = {0xAA, 0xBB, 0xCC, 0xDD, 0x11, 0x22, 0x33, 0x44, 5, 6, 7, 8};
  EXPECT_EQ(fr_swap(buf, 4, 3, fp_), 1u);
  // The partial element keeps its unread bytes; all three elements are reversed.
  const unsigned char expected[12] = {0, 0, 0x80, 0x3F, 0x44, 0x33, 0x34, 0x12, 8, 7, 6, 5};
  EXPECT_EQ(memcmp(buf, expected, sizeof buf), 0);
  EXPECT_EQ(fr_swap(buf, 4, 0, fp_), 0u);
  EXPECT_EQ(buf[0], 0);
}

}  // namespace
