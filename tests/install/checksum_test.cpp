// The content checksum: its worked example, and each faster implementation
// against the byte-at-a-time reference.
#include "install/checksum.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

bool Same(const ContentChecksum& a, const ContentChecksum& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ContentChecksum, WorkedExamples) {
  ContentChecksum c{};
  UpdateContentChecksum(&c, "a", 1);
  UpdateContentChecksum(&c, "", 0);
  UpdateContentChecksum(&c, "bc", 2);
  const unsigned char abc[8] = {0x06, 0xB4, 0x50, 0x00, 0x12, 0xCC, 0x26, 0x60};
  EXPECT_EQ(std::memcmp(&c, abc, 8), 0);
  ContentChecksum ff{};
  UpdateContentChecksum(&ff, "\xff", 1);  // bytes are unsigned
  EXPECT_EQ(ChecksumWord1(ff), 0xFFFFFFFFu);
}

// Every length up to 3000 from varied start states and alignments, 5 MiB of
// 0xFF from a full state (no counter may overflow), and random splits of a
// long input, each piece through a path picked at random or the dispatching
// entry point: always the reference's result.
TEST(ContentChecksum, EveryPathMatchesTheReference) {
  std::vector<ChecksumPath> paths;
  std::string ran;
  const char* const names[] = {"Reference", "Portable", "Sse41", "Avx2"};
  for (ChecksumPath path : {ChecksumPath::Portable, ChecksumPath::Sse41, ChecksumPath::Avx2}) {
    if (!ChecksumPathSupported(path)) continue;
    paths.push_back(path);
    ran += (ran.empty() ? "" : " ") + std::string(names[static_cast<int>(path)]);
  }
  // scripts/win32-tests reads this: the vector paths realign the stack only in
  // 32-bit code, so each one the processor has must have run there.
  std::printf("checksum paths checked against the reference: %s\n", ran.c_str());
  std::mt19937 random(1);
  std::vector<uint8_t> data(300000), ones((size_t{5} << 20) + 13, 0xFF);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random() >> 24);
  auto run = [](ChecksumPath path, ContentChecksum start, const uint8_t* bytes, size_t size) {
    UpdateContentChecksumWith(path, &start, bytes, static_cast<uint32_t>(size));
    return start;
  };
  for (ChecksumPath path : paths) {
    for (uint32_t size = 0; size <= 3000; ++size) {
      const ContentChecksum start{0x9E3779B9u * (size + 1), static_cast<uint8_t>(size * 7), static_cast<uint8_t>(size * 13),
                                  static_cast<uint8_t>(size * 29), static_cast<uint8_t>(size * 31)};
      const uint8_t* at = data.data() + size % 61;
      ASSERT_TRUE(Same(run(path, start, at, size), run(ChecksumPath::Reference, start, at, size)))
          << static_cast<int>(path) << ", size " << size;
    }
    const ContentChecksum full{0xFFFFFFFFu, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_TRUE(Same(run(path, full, ones.data(), ones.size()), run(ChecksumPath::Reference, full, ones.data(), ones.size())));
  }
  paths.push_back(ChecksumPath::Reference);
  ContentChecksum got{};
  for (size_t at = 0, piece; at < data.size(); at += piece) {
    piece = std::min<size_t>(random() % 5 == 0 ? random() % 100000 : random() % 70, data.size() - at);
    if (random() % (paths.size() + 1) == paths.size()) {
      UpdateContentChecksum(&got, data.data() + at, static_cast<uint32_t>(piece));
    } else {
      UpdateContentChecksumWith(paths[random() % paths.size()], &got, data.data() + at, static_cast<uint32_t>(piece));
    }
  }
  EXPECT_TRUE(Same(got, run(ChecksumPath::Reference, {}, data.data(), data.size())));
}

}  // namespace
