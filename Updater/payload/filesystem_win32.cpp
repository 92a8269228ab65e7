#include <windows.h>

#include "payload/file_faults.h"
#include "payload/filesystem.h"
#include "payload/held_folder_win32.h"

namespace {
const wchar_t* AsWide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
}  // namespace

uint32_t GetPathAttributes(const char16_t* path) {
  HeldPath held(path);
  return held.ok() ? GetFileAttributesW(AsWide(path)) : InvalidFileAttributes;
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
