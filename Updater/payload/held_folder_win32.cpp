#include "payload/held_folder_win32.h"

#include <string_view>

#include "payload/held_folder.h"

namespace {

constexpr NTSTATUS NameCollision = static_cast<NTSTATUS>(0xC0000035);  // STATUS_OBJECT_NAME_COLLISION
constexpr ACCESS_MASK FolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE;
// Readable data access makes the share mode count, so others' opens for
// DELETE (renames and removals of a held folder) fail while it is held.
constexpr ULONG FolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

struct HeldFolder {
  std::u16string path;          // as the callers spell it
  std::vector<HANDLE> folders;  // from the volume's root down to the folder
};
HeldFolder held;

const wchar_t* AsWide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

HANDLE OpenRelative(HANDLE folder, std::u16string_view name, ACCESS_MASK access, ULONG share, ULONG disposition,
                    ULONG options, ULONG attributes) {
  if (name.size() > 0x7FFF) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  UNICODE_STRING text;
  text.Buffer = const_cast<PWSTR>(reinterpret_cast<PCWSTR>(name.data()));
  text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(char16_t));
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  NTSTATUS status = NtCreateFile(&handle, access | FILE_READ_ATTRIBUTES | SYNCHRONIZE, &object, &io, nullptr,
                                 attributes, share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (status >= 0) return handle;
  // CreateFileW's code for a name that is taken.
  if (status == NameCollision && disposition == FILE_CREATE) SetLastError(ERROR_FILE_EXISTS);
  else SetLastErrorFromStatus(status);
  return nullptr;
}

bool FinalPath(HANDLE handle, DWORD flags, std::u16string* path) {
  DWORD size = GetFinalPathNameByHandleW(handle, nullptr, 0, flags);
  if (!size) return false;
  path->assign(size, u'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, reinterpret_cast<wchar_t*>(path->data()), size, flags);
  if (!length || length >= size) return false;
  path->resize(length);
  return true;
}

// Wine opens a Unix symbolic link, even as itself, as what it points to.
bool UnderWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// Whether `handle`, which `name` in `folder` was opened as, is a link. Windows
// opens a link as itself, and its handle says so; under Wine it is what the
// link points to, whose final path is not the folder's with the name.
bool IsLink(HANDLE handle, HANDLE folder, std::u16string_view name) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  if (!UnderWine()) return false;
  std::u16string opened, expected;
  if (!FinalPath(handle, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS, &opened) ||
      !FinalPath(folder, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS, &expected))
    return true;
  if (expected.back() != u'\\') expected += u'\\';
  expected += name;
  return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(opened.data()), static_cast<int>(opened.size()),
                              reinterpret_cast<const wchar_t*>(expected.data()), static_cast<int>(expected.size()),
                              TRUE) != CSTR_EQUAL;
}

// A name relative to a handle is taken as it stands: one that names no file
// of its own ("", ".", "..") is refused.
bool IsPlainName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  return true;
}

// A folder below `folder`, opened as itself: a link is refused.
HANDLE OpenFolderIn(HANDLE folder, std::u16string_view name) {
  if (!IsPlainName(name)) return nullptr;
  HANDLE next = OpenRelative(folder, name, FolderAccess, FolderShare, FILE_OPEN,
                             FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, 0);
  if (!next) {
    // As Win32 tells it: a folder on the way that is missing or a file.
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY) SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  if (!IsLink(next, folder, name)) return next;
  CloseHandle(next);
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x, y;
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

// Every folder of the final path of `named`, from its volume's root ("\\?\C:"
// or "\\?\UNC\server\share") down, each opened in the one above it.
bool HoldFromVolumeDown(HANDLE named, std::vector<HANDLE>* folders) {
  std::u16string full, inVolume;
  if (!FinalPath(named, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS, &full) ||
      !FinalPath(named, FILE_NAME_NORMALIZED | VOLUME_NAME_NONE, &inVolume) || full.rfind(u"\\\\?\\", 0) != 0 ||
      full.size() < inVolume.size() + 4 || full.compare(full.size() - inVolume.size(), inVolume.size(), inVolume) != 0)
    return false;
  std::u16string root = u"\\??\\" + full.substr(4, full.size() - inVolume.size() - 4) + u"\\";
  HANDLE folder = OpenRelative(nullptr, root, FolderAccess, FolderShare, FILE_OPEN, FILE_DIRECTORY_FILE, 0);
  if (!folder) return false;
  folders->push_back(folder);
  for (std::u16string_view name : SplitComponents<char16_t>(inVolume)) {
    if (name.empty()) continue;
    if (!(folder = OpenFolderIn(folder, name))) return false;
    folders->push_back(folder);
  }
  // The same folder as the one the path named, or it changed on the way.
  return SameFile(folder, named);
}

}  // namespace

