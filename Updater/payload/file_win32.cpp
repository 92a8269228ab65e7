#include <windows.h>
#include <winternl.h>

#include "payload/file_faults.h"
#include "payload/file.h"
#include "payload/held_folder_win32.h"
#include "payload/own_executable.h"

namespace {
HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
static_assert(sizeof(FileTime) == sizeof(FILETIME) && sizeof(SystemTime) == sizeof(SYSTEMTIME));
}  // namespace

void CFileDX::Close() {
  if (handle_ == InvalidHandle) return;
  CloseHandle(AsHandle(handle_));
  handle_ = InvalidHandle;
}

int CFileDX::OpenRead(const char16_t* path) {
  if (IsOpen()) return 0;
  HANDLE h = nullptr;
  intptr_t own = -1;
  if (ReopenOwnExecutable(path, &own)) {
    h = own == -1 ? nullptr : reinterpret_cast<HANDLE>(own);
  } else {
    FilePlace place(path);
    h = place.Open(GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY);
    BY_HANDLE_FILE_INFORMATION info;
    // In the held folder, never a file with another name: it may be anyone's,
    // hard-linked into the game folder.
    if (h && place.belowHeldFolder() && (!GetFileInformationByHandle(h, &info) || info.nNumberOfLinks != 1)) {
      CloseHandle(h);
      h = nullptr;
      SetLastError(ERROR_ACCESS_DENIED);
    }
  }
  if (!h) {
    lastOpenError_ = GetLastError();
    return 0;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return 1;
}

int CFileDX::OpenWrite(const char16_t* path, uint32_t mode) {
  if (IsOpen()) return 0;
  NoteFileSystemChange();
  // Created only where nothing has the name (never through a planted link);
  // an existing file is opened as itself and truncated by hand.
  HANDLE h = FilePlace(path).Open(GENERIC_WRITE, 0, mode == OpenWriteCreateNew ? FILE_CREATE : FILE_OPEN_IF,
                                  FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, FILE_ATTRIBUTE_ARCHIVE);
  if (!h) return 0;
  handle_ = reinterpret_cast<intptr_t>(h);
  if (mode != OpenWriteKeep && mode != OpenWriteCreateNew && !SetEndOfFile(h)) Close();
  return IsOpen();
}

uint32_t CFileDX::Read(void* buffer, uint32_t count) {
  DWORD transferred = 0;
  if (!ReadFile(AsHandle(handle_), buffer, count, &transferred, nullptr)) return 0;
  return transferred;
}

uint32_t CFileDX::Write(const void* buffer, uint32_t count) {
  DWORD transferred = 0;
  NoteFileSystemChange();
  if (!WriteFile(AsHandle(handle_), buffer, WritableBytes(count), &transferred, nullptr)) return 0;
  return transferred;
}

int CFileDX::Seek(uint32_t low, uint32_t high) {
  LONG highPart = static_cast<LONG>(high);
  SetLastError(0);
  DWORD result = SetFilePointer(AsHandle(handle_), static_cast<LONG>(low), &highPart, FILE_BEGIN);
  if (result != INVALID_SET_FILE_POINTER) return 1;
  return GetLastError() == 0;
}

uint64_t CFileDX::GetSize() {
  LARGE_INTEGER size;
  return GetFileSizeEx(AsHandle(handle_), &size) ? static_cast<uint64_t>(size.QuadPart) : InvalidFileSize;
}

int CFileDX::Flush() {
  NoteFileSystemChange();
  return FlushAllowed() && FlushFileBuffers(AsHandle(handle_)) ? 1 : 0;
}

// The cache manager's lazy writer writes behind by itself, and Windows has no
// call that starts writing a range of a cached file without waiting for it.
void CFileDX::WriteBehind(uint64_t, uint32_t) {}

int CFileDX::GetTimes(FileTime* creation, FileTime* lastAccess, FileTime* lastWrite) {
  return GetFileTime(AsHandle(handle_), reinterpret_cast<FILETIME*>(creation), reinterpret_cast<FILETIME*>(lastAccess),
                     reinterpret_cast<FILETIME*>(lastWrite));
}

int CFileDX::SetTimes(const FileTime* creation, const FileTime* lastAccess, const FileTime* lastWrite) {
  return SetFileTime(AsHandle(handle_), reinterpret_cast<const FILETIME*>(creation),
                     reinterpret_cast<const FILETIME*>(lastAccess), reinterpret_cast<const FILETIME*>(lastWrite));
}

int CFileDX::GetLastWriteLocalTime(SystemTime* time) {
  FileTime creation{}, access{}, write{};
  int result = GetTimes(&creation, &access, &write);
  FILETIME local;
  WORD date = 0, clock = 0;
  FileTimeToLocalFileTime(reinterpret_cast<FILETIME*>(&write), &local);
  FileTimeToDosDateTime(&local, &date, &clock);
  SystemTimeFromDosDateTime(time, date, clock);
  return result;
}
