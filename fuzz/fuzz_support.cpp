#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > MaxInputSize) return -1;
  FuzzOne(data, size);
  return 0;
}

const std::string& ScratchFolder() {
  static TempFolder* folder = [] {
    // FUZZ_SCRATCH: a folder the caller removes (an abort skips our own clean-up).
    if (const char* base = std::getenv("FUZZ_SCRATCH"); base && *base) setenv("TMPDIR", base, 1);
    static TempFolder scratch;
    return &scratch;
  }();
  return folder->path();
}

void WriteFileAt(const std::string& path, off_t offset, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0 && ftruncate(fd, offset) == 0 &&
            (size == 0 || pwrite(fd, data, size, offset) == static_cast<ssize_t>(size));
  if (fd >= 0) close(fd);
  if (!ok) Fail(__FILE__, __LINE__, path.c_str());
}

std::vector<std::string> FolderNames(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (auto& entry : std::filesystem::directory_iterator(path, ignored)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
  std::abort();
}