void SetLastErrorFromStatus(NTSTATUS status) { SetLastError(RtlNtStatusToDosError(status)); }

bool HoldFolder(const char16_t* folder) {
  ReleaseHeldFolder();
  std::u16string path(WithoutTrailingSeparators<char16_t>(folder));
  if (path.empty()) return false;
  // The registry may name the folder through a link (C:\Games -> D:\Games): it
  // is followed here, once, before anything is written. "D:" alone would be
  // the drive's current folder, not its root.
  HANDLE named = CreateFileW(AsWide(path.back() == u':' ? path + u"\\" : path), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  std::vector<HANDLE> folders;
  bool ok = HoldFromVolumeDown(named, &folders);
  CloseHandle(named);
  if (ok) {
    held = {path, std::move(folders)};
    return true;
  }
  for (HANDLE h : folders) CloseHandle(h);
  return false;
}

bool HoldFolderWithoutLinks(const char16_t* folder) {
  ReleaseHeldFolder();
  std::u16string path(WithoutTrailingSeparators<char16_t>(folder));
  if (path.size() < 3 || path[1] != u':' || (path[2] != u'\\' && path[2] != u'/')) return false;
  HANDLE root = OpenRelative(nullptr, u"\\??\\" + path.substr(0, 2) + u"\\", FolderAccess, FolderShare, FILE_OPEN,
                             FILE_DIRECTORY_FILE, 0);
  if (!root) return false;
  std::vector<HANDLE> folders{root};
  for (std::u16string_view name : SplitComponents<char16_t>(std::u16string_view(path).substr(3))) {
    if (name.empty()) continue;
    HANDLE next = OpenFolderIn(folders.back(), AsWin32Name(name));
    if (!next) {
      for (HANDLE h : folders) CloseHandle(h);
      return false;
    }
    folders.push_back(next);
  }
  held = {path, std::move(folders)};
  return true;
}

bool IsHeldFolder(const char16_t* folder) {
  return !held.folders.empty() && WithoutTrailingSeparators<char16_t>(folder) == held.path;
}

// Another updater is kept out by the named mutex.
bool LockHeldFolder() { return !held.folders.empty(); }

void ReleaseHeldFolder() {
  for (HANDLE h : held.folders) CloseHandle(h);
  held = {};
}

FilePlace::FilePlace(const char16_t* path) {
  ok_ = Resolve(path);
  if (!ok_) error_ = GetLastError();
}

bool FilePlace::Resolve(std::u16string_view text) {
  if (held.folders.empty()) {
    // Nothing held: the folder as the system finds it by name.
    size_t cut = text.find_last_of(u"\\/:");
    std::u16string parent = cut == text.npos ? u"." : std::u16string(text.substr(0, cut + 1));
    HANDLE folder = CreateFileW(AsWide(parent), FolderAccess | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
    opened_.push_back(folder_ = folder);
    name_ = AsWin32Name(text.substr(cut + 1));
    return IsPlainName(name_);
  }
  std::vector<std::u16string_view> below;
  PlaceInFolder where = ComponentsBelow<char16_t>(held.path, text, &below);
  if (where == PlaceInFolder::Outside || where == PlaceInFolder::Refused) {
    SetLastError(ERROR_ACCESS_DENIED);  // while a folder is held, nothing else is touched
    return false;
  }
  held_ = true;
  folder_ = held.folders.back();
  if (where == PlaceInFolder::Below) {
    for (size_t i = 0; i + 1 < below.size(); ++i) {
      HANDLE next = OpenFolderIn(folder_, AsWin32Name(below[i]));
      if (!next) return false;
      opened_.push_back(folder_ = next);
    }
    name_ = AsWin32Name(below.back());
    return IsPlainName(name_);
  }
  return true;
}

bool FilePlace::IsLink(HANDLE opened) const { return ::IsLink(opened, folder_, name_); }

bool FilePlace::ok() const {
  if (!ok_) SetLastError(error_);
  return ok_;
}

FilePlace::~FilePlace() {
  for (HANDLE folder : opened_) CloseHandle(folder);
}

HANDLE FilePlace::Open(ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options, ULONG attributes,
                       Link link) const {
  if (!ok()) return nullptr;
  ULONG asItself = held_ ? FILE_OPEN_REPARSE_POINT : 0;
  HANDLE handle = OpenRelative(folder_, name_, access, share, disposition, options | asItself, attributes);
  if (!handle || !held_ || link == Link::Allowed || !::IsLink(handle, folder_, name_)) return handle;
  CloseHandle(handle);
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}
