#include "support/page_states_posix.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

namespace {
// The kernel's layouts (include/uapi/linux/mman.h), missing from older headers.
struct CachestatRange {
  uint64_t offset;
  uint64_t length;
};
struct Cachestat {
  uint64_t cache;
  uint64_t dirty;
  uint64_t writeback;
  uint64_t evicted;
  uint64_t recentlyEvicted;
};
constexpr long CachestatCall = 451;  // on every architecture but alpha
}  // namespace

bool ReadPageStates(const std::string& path, uint64_t offset, uint64_t length, PageStates* states) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  CachestatRange range{offset, length};
  Cachestat stat{};
  bool ok = syscall(CachestatCall, fd, &range, &stat, 0) == 0;
  close(fd);
  if (ok) *states = {stat.cache, stat.dirty, stat.writeback};
  return ok;
}

bool PageStatesFollowWriteBack(const std::string& folder) {
  std::string path = folder + "/page-states-probe";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string block(1 << 20, 'p');
  PageStates written, handed, dropped;
  bool ok = write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()) &&
            ReadPageStates(path, 0, block.size(), &written) && written.dirty > 0 &&
            sync_file_range(fd, 0, block.size(), SYNC_FILE_RANGE_WRITE) == 0 &&
            ReadPageStates(path, 0, block.size(), &handed) && handed.dirty == 0 && fsync(fd) == 0 &&
            posix_fadvise(fd, 0, block.size(), POSIX_FADV_DONTNEED) == 0 &&
            ReadPageStates(path, 0, block.size(), &dropped) && dropped.cached == 0;
  close(fd);
  unlink(path.c_str());
  return ok;
}
