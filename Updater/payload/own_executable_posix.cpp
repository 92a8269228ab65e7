#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "payload/own_executable.h"
#include "text/path_buffer.h"
#include "text/text.h"

namespace {

std::u16string ownPath;  // empty until HoldOwnExecutable
int ownFile = -1;

// The device and inode of the file mapped where this code runs, as the
// kernel lists the process's mappings: "start-end perms offset major:minor inode path".
bool RunningImageFile(dev_t* device, ino_t* inode) {
  std::FILE* maps = std::fopen("/proc/self/maps", "re");
  if (!maps) return false;
  auto here = reinterpret_cast<uintptr_t>(&RunningImageFile);
  char line[PATH_MAX + 128];
  bool found = false;
  while (!found && std::fgets(line, sizeof line, maps)) {
    char* at = line;
    auto number = [&at](int base) { return std::strtoull(at, &at, base); };
    auto skip = [&at](char c) { return *at == c ? ++at, true : false; };
    unsigned long long start = number(16), end = (skip('-'), number(16));
    while (*at == ' ' || std::isalpha(static_cast<unsigned char>(*at)) || *at == '-') ++at;  // the permissions
    number(16);                                                                               // the offset
    unsigned long long major = number(16), minor = (skip(':'), number(16)), node = number(10);
    found = here >= start && here < end;
    *device = makedev(major, minor);
    *inode = static_cast<ino_t>(node);
  }
  std::fclose(maps);
  return found;
}

}  // namespace

bool GetOwnExecutablePath(char16_t* path, size_t capacity) {
  // Once held, the path it had then: the link names a file renamed since by its new name.
  if (!ownPath.empty()) return FormatWide(path, capacity, u"%s", ownPath.c_str()) >= 0;
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer - 1) return false;
  buffer[length] = 0;
  return NarrowToWide(path, capacity, buffer);
}

bool HoldOwnExecutable() {
  PathBuffer<> path;
  if (!GetOwnExecutablePath(path.data(), path.capacity())) return false;
  ownPath = path.c_str();
  // The kernel's link to the file the program was started from, not a lookup
  // of its name, which may name another file by now.
  int file = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  struct stat opened;
  dev_t device;
  ino_t inode;
  if (file >= 0 && fstat(file, &opened) == 0 && RunningImageFile(&device, &inode) && opened.st_dev == device &&
      opened.st_ino == inode) {
    ownFile = file;
    return true;
  }
  if (file >= 0) close(file);
  return false;
}

bool ReopenOwnExecutable(const char16_t* path, intptr_t* handle) {
  if (ownPath.empty() || ownPath != path) return false;
  *handle = ownFile >= 0 ? dup(ownFile) : -1;
  if (ownFile < 0) errno = EACCES;
  return true;
}
