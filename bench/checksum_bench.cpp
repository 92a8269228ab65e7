// Throughput of each content checksum implementation this processor supports:
// 256 MiB fed in 1 MiB calls, best of several runs.
#include "install/checksum.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kTotal = size_t{256} << 20;
constexpr size_t kCall = size_t{1} << 20;
constexpr int kRuns = 5;

const char* Name(ChecksumPath path) {
  switch (path) {
    case ChecksumPath::Reference: return "reference";
    case ChecksumPath::Portable: return "portable";
    case ChecksumPath::Sse41: return "sse4.1";
    case ChecksumPath::Avx2: return "avx2";
  }
  return "?";
}

}  // namespace

int main() {
  std::vector<uint8_t> data(kTotal);
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  for (auto& b : data) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    b = static_cast<uint8_t>(seed >> 56);
  }

  double referenceSeconds = 0;
  ContentChecksum referenceResult{};
  for (ChecksumPath path : {ChecksumPath::Reference, ChecksumPath::Portable, ChecksumPath::Sse41, ChecksumPath::Avx2}) {
    if (!ChecksumPathSupported(path)) {
      std::printf("%-10s not supported here\n", Name(path));
      continue;
    }
    double best = 1e30;
    ContentChecksum result{};
    for (int run = 0; run < kRuns; ++run) {
      ContentChecksum c{};
      auto start = std::chrono::steady_clock::now();
      for (size_t at = 0; at < kTotal; at += kCall) {
        UpdateContentChecksumWith(path, &c, data.data() + at, static_cast<uint32_t>(kCall));
      }
      std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      if (elapsed.count() < best) best = elapsed.count();
      result = c;
    }
    if (path == ChecksumPath::Reference) {
      referenceSeconds = best;
      referenceResult = result;
    }
    bool same = std::memcmp(&result, &referenceResult, sizeof result) == 0;
    std::printf("%-10s %6.2f GB/s  %5.2fx reference%s\n", Name(path), kTotal / best / 1e9, referenceSeconds / best,
                same ? "" : "  RESULT DIFFERS");
  }
  return 0;
}
