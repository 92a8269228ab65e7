#include "payload/held_folder_win32.h"

#include <string>
#include <string_view>

#include "payload/held_folder.h"

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
  if (path.empty()) return false;
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
  if (held.handle == INVALID_HANDLE_VALUE) return;
  std::u16string_view text = path;
  std::vector<std::u16string_view> below;
  PlaceInFolder where = ComponentsBelow<char16_t>(held.path, text, &below);
  if (where == PlaceInFolder::Refused) {
    ok_ = false;
    SetLastError(ERROR_ACCESS_DENIED);
    return;
  }
  // Every folder on the way; the last component is the file itself, handled
  // by the operation.
  for (size_t i = 0; where == PlaceInFolder::Below && i + 1 < below.size(); ++i) {
    size_t end = static_cast<size_t>(below[i].data() - text.data()) + below[i].size();
    HANDLE folder = OpenFolderInPlace(std::u16string(text.substr(0, end)), FILE_FLAG_OPEN_REPARSE_POINT);
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
