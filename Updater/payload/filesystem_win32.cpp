#include <windows.h>

#include "payload/fault_injection.h"
#include "payload/filesystem.h"

namespace {
const wchar_t* AsWide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
}  // namespace

uint32_t GetPathAttributes(const char16_t* path) { return GetFileAttributesW(AsWide(path)); }

bool ResetPathAttributes(const char16_t* path) {
  NoteFileSystemChange();
  return SetFileAttributesW(AsWide(path), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool MoveFileReplacing(const char16_t* from, const char16_t* to) {
  NoteFileSystemChange();
  return MoveAllowed() && MoveFileExW(AsWide(from), AsWide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool RemoveFile(const char16_t* path) {
  NoteFileSystemChange();
  return DeleteFileW(AsWide(path)) != 0;
}

bool LinkOrCopyFile(const char16_t* existing, const char16_t* link) {
  NoteFileSystemChange();
  if (CreateHardLinkW(AsWide(link), AsWide(existing), nullptr)) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
  return CopyFileW(AsWide(existing), AsWide(link), TRUE) != 0;  // volumes without hard links
}

bool FlushFolderOf(const char16_t*) { return true; }
