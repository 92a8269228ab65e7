// The processor's share of an install's copy, without the disk: a cached
// 256 MiB file is checksummed and written to a staging file in 1 MiB blocks,
// once read into a 1 MiB buffer and once from read-only mappings of several
// window sizes, and, to tell the cost of mapping a page from the cost of the
// copy, from one mapping of the whole file whose pages were touched before.
// The staging file is truncated before each run and never synced, so the disk
// does not take part. Prints wall and CPU time (the CPU time holds when other
// programs share the processor) and page faults.
//
//   build/linux/bin/copy_bench [folder]   (default: the current folder)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "install/checksum.h"

namespace {

constexpr size_t kTotal = size_t{256} << 20;
constexpr size_t kBlock = size_t{1} << 20;
constexpr int kRuns = 7;
constexpr size_t kPremapped = ~size_t{0};  // the window "size" of the mapping made once

const unsigned char* premapped = nullptr;

struct Sample {
  double wall;
  double cpu;
  long faults;
};

double CpuSeconds(const rusage& u) {
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool WriteAll(int fd, const unsigned char* data, size_t count) {
  while (count) {
    ssize_t n = write(fd, data, count);
    if (n <= 0) return false;
    data += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

// One pass over the source; `window` 0 reads into a buffer, kPremapped uses
// the mapping made once, otherwise maps windows of that many bytes.
bool CopyOnce(int in, int out, size_t window, ContentChecksum* sum) {
  static std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBlock]);
  for (size_t at = 0; at < kTotal;) {
    size_t span = window ? std::min(window, kTotal - at) : kBlock;
    const unsigned char* base = buffer.get();
    void* mapping = nullptr;
    if (window == kPremapped) {
      span = kTotal;
      base = premapped;
    } else if (window) {
      mapping = mmap(nullptr, span, PROT_READ, MAP_SHARED, in, static_cast<off_t>(at));
      if (mapping == MAP_FAILED) return false;
      madvise(mapping, span, MADV_SEQUENTIAL);
#ifdef MADV_POPULATE_READ
      madvise(mapping, span, MADV_POPULATE_READ);
#endif
      base = static_cast<const unsigned char*>(mapping);
    } else if (pread(in, buffer.get(), span, static_cast<off_t>(at)) != static_cast<ssize_t>(span)) {
      return false;
    }
    for (size_t block = 0; block < span; block += kBlock) {
      UpdateContentChecksum(sum, base + block, static_cast<uint32_t>(kBlock));
      if (!WriteAll(out, base + block, kBlock)) return false;
    }
    if (mapping) munmap(mapping, span);
    at += span;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = argc > 1 ? argv[1] : ".";
  std::string source = folder + "/copy_bench.source";
  std::string staging = folder + "/copy_bench.tmp";

  int in = open(source.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (in < 0) {
    std::perror(source.c_str());
    return 1;
  }
  std::vector<unsigned char> block(kBlock);
  uint64_t seed = 0x9E3779B97F4A7C15ull;
  for (size_t at = 0; at < kTotal; at += kBlock) {
    for (auto& b : block) {
      seed = seed * 6364136223846793005ull + 1442695040888963407ull;
      b = static_cast<unsigned char>(seed >> 56);
    }
    if (!WriteAll(in, block.data(), kBlock)) return 1;
  }
  int out = open(staging.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) {
    std::perror(staging.c_str());
    return 1;
  }

  struct Variant {
    const char* name;
    size_t window;
  };
  const Variant variants[] = {{"read 1 MiB", 0},          {"map 1 MiB", kBlock},      {"map 4 MiB", 4 * kBlock},
                              {"map 16 MiB", 16 * kBlock}, {"map whole", kTotal},     {"map touched", kPremapped}};
  void* whole = mmap(nullptr, kTotal, PROT_READ, MAP_SHARED, in, 0);
  if (whole == MAP_FAILED) return 1;
  premapped = static_cast<const unsigned char*>(whole);
  ContentChecksum warm{};
  UpdateContentChecksum(&warm, premapped, static_cast<uint32_t>(kTotal));  // user-side touch
  if (!CopyOnce(in, out, kPremapped, &warm)) return 1;                     // kernel-side touch
  std::printf("%-12s %9s %9s %12s  (median of %d, 256 MiB each)\n", "path", "wall GB/s", "CPU GB/s", "minor faults",
              kRuns);
  ContentChecksum expected{};
  bool first = true;
  // Runs go round the variants so that a busy moment hits all of them alike.
  std::vector<std::vector<Sample>> samples(std::size(variants));
  for (int run = 0; run < kRuns; ++run) {
    for (size_t v = 0; v < std::size(variants); ++v) {
      if (ftruncate(out, 0) != 0 || lseek(out, 0, SEEK_SET) != 0) return 1;
      ContentChecksum sum{};
      rusage before, after;
      getrusage(RUSAGE_SELF, &before);
      auto start = std::chrono::steady_clock::now();
      if (!CopyOnce(in, out, variants[v].window, &sum)) {
        std::printf("%s failed\n", variants[v].name);
        return 1;
      }
      std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
      getrusage(RUSAGE_SELF, &after);
      if (first) expected = sum;
      first = false;
      if (std::memcmp(&sum, &expected, sizeof sum) != 0) {
        std::printf("%s: checksum differs\n", variants[v].name);
        return 1;
      }
      samples[v].push_back({wall.count(), CpuSeconds(after) - CpuSeconds(before), after.ru_minflt - before.ru_minflt});
    }
  }
  for (size_t v = 0; v < std::size(variants); ++v) {
    auto median = [&](auto field) {
      std::vector<double> values;
      for (const Sample& s : samples[v]) values.push_back(static_cast<double>(s.*field));
      std::sort(values.begin(), values.end());
      return values[values.size() / 2];
    };
    std::printf("%-12s %9.2f %9.2f %12.0f\n", variants[v].name, kTotal / median(&Sample::wall) / 1e9,
                kTotal / median(&Sample::cpu) / 1e9, median(&Sample::faults));
  }
  munmap(whole, kTotal);
  close(out);
  close(in);
  unlink(staging.c_str());
  unlink(source.c_str());
  return 0;
}
