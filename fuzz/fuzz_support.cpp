#include "fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "text/text.h"

namespace {

std::string scratch;

void RemoveScratch() {
  if (!scratch.empty()) RemoveTree(scratch);
}

}  // namespace

const std::string& ScratchFolder() {
  if (scratch.empty()) {
    // FUZZ_SCRATCH: a folder the caller removes (an abort skips our own clean-up).
    struct stat st;
    const char* base = std::getenv("FUZZ_SCRATCH");
    if (!base || !*base) base = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/updater-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back(0);
    if (!mkdtemp(name.data())) Fail(__FILE__, __LINE__, "no scratch folder");
    scratch = name.data();
    std::atexit(RemoveScratch);
  }
  return scratch;
}

void WriteFileAt(const std::string& path, off_t offset, const uint8_t* data, size_t size) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail(__FILE__, __LINE__, path.c_str());
  bool ok = ftruncate(fd, offset) == 0 && (size == 0 || pwrite(fd, data, size, offset) == static_cast<ssize_t>(size));
  close(fd);
  if (!ok) Fail(__FILE__, __LINE__, path.c_str());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  WriteFileAt(path, 0, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
  close(fd);
  return bytes;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  // Folders without write permission would keep their entries.
  for (std::filesystem::recursive_directory_iterator it(path, ignored), end; !ignored && it != end;
       it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                   ignored);
  }
  ignored.clear();
  std::filesystem::remove_all(path, ignored);
}

void MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0) Fail(__FILE__, __LINE__, path.c_str());
}

std::vector<std::string> FolderNames(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::u16string Wide(const std::string& utf8) { return NarrowToWide(utf8.c_str()); }

void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
  std::abort();
}
