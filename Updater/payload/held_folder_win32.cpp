#include "payload/held_folder_win32.h"

#include <string>

#include "payload/filesystem.h"

namespace {

struct HeldFolder {
  std::u16string path;
  HANDLE handle = INVALID_HANDLE_VALUE;
};
HeldFolder held;

// Readable data access makes the share mode count, so others' opens for
// DELETE (renames and removals of the folder) fail while this one lasts.
HANDLE OpenFolderInPlace(const std::u16string& path, DWORD flags) {
  return CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags,
                     nullptr);
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

bool HoldFolder(const char16_t* folder) {
  ReleaseHeldFolder();
  std::u16string path = folder;
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  // The game folder itself may be reached through a link: the registry names
  // it. "D:" alone would be the drive's current folder, not its root.
  HANDLE handle = OpenFolderInPlace(path.back() == u':' ? path + u"\\" : path, 0);
  if (handle == INVALID_HANDLE_VALUE) return false;
  held = {path, handle};
  return true;
}

void ReleaseHeldFolder() {
  if (held.handle != INVALID_HANDLE_VALUE) CloseHandle(held.handle);
  held = {};
}

HeldPath::HeldPath(const char16_t* path) {
  std::u16string text = path;
  const std::u16string& root = held.path;
  if (held.handle == INVALID_HANDLE_VALUE || text.size() <= root.size() || text.compare(0, root.size(), root) != 0 ||
      !IsSeparator(text[root.size()]))
    return;
  size_t componentStart = root.size() + 1;
  for (size_t i = componentStart; i <= text.size(); ++i) {
    if (i < text.size() && !IsSeparator(text[i])) continue;
    std::u16string component = text.substr(componentStart, i - componentStart);
    componentStart = i + 1;
    // Windows folds ".." away before it opens anything: that would climb out.
    if (component == u"..") {
      ok_ = false;
      SetLastError(ERROR_ACCESS_DENIED);
      return;
    }
    // The last component is the file itself, handled by the operation.
    if (i == text.size() || component.empty() || component == u".") continue;
    HANDLE folder = OpenFolderInPlace(text.substr(0, i), FILE_FLAG_OPEN_REPARSE_POINT);
    if (folder == INVALID_HANDLE_VALUE) {
      ok_ = false;
      return;
    }
    folders_.push_back(folder);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(folder, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      ok_ = false;
      SetLastError(ERROR_ACCESS_DENIED);
      return;
    }
  }
}

HeldPath::~HeldPath() {
  for (HANDLE folder : folders_) CloseHandle(folder);
}
