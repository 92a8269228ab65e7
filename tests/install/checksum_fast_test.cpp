// The faster checksum implementations against the byte-at-a-time reference.
#include "install/checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

const char* PathName(ChecksumPath path) {
  switch (path) {
    case ChecksumPath::Reference: return "Reference";
    case ChecksumPath::Portable: return "Portable";
    case ChecksumPath::Sse41: return "Sse41";
    case ChecksumPath::Avx2: return "Avx2";
  }
  return "Unknown";
}

}  // namespace

// Names the parameter in gtest's messages; internal, and found by argument lookup.
static void PrintTo(ChecksumPath path, std::ostream* out) { *out << PathName(path); }

namespace {

std::string Show(const ContentChecksum& c) {
  char text[32];
  std::snprintf(text, sizeof text, "%08X %08X", ChecksumWord0(c), ChecksumWord1(c));
  return text;
}

bool Same(const ContentChecksum& a, const ContentChecksum& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 engine(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(engine() >> 24);
  return bytes;
}

// A start state with every field in use, varied by `n`.
ContentChecksum StartState(uint32_t n) {
  return ContentChecksum{0x9E3779B9u * (n + 1), static_cast<uint8_t>(n * 7 + 1), static_cast<uint8_t>(n * 13 + 2),
                         static_cast<uint8_t>(n * 29 + 3), static_cast<uint8_t>(n * 31 + 4)};
}

ContentChecksum Reference(ContentChecksum start, const uint8_t* data, size_t size) {
  UpdateContentChecksumReference(&start, data, static_cast<uint32_t>(size));
  return start;
}

class ChecksumFastTest : public testing::TestWithParam<ChecksumPath> {
 protected:
  void SetUp() override {
    if (!ChecksumPathSupported(GetParam())) GTEST_SKIP() << PathName(GetParam()) << " is not supported here";
  }

  ContentChecksum Run(ContentChecksum start, const uint8_t* data, size_t size) const {
    UpdateContentChecksumWith(GetParam(), &start, data, static_cast<uint32_t>(size));
    return start;
  }
};

// Every length up to a few kilobytes crosses each loop's step and block sizes
// and every tail length; the start pointer moves too, so most loads are unaligned.
TEST_P(ChecksumFastTest, EveryLengthFromVariedStatesAndAlignments) {
  std::vector<uint8_t> data = RandomBytes(3100, 1);
  for (uint32_t size = 0; size <= 3000; ++size) {
    const uint8_t* at = data.data() + size % 61;
    ContentChecksum start = StartState(size);
    ContentChecksum expected = Reference(start, at, size);
    ContentChecksum got = Run(start, at, size);
    ASSERT_TRUE(Same(got, expected)) << "size " << size << ": " << Show(got) << ", expected " << Show(expected);
  }
}

// Counters that accumulate over a long call must not overflow or drift.
TEST_P(ChecksumFastTest, MultiMegabyteBuffersInOneCall) {
  for (size_t size : {size_t{3} << 20, (size_t{5} << 20) + 13}) {
    std::vector<uint8_t> data = RandomBytes(size, static_cast<uint32_t>(size));
    ContentChecksum start = StartState(static_cast<uint32_t>(size));
    ContentChecksum expected = Reference(start, data.data(), size);
    ContentChecksum got = Run(start, data.data(), size);
    EXPECT_TRUE(Same(got, expected)) << "size " << size << ": " << Show(got) << ", expected " << Show(expected);
  }
}

// Constant bytes hit the largest intermediate values (0xFF) and the degenerate
// ones (0x00), from a zero and a non-zero state.
TEST_P(ChecksumFastTest, ConstantBytes) {
  for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}}) {
    std::vector<uint8_t> data((size_t{1} << 20) + 77, value);
    for (size_t size : {size_t{31}, size_t{32}, size_t{1024}, size_t{4097}, data.size()}) {
      for (ContentChecksum start : {ContentChecksum{}, ContentChecksum{0xFFFFFFFFu, 0xFF, 0xFF, 0xFF, 0xFF}}) {
        ContentChecksum expected = Reference(start, data.data(), size);
        ContentChecksum got = Run(start, data.data(), size);
        EXPECT_TRUE(Same(got, expected)) << "byte " << int{value} << ", size " << size << ", start " << Show(start)
                                         << ": " << Show(got) << ", expected " << Show(expected);
      }
    }
  }
}

