#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <string>
#include <vector>

#include "payload/file.h"
#include "payload/file_faults.h"
#include "payload/filesystem.h"
#include "payload/held_folder_win32.h"
#include "text/path_buffer.h"

namespace {

constexpr ULONG ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Closes the handle it was given, if any.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() { Close(); }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  void Close() {
    if (handle_) CloseHandle(handle_);
    handle_ = nullptr;
  }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  operator HANDLE() const { return handle_; }

 private:
  HANDLE handle_;
};

bool SetInformation(HANDLE file, void* information, ULONG size, FILE_INFORMATION_CLASS kind) {
  IO_STATUS_BLOCK io{};
  NTSTATUS status = NtSetInformationFile(file, &io, information, size, kind);
  if (status >= 0) return true;
  SetLastErrorFromStatus(status);
  return false;
}

// Gives `file` the name of `target` in the folder the target was reached
// through: a rename (FileRenameInformation) or a new hard link (FileLinkInformation).
bool NameInFolder(HANDLE file, const FilePlace& target, FILE_INFORMATION_CLASS kind, bool replace) {
  if (!target.ok()) return false;
  const std::u16string& name = target.name();
  if (name.empty()) {  // the held folder itself
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  ULONG size = static_cast<ULONG>(sizeof(FILE_RENAME_INFORMATION) + name.size() * sizeof(char16_t));
  std::vector<ULONGLONG> buffer(size / sizeof(ULONGLONG) + 1);
  static_assert(sizeof(FILE_RENAME_INFORMATION) == sizeof(FILE_LINK_INFORMATION));
  auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  info->ReplaceIfExists = replace;
  info->RootDirectory = target.folder();
  info->FileNameLength = static_cast<ULONG>(name.size() * sizeof(char16_t));
  std::memcpy(info->FileName, name.data(), info->FileNameLength);
  return SetInformation(file, info, size, kind);
}

bool SetBasic(HANDLE file, FILE_BASIC_INFORMATION basic) {
  return SetInformation(file, &basic, sizeof basic, FileBasicInformation);
}

bool SetAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFORMATION basic{};  // zero times stay as they are
  basic.FileAttributes = attributes;
  return SetBasic(file, basic);
}

// Attributes belong to the file, not to one of its names: a file with another
// name may be anyone's, hard-linked into the game folder.
bool HasOneName(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1) return true;
  SetLastError(ERROR_ACCESS_DENIED);
  return false;
}

// What ReplaceFileW keeps of the replaced file: hidden and system, its ACL and,
// where permitted, its owner.
bool CopyAttributes(HANDLE replaced, HANDLE replacement) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(replaced, &info)) return false;
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  DWORD attributes = info.dwFileAttributes & kept;
  if (!SetAttributes(replacement, attributes ? attributes : FILE_ATTRIBUTE_NORMAL)) return false;
  const SECURITY_INFORMATION parts = DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION;
  DWORD size = 0;
  GetKernelObjectSecurity(replaced, parts, nullptr, 0, &size);
  std::vector<ULONGLONG> security(size / sizeof(ULONGLONG) + 1);
  if (!size || !GetKernelObjectSecurity(replaced, parts, security.data(), size, &size))
    return true;  // a file system without ACLs (Wine, FAT)
  SetKernelObjectSecurity(replacement, OWNER_SECURITY_INFORMATION, security.data());  // needs a privilege to give away
  return SetKernelObjectSecurity(replacement, DACL_SECURITY_INFORMATION, security.data()) != 0;
}

// The copy where the volume has no hard links: a new file at the target,
// never a link followed at either end. A failed copy leaves nothing.
bool CopyInFolder(const FilePlace& source, const FilePlace& target) {
  const ULONG options = FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY;
  OwnedHandle from(source.Open(GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, options));
  if (!from) return false;
  OwnedHandle to(target.Open(GENERIC_WRITE | DELETE, 0, FILE_CREATE, options, FILE_ATTRIBUTE_ARCHIVE));
  if (!to) return false;
  std::vector<char> block(0x10000);
  DWORD got = 0, written = 0;
  bool copied = true;
  while (copied && (copied = ReadFile(from, block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) && got)
    copied = WriteFile(to, block.data(), got, &written, nullptr) && written == got;
  FILE_BASIC_INFORMATION basic{};
  IO_STATUS_BLOCK io{};
  copied = copied && NtQueryInformationFile(from, &io, &basic, sizeof basic, FileBasicInformation) >= 0 &&
           SetBasic(to, basic);
  if (copied) return true;
  DWORD error = GetLastError();
  FILE_DISPOSITION_INFORMATION remove{TRUE};
  SetInformation(to, &remove, sizeof remove, FileDispositionInformation);
  SetLastError(error);
  return false;
}

}  // namespace

uint32_t LastFileError() { return GetLastError(); }
void ClearLastFileError() { SetLastError(0); }

// Like GetFileAttributesW, a link's own attributes, never its target's.
uint32_t GetPathAttributes(const char16_t* path) {
  FilePlace place(path);
  OwnedHandle file(place.Open(0, ShareAll, FILE_OPEN, FILE_OPEN_REPARSE_POINT, 0, FilePlace::Link::Allowed));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file, &info)) return InvalidFileAttributes;
  return info.dwFileAttributes | (place.belowHeldFolder() && place.IsLink(file) ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
}

