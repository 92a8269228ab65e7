#include "install/checksum.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

ContentChecksum Of(const std::string& bytes) {
  ContentChecksum c{};
  UpdateContentChecksum(&c, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return c;
}

TEST(ContentChecksum, WorkedExampleAbc) {
  ContentChecksum c = Of("abc");
  EXPECT_EQ(ChecksumWord0(c), 0x0050B406u);
  EXPECT_EQ(ChecksumWord1(c), 0x6026CC12u);
  const unsigned char expected[8] = {0x06, 0xB4, 0x50, 0x00, 0x12, 0xCC, 0x26, 0x60};
  EXPECT_EQ(std::memcmp(&c, expected, 8), 0);
}

TEST(ContentChecksum, SplitsAndEmptyCallsDoNotMatter) {
  ContentChecksum c{};
  UpdateContentChecksum(&c, "a", 1);
  UpdateContentChecksum(&c, "", 0);
  UpdateContentChecksum(&c, "bc", 2);
  ContentChecksum whole = Of("abc");
  EXPECT_EQ(std::memcmp(&c, &whole, 8), 0);
  ContentChecksum empty = Of("");
  EXPECT_EQ(ChecksumWord0(empty), 0u);
  EXPECT_EQ(ChecksumWord1(empty), 0u);
}

TEST(ContentChecksum, BytesAreUnsignedAndTheHashWraps) {
  ContentChecksum c = Of("\xff");
  EXPECT_EQ(c.hash, 0xFFu);
  EXPECT_EQ(ChecksumWord1(c), 0xFFFFFFFFu);
  // 233^5 overflows 32 bits; compare with the sum taken modulo 2^32 by hand.
  std::string bytes(5, '\x01');
  uint32_t expected = 0;
  for (int i = 0; i < 5; ++i) expected = expected * 233u + 1u;
  EXPECT_EQ(Of(bytes + bytes).hash, expected * 233u * 233u * 233u * 233u * 233u + expected);
}

}  // namespace