// Splitting the input anywhere, into empty, single-byte, odd-sized and large
// calls, gives the same result as one reference call over all of it.
TEST_P(ChecksumFastTest, RandomSplitsMatchOneCall) {
  std::vector<uint8_t> data = RandomBytes(300000, 2);
  std::mt19937 engine(3);
  for (int round = 0; round < 40; ++round) {
    ContentChecksum start = StartState(static_cast<uint32_t>(round));
    ContentChecksum expected = Reference(start, data.data(), data.size());
    ContentChecksum got = start;
    size_t at = 0;
    while (at < data.size()) {
      size_t piece;
      switch (engine() % 5) {
        case 0: piece = 0; break;
        case 1: piece = 1; break;
        case 2: piece = engine() % 64; break;
        case 3: piece = engine() % 4096; break;
        default: piece = engine() % 100000; break;
      }
      piece = std::min(piece, data.size() - at);
      UpdateContentChecksumWith(GetParam(), &got, data.data() + at, static_cast<uint32_t>(piece));
      at += piece;
    }
    ASSERT_TRUE(Same(got, expected)) << "round " << round << ": " << Show(got) << ", expected " << Show(expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, ChecksumFastTest,
                         testing::Values(ChecksumPath::Portable, ChecksumPath::Sse41, ChecksumPath::Avx2),
                         [](const testing::TestParamInfo<ChecksumPath>& info) { return PathName(info.param); });

// Switching implementations between calls keeps the result, since the state
// is all that passes from one call to the next; the dispatching entry point
// takes part too.
TEST(ChecksumPaths, MixingPathsBetweenCalls) {
  std::vector<ChecksumPath> paths;
  for (ChecksumPath path : {ChecksumPath::Reference, ChecksumPath::Portable, ChecksumPath::Sse41, ChecksumPath::Avx2}) {
    if (ChecksumPathSupported(path)) paths.push_back(path);
  }
  std::vector<uint8_t> data = RandomBytes(200000, 4);
  ContentChecksum expected = Reference(StartState(5), data.data(), data.size());
  std::mt19937 engine(5);
  ContentChecksum got = StartState(5);
  size_t at = 0;
  for (size_t call = 0; at < data.size(); ++call) {
    size_t piece = std::min<size_t>(engine() % 5000, data.size() - at);
    if (call % (paths.size() + 1) == paths.size()) {
      UpdateContentChecksum(&got, data.data() + at, static_cast<uint32_t>(piece));
    } else {
      UpdateContentChecksumWith(paths[call % (paths.size() + 1)], &got, data.data() + at, static_cast<uint32_t>(piece));
    }
    at += piece;
  }
  EXPECT_TRUE(Same(got, expected)) << Show(got) << ", expected " << Show(expected);
}

// Says which implementations this run could check; the portable ones always run.
TEST(ChecksumPaths, ReportsWhichRan) {
  EXPECT_TRUE(ChecksumPathSupported(ChecksumPath::Reference));
  EXPECT_TRUE(ChecksumPathSupported(ChecksumPath::Portable));
  std::string ran;
  for (ChecksumPath path : {ChecksumPath::Portable, ChecksumPath::Sse41, ChecksumPath::Avx2}) {
    if (ChecksumPathSupported(path)) ran += std::string(ran.empty() ? "" : " ") + PathName(path);
  }
  std::printf("checksum paths checked against the reference: %s\n", ran.c_str());
  RecordProperty("checksum_paths", ran);
}

}  // namespace
