#include <unistd.h>

#include <climits>

#include "payload/own_executable.h"
#include "text/text.h"

bool GetOwnExecutablePath(char16_t* path, size_t capacity) {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer - 1) return false;
  buffer[length] = 0;
  return NarrowToWide(path, capacity, buffer);
}
