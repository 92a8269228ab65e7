#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "file_io.h"

InputFile OpenForReading(const std::string& path) {
  // Never waiting on a FIFO or a device; a folder opens, and its read fails.
  int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  if (descriptor >= 0 && (fstat(descriptor, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))) {
    close(descriptor);
    descriptor = -1;
    errno = NotARegularFile;
  }
  std::FILE* file = descriptor >= 0 ? fdopen(descriptor, "rb") : nullptr;
  if (!file && descriptor >= 0) close(descriptor);
  return InputFile(file, std::fclose);
}
