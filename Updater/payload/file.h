// CFileDX: the one file class. A thin owner of one open file, opened and closed
// within one operation. Paths are Windows paths; the POSIX build translates them
// (see windows_path_posix.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The same layouts as the Windows FILETIME and SYSTEMTIME, so that portable code
// can hold them without the Windows headers.
struct FileTime {
  uint32_t low;
  uint32_t high;
};

struct SystemTime {
  uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

constexpr uint64_t InvalidFileSize = UINT64_MAX;

// OpenWrite modes: 1 opens or creates keeping the contents; 2 creates a new file
// and fails if the name exists (never writing through a planted link); every
// other mode creates or truncates.
constexpr uint32_t OpenWriteTruncate = 0;
constexpr uint32_t OpenWriteKeep = 1;
constexpr uint32_t OpenWriteCreateNew = 2;
constexpr uint32_t ErrorFileNotFound = 2;
constexpr uint32_t ErrorPathNotFound = 3;
constexpr uint32_t ErrorAccessDenied = 5;

class CFileDX {
 public:
  CFileDX();
  virtual ~CFileDX();
  CFileDX(const CFileDX&) = delete;
  CFileDX& operator=(const CFileDX&) = delete;

  void Close();
  int OpenRead(const char16_t* path);
  int OpenRead(const char* path);
  int OpenWrite(const char16_t* path, uint32_t mode);
  int OpenWrite(const char* path, uint32_t mode);

  uint32_t Read(void* buffer, uint32_t count);
  uint32_t Write(const void* buffer, uint32_t count);
  int Seek(uint32_t low, uint32_t high);
  // The whole size, also past 4 GiB; InvalidFileSize when it cannot be read.
  uint64_t GetSize();
  // Pushes written data to the disk (FlushFileBuffers / fsync).
  int Flush();
  // Called after writing `count` bytes at `offset` of a file written from
  // start to end: starts writing them to the disk without waiting, and drops
  // from the cache the pages well before them that are on the disk already,
  // so that a long write reuses a few pages instead of taking ever new ones.
  // Only hints: Flush still decides what is on the disk and sees every error.
  void WriteBehind(uint64_t offset, uint32_t count);
  uint32_t GetLastOpenError() const { return lastOpenError_; }

  int GetTimes(FileTime* creation, FileTime* lastAccess, FileTime* lastWrite);
  int GetLastWriteLocalTime(SystemTime* time);
  int SetTimes(const FileTime* creation, const FileTime* lastAccess, const FileTime* lastWrite);

  bool IsOpen() const { return handle_ != InvalidHandle; }

  // Works on the open file's own handle.
  friend bool RewriteFile(const char16_t* path, const std::function<bool(CFileDX&, std::string*)>& rewrite,
                          const char** why);

 private:
  static constexpr intptr_t InvalidHandle = -1;  // INVALID_HANDLE_VALUE, or no descriptor
  intptr_t handle_ = InvalidHandle;
  uint32_t lastOpenError_ = 0;
};

// Seek to an absolute 64-bit position, given to Seek as its two halves.
int SeekTo(CFileDX& file, uint64_t position);

// Fills a SYSTEMTIME from a DOS date and time (2-second resolution); the day of
// the week and the milliseconds are left as they are.
void SystemTimeFromDosDateTime(SystemTime* time, uint16_t dosDate, uint16_t dosTime);
