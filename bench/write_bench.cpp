// How the staging file's writes reach the disk: 512 MiB written in 1 MiB
// blocks from one buffer, then fsync, four ways:
//   write, fsync        every block into the page cache, all written at fsync
//   + write-back        each block handed to the disk at once (sync_file_range)
//   + drop (installed)  CFileDX::WriteBehind: the above, and pages long written
//                       dropped from the cache so that new blocks reuse them
//   O_DIRECT            each block written by the disk straight from the buffer
// Rounds go through the four in turn; before each run the last file is
// removed, and after a sync the memory it freed is left to settle for 3 s.
// Prints the median wall and system time of each.
//
//   build/linux/bin/write_bench [folder]   (default: the current folder)
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "payload/file.h"
#include "text/text.h"

namespace {

constexpr size_t kTotal = size_t{512} << 20;
constexpr uint32_t kBlock = 1 << 20;
constexpr int kRuns = 5;

enum class Way { Plain, WriteBack, WriteBehind, Direct };

double SystemSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

bool WriteWith(Way way, const std::string& path, unsigned char* buffer) {
  if (way == Way::WriteBehind) {
    char16_t wide[PathCapacity];
    CFileDX file;
    if (!NarrowToWide(wide, PathCapacity, path.c_str()) || !file.OpenWrite(wide, OpenWriteCreateNew)) return false;
    for (size_t at = 0; at < kTotal; at += kBlock) {
      buffer[at / kBlock] ^= 1;  // not the same block twice
      if (file.Write(buffer, kBlock) != kBlock) return false;
      file.WriteBehind(at, kBlock);
    }
    return file.Flush() == 1;
  }
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | (way == Way::Direct ? O_DIRECT : 0), 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t at = 0; at < kTotal && ok; at += kBlock) {
    buffer[at / kBlock] ^= 1;
    ok = write(fd, buffer, kBlock) == kBlock;
    if (way == Way::WriteBack) sync_file_range(fd, static_cast<off_t>(at), kBlock, SYNC_FILE_RANGE_WRITE);
  }
  ok = ok && fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = std::string(argc > 1 ? argv[1] : ".") + "/write_bench.tmp";
  // O_DIRECT needs a buffer aligned to the disk's blocks.
  auto* buffer = static_cast<unsigned char*>(std::aligned_alloc(4096, kBlock));
  if (!buffer) return 1;
  std::memset(buffer, 0x5A, kBlock);

  struct Variant {
    const char* name;
    Way way;
    std::vector<double> wall, system;
  };
  Variant variants[] = {{"write, fsync", Way::Plain, {}, {}},
                        {"+ write-back", Way::WriteBack, {}, {}},
                        {"+ drop (installed)", Way::WriteBehind, {}, {}},
                        {"O_DIRECT", Way::Direct, {}, {}}};
  for (int run = 0; run < kRuns; ++run) {
    for (Variant& v : variants) {
      unlink(path.c_str());
      sync();
      sleep(3);
      double systemBefore = SystemSeconds();
      auto start = std::chrono::steady_clock::now();
      if (!WriteWith(v.way, path, buffer)) {
        std::printf("%s: writing %s failed\n", v.name, path.c_str());
        return 1;
      }
      std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
      v.wall.push_back(wall.count());
      v.system.push_back(SystemSeconds() - systemBefore);
    }
  }
  unlink(path.c_str());
  std::printf("%-20s %9s %9s %9s  (512 MiB, median of %d)\n", "way", "wall s", "system s", "GB/s", kRuns);
  for (Variant& v : variants) {
    std::sort(v.wall.begin(), v.wall.end());
    std::sort(v.system.begin(), v.system.end());
    double wall = v.wall[v.wall.size() / 2];
    std::printf("%-20s %9.3f %9.3f %9.2f\n", v.name, wall, v.system[v.system.size() / 2], kTotal / wall / 1e9);
  }
  std::free(buffer);
  return 0;
}