bool PathIsAbsent(const char16_t* path) {
  if (GetPathAttributes(path) != InvalidFileAttributes) return false;
  DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool ResetPathAttributes(const char16_t* path, uint32_t* previous) {
  NoteFileSystemChange();
  FilePlace place(path);
  OwnedHandle file(place.Open(FILE_WRITE_ATTRIBUTES, ShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file || !GetFileInformationByHandle(file, &info)) return false;
  if (previous) *previous = info.dwFileAttributes;
  return HasOneName(file) && SetAttributes(file, FILE_ATTRIBUTE_NORMAL);
}

bool RestorePathAttributes(const char16_t* path, uint32_t previous) {
  NoteFileSystemChange();
  FilePlace place(path);
  OwnedHandle file(place.Open(FILE_WRITE_ATTRIBUTES, ShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
  const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  return file && SetAttributes(file, previous & settable ? previous & settable : FILE_ATTRIBUTE_NORMAL);
}

bool TakeAttributesOf(const char16_t* replaced, const char16_t* replacement) {
  NoteFileSystemChange();
  FilePlace source(replaced), target(replacement);
  OwnedHandle old(source.Open(READ_CONTROL, ShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
  if (!old) return false;
  OwnedHandle file(target.Open(FILE_WRITE_ATTRIBUTES | WRITE_DAC | WRITE_OWNER, ShareAll, FILE_OPEN,
                               FILE_NON_DIRECTORY_FILE));
  return file && CopyAttributes(old, file);
}

bool MoveFileReplacing(const char16_t* from, const char16_t* to) {
  NoteFileSystemChange();
  FilePlace source(from), target(to);
  if (!MoveAllowed()) return false;
  OwnedHandle file(source.Open(DELETE, ShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
  return file && NameInFolder(file, target, FileRenameInformation, true);
}

bool RemoveFile(const char16_t* path) {
  NoteFileSystemChange();
  FilePlace place(path);
  // A link is removed as itself, never what it points to.
  OwnedHandle file(place.Open(DELETE, ShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, 0,
                              FilePlace::Link::Allowed));
  FILE_DISPOSITION_INFORMATION remove{TRUE};
  return file && SetInformation(file, &remove, sizeof remove, FileDispositionInformation);
}

bool LinkOrCopyFile(const char16_t* existing, const char16_t* link) {
  NoteFileSystemChange();
  FilePlace source(existing), target(link);
  OwnedHandle file(source.Open(FILE_WRITE_ATTRIBUTES, ShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
  if (!file) return false;
  if (NameInFolder(file, target, FileLinkInformation, false)) return true;
  DWORD error = GetLastError();
  if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED) return false;
  file.Close();
  return CopyInFolder(source, target);  // volumes without hard links
}

bool FlushFolderOf(const char16_t*) { return true; }

bool RewriteFile(const char16_t* path, const Rewrite& rewrite, const char** why) {
  auto refuse = [why](const char* cause) {
    if (why) *why = cause;
    return false;
  };
  CFileDX old;
  if (!old.OpenRead(path)) return false;
  HANDLE oldFile = reinterpret_cast<HANDLE>(old.handle_);
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(oldFile, &info)) return false;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) return refuse("the file is read-only");
  std::string content;
  if (!rewrite(old, &content)) return false;
  if (content.size() > UINT32_MAX) return refuse("the new content is too large");

  PathBuffer<> freshPath;
  if (!freshPath.Format(u"%s%s", path, ReplacementSuffix)) return refuse("the path is too long");
  FilePlace fresh(freshPath.c_str()), target(path);
  const ACCESS_MASK access = GENERIC_WRITE | DELETE | WRITE_DAC | WRITE_OWNER;
  const ULONG options = FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY;
  NoteFileSystemChange();
  OwnedHandle file(fresh.Open(access, 0, FILE_CREATE, options, FILE_ATTRIBUTE_ARCHIVE));
  if (!file && GetLastError() == ERROR_FILE_EXISTS) {
    RemoveFile(freshPath.c_str());  // a leftover of an interrupted run, or a planted link
    NoteFileSystemChange();
    file.Reset(fresh.Open(access, 0, FILE_CREATE, options, FILE_ATTRIBUTE_ARCHIVE));
  }
  if (!file) return false;
  DWORD size = static_cast<DWORD>(content.size()), written = 0;
  NoteFileSystemChange();
  bool ok = WriteFile(file, content.data(), WritableBytes(size), &written, nullptr) && written == size &&
            CopyAttributes(oldFile, file);
  old.Close();  // a file open without delete sharing cannot be replaced
  NoteFileSystemChange();
  ok = ok && FlushAllowed() && FlushFileBuffers(file);
  NoteFileSystemChange();
  // Renamed through its own handle, in the folder the list was found in.
  ok = ok && MoveAllowed() && NameInFolder(file, target, FileRenameInformation, true);
  if (!ok) {
    DWORD error = GetLastError();
    FILE_DISPOSITION_INFORMATION remove{TRUE};
    SetInformation(file, &remove, sizeof remove, FileDispositionInformation);
    SetLastError(error);
  }
  return ok;
}
