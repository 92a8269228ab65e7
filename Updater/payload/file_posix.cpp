#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <string>

#include "payload/file_faults.h"
#include "payload/file.h"
#include "payload/held_folder_posix.h"
#include "payload/own_executable.h"

namespace {

// Seconds between 1601-01-01 (FILETIME's epoch) and 1970-01-01.
constexpr uint64_t FileTimeEpochOffset = 11644473600ull;

FileTime ToFileTime(const timespec& ts) {
  uint64_t ticks = (static_cast<uint64_t>(ts.tv_sec) + FileTimeEpochOffset) * 10000000ull +
                   static_cast<uint64_t>(ts.tv_nsec) / 100;
  return {static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

timespec ToTimespec(const FileTime& ft) {
  uint64_t ticks = (static_cast<uint64_t>(ft.high) << 32) | ft.low;
  timespec ts;
  ts.tv_sec = static_cast<time_t>(ticks / 10000000ull) - static_cast<time_t>(FileTimeEpochOffset);
  ts.tv_nsec = static_cast<long>(ticks % 10000000ull) * 100;
  return ts;
}

uint32_t WindowsErrorOf(int error) {
  switch (error) {
    case ENOENT: return ErrorFileNotFound;
    case ELOOP: return ErrorAccessDenied;  // a link where the held folder allows none
    case ENOTDIR: return ErrorPathNotFound;
    case EILSEQ: return 123;  // ERROR_INVALID_NAME
    case EACCES: case EPERM: case EISDIR: case EROFS: case EMLINK: return ErrorAccessDenied;
    default: return 31;  // ERROR_GEN_FAILURE
  }
}

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

void CFileDX::Close() {
  if (handle_ == InvalidHandle) return;
  close(Descriptor(handle_));
  handle_ = InvalidHandle;
}

int CFileDX::OpenRead(const char16_t* path) {
  if (IsOpen()) return 0;
  intptr_t own;
  if (ReopenOwnExecutable(path, &own)) {
    if (own < 0) {
      lastOpenError_ = WindowsErrorOf(errno);
      return 0;
    }
    handle_ = own;
    return 1;
  }
  PosixPlace place;
  // Never blocking on a FIFO, never through a link at the last name.
  int fd = ResolveWindowsPlace(path, &place)
               ? openat(place.folder, place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)
               : -1;
  struct stat st;
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (place.folder != AT_FDCWD && st.st_nlink != 1))) {
    // Only a regular file is read (Windows does not open a folder as a file),
    // and in the held folder only one with no other name, which could be
    // anyone's file hard-linked into the game folder.
    int refusal = S_ISREG(st.st_mode) ? EMLINK : EACCES;
    close(fd);
    fd = -1;
    errno = refusal;
  }
  if (fd < 0) {
    lastOpenError_ = WindowsErrorOf(errno);
    return 0;
  }
  handle_ = fd;
  return 1;
}

int CFileDX::OpenWrite(const char16_t* path, uint32_t mode) {
  if (IsOpen()) return 0;
  NoteFileSystemChange();
  PosixPlace place;
  if (!ResolveWindowsPlace(path, &place)) return 0;
  // A file without its owner's write bit stands for the read-only attribute,
  // which Windows honours even for administrators.
  // Only a regular file is written; never through a link, never blocking on a FIFO.
  struct stat st;
  if (fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      (!S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR))) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : S_ISLNK(st.st_mode) ? ELOOP : EACCES;
    return 0;
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  if (mode == OpenWriteCreateNew) flags |= O_EXCL;
  else if (mode != OpenWriteKeep) flags |= O_TRUNC;
  int fd = openat(place.folder, place.name.c_str(), flags, 0666);
  if (fd < 0) return 0;
  NoteNameAdded(place);
  handle_ = fd;
  return 1;
}

uint32_t CFileDX::Read(void* buffer, uint32_t count) {
  if (!IsOpen()) return 0;
  uint32_t done = 0;
  while (done < count) {
    ssize_t n = read(Descriptor(handle_), static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;
    if (n == 0) break;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

uint32_t CFileDX::Write(const void* buffer, uint32_t count) {
  if (!IsOpen()) return 0;
  NoteFileSystemChange();
  count = WritableBytes(count);
  uint32_t done = 0;
  while (done < count) {
    ssize_t n = write(Descriptor(handle_), static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

int CFileDX::Seek(uint32_t low, uint32_t high) {
  if (!IsOpen()) return 0;
  off_t position = static_cast<off_t>((static_cast<uint64_t>(high) << 32) | low);
  return lseek(Descriptor(handle_), position, SEEK_SET) == position;
}

uint64_t CFileDX::GetSize() {
  struct stat st;
  if (!IsOpen() || fstat(Descriptor(handle_), &st) != 0) return InvalidFileSize;
  return static_cast<uint64_t>(st.st_size);
}

int CFileDX::Flush() {
  if (!IsOpen()) return 0;
  NoteFileSystemChange();
  return FlushAllowed() && fsync(Descriptor(handle_)) == 0;
}

void CFileDX::WriteBehind(uint64_t offset, uint32_t count) {
  if (!IsOpen()) return;
  int fd = Descriptor(handle_);
#ifdef SYNC_FILE_RANGE_WRITE
  // Without a wait flag it neither blocks nor takes an error away from fsync.
  sync_file_range(fd, static_cast<off_t>(offset), count, SYNC_FILE_RANGE_WRITE);
#else
  (void)count;
#endif
  // Pages this far back are nearly always written by now; one still being
  // written stays, and each such miss costs a drain of every processor's
  // page lists.
  constexpr uint64_t lag = uint64_t{8} << 20;
  if (offset > lag) posix_fadvise(fd, 0, static_cast<off_t>(offset - lag), POSIX_FADV_DONTNEED);
}

int CFileDX::GetTimes(FileTime* creation, FileTime* lastAccess, FileTime* lastWrite) {
  struct stat st;
  if (!IsOpen() || fstat(Descriptor(handle_), &st) != 0) return 0;
  if (creation) *creation = ToFileTime(st.st_ctim);  // POSIX keeps no creation time
  if (lastAccess) *lastAccess = ToFileTime(st.st_atim);
  if (lastWrite) *lastWrite = ToFileTime(st.st_mtim);
  return 1;
}

int CFileDX::SetTimes(const FileTime*, const FileTime* lastAccess, const FileTime* lastWrite) {
  if (!IsOpen()) return 0;
  timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  if (lastAccess) times[0] = ToTimespec(*lastAccess);
  if (lastWrite) times[1] = ToTimespec(*lastWrite);
  return futimens(Descriptor(handle_), times) == 0;
}

int CFileDX::GetLastWriteLocalTime(SystemTime* time) {
  FileTime creation{}, access{}, write{};
  int result = GetTimes(&creation, &access, &write);
  timespec ts = ToTimespec(write);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  uint16_t date = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  uint16_t clock = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  SystemTimeFromDosDateTime(time, date, clock);
  return result;
}
