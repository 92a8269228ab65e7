#include <windows.h>

#include "payload/file_faults.h"
#include "payload/filesystem.h"
#include "payload/held_folder_win32.h"

namespace {
const wchar_t* AsWide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
}  // namespace

uint32_t LastFileError() { return GetLastError(); }
void ClearLastFileError() { SetLastError(0); }

uint32_t GetPathAttributes(const char16_t* path) {
  HeldPath held(path);
  return held.ok() ? GetFileAttributesW(AsWide(path)) : InvalidFileAttributes;
}

bool PathIsAbsent(const char16_t* path) {
  HeldPath held(path);
  if (held.ok() && GetFileAttributesW(AsWide(path)) != INVALID_FILE_ATTRIBUTES) return false;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool ResetPathAttributes(const char16_t* path) {
  NoteFileSystemChange();
  HeldPath held(path);
  return held.ok() && SetFileAttributesW(AsWide(path), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool MoveFileReplacing(const char16_t* from, const char16_t* to) {
  NoteFileSystemChange();
  HeldPath heldFrom(from), heldTo(to);
  return MoveAllowed() && heldFrom.ok() && heldTo.ok() && MoveFileExW(AsWide(from), AsWide(to), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool MoveFileKeepingAttributes(const char16_t* replacement, const char16_t* replaced) {
  NoteFileSystemChange();
  HeldPath heldFrom(replacement), heldTo(replaced);
  if (!MoveAllowed() || !heldFrom.ok() || !heldTo.ok()) return false;
  DWORD attributes = GetFileAttributesW(AsWide(replaced));
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return MoveFileExW(AsWide(replacement), AsWide(replaced), MOVEFILE_REPLACE_EXISTING) != 0;
  // ReplaceFileW keeps the replaced file's ACL and owner, and on Windows its
  // attributes too; Wine keeps the replacement's, so they are given to it first.
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  SetFileAttributesW(AsWide(replacement), (attributes & kept) ? attributes & kept : FILE_ATTRIBUTE_NORMAL);
  return ReplaceFileW(AsWide(replaced), AsWide(replacement), nullptr, 0, nullptr, nullptr) != 0;
}

bool RemoveFile(const char16_t* path) {
  NoteFileSystemChange();
  HeldPath held(path);
  return held.ok() && DeleteFileW(AsWide(path)) != 0;
}

bool LinkOrCopyFile(const char16_t* existing, const char16_t* link) {
  NoteFileSystemChange();
  HeldPath heldExisting(existing), heldLink(link);
  if (!heldExisting.ok() || !heldLink.ok()) return false;
  if (CreateHardLinkW(AsWide(link), AsWide(existing), nullptr)) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return false;
  return CopyFileW(AsWide(existing), AsWide(link), TRUE) != 0;  // volumes without hard links
}

bool FlushFolderOf(const char16_t*) { return true; }
