#include <cstdint>

#include "binio/fcomplex.h"
#include "binio/swap_io.h"
#include "support/test_support.h"

using namespace polyest;

namespace {

TEST(SwapIo, NumbersAreStoredBigEndianAndReadBack) {
  FILE *fp = tmpfile();
  ASSERT_NE(fp, nullptr);
  float f = 1.0f;
  double d = 1.0;
  fcomplex c = {1.0f, -2.0f};
  int16_t s = 0x0102;
  unsigned char odd[3] = {1, 2, 3};
  EXPECT_EQ(fw_swap(&f, 4, 1, fp), 1u);
  EXPECT_EQ(memcmp(&f, "\x3F\x80\0\0", 4), 0);  // the caller's buffer is left in file order
  EXPECT_EQ(fw_swap(&d, 8, 1, fp), 1u);
  EXPECT_EQ(fw_swap(&c, 4, 2, fp), 2u);
  EXPECT_EQ(fw_swap(&s, 2, 1, fp), 1u);
  EXPECT_EQ(fw_swap(odd, 3, 1, fp), 1u);
  EXPECT_EQ(fw_swap(odd, 1, 3, fp), 3u);
  EXPECT_EQ(fw_swap(&f, 4, 0, fp), 0u);
  rewind(fp);
  char bytes[64];
  const char expected[] = "\x3F\x80\0\0\x3F\xF0\0\0\0\0\0\0\x3F\x80\0\0\xC0\0\0\0"
                          "\x01\x02\1\2\3\1\2\3";
  EXPECT_EQ(std::string(bytes, fread(bytes, 1, sizeof bytes, fp)),
            std::string(expected, sizeof expected - 1));
  rewind(fp);
  EXPECT_EQ(fr_swap(&f, 4, 1, fp), 1u);
  EXPECT_EQ(fr_swap(&d, 8, 1, fp), 1u);
  EXPECT_EQ(fr_swap(&c, 4, 2, fp), 2u);
  EXPECT_EQ(fr_swap(&s, 2, 1, fp), 1u);
  EXPECT_TRUE(f == 1.0f && d == 1.0 && c.re == 1.0f && c.im == -2.0f && s == 0x0102);
  // A short read converts every element and returns the whole ones; the partial element keeps
  // its unread bytes.
  rewind(fp);
  fwrite("\x3F\x80\0\0\x12\x34", 1, 6, fp);
  fflush(fp);
  ftruncate(fileno(fp), 6);
  rewind(fp);
  unsigned char buf[12] = {0xAA, 0xBB, 0xCC, 0xDD, 0x11, 0x22, 0x33, 0x44, 5, 6, 7, 8};
  EXPECT_EQ(fr_swap(buf, 4, 3, fp), 1u);
  EXPECT_EQ(memcmp(buf, "\0\0\x80\x3F\x44\x33\x34\x12\x08\x07\x06\x05", 12), 0);
  EXPECT_EQ(fr_swap(buf, 4, 0, fp), 0u);
  EXPECT_EQ(buf[0], 0);
  // Into a buffer used before: what the read does not fill becomes zero, then all is converted.
  rewind(fp);
  memset(buf, 0x77, sizeof buf);
  EXPECT_EQ(fr_swap_zero_rest(buf, 4, 3, fp), 1u);
  EXPECT_EQ(memcmp(buf, "\0\0\x80\x3F\0\0\x34\x12\0\0\0\0", 12), 0);
  fclose(fp);
}

}  // namespace
