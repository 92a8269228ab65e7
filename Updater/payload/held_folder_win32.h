// The Windows side of HoldFolder. The held folder is opened once from its
// volume's root down, each folder on the way opened relative to the one above
// it and never through a link, and kept open without delete sharing: none can
// be renamed, removed or replaced by a link until it is released. From then on
// every operation on a path below it acts on handles opened relative to those,
// never on a name that could be parsed again somewhere else.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <string>
#include <string_view>
#include <vector>

// Where one file operation acts: `name` in the open folder `folder()`. Below
// the held folder that folder is reached from the held one, folder by folder,
// each opened relative to the last and refused if it is a link; its handles
// stay open while the place lives. Any other path is refused while a folder is
// held; when none is, its folder is opened by name as the system finds it.
class FilePlace {
 public:
  explicit FilePlace(const char16_t* path);
  ~FilePlace();
  FilePlace(const FilePlace&) = delete;
  FilePlace& operator=(const FilePlace&) = delete;
  // False, setting the last error again, when the place was refused or a
  // folder on the way could not be opened.
  bool ok() const;
  HANDLE folder() const { return folder_; }
  bool belowHeldFolder() const { return held_; }
  const std::u16string& name() const { return name_; }  // empty: the held folder itself

  // NtCreateFile of the name relative to the folder (FILE_READ_ATTRIBUTES and
  // SYNCHRONIZE always added, synchronous I/O). Below the held folder a link
  // is opened as itself and refused unless `link` allows it (a link is removed
  // as itself). Null, with the last error set, on failure.
  enum class Link { Refused, Allowed };
  HANDLE Open(ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options, ULONG attributes = 0,
              Link link = Link::Refused) const;
  // Whether the file this place opened as `opened` is a link.
  bool IsLink(HANDLE opened) const;

 private:
  bool Resolve(std::u16string_view path);

  std::vector<HANDLE> opened_;  // the folders this place opened, closed with it
  HANDLE folder_ = nullptr;
  std::u16string name_;
  bool held_ = false;
  bool ok_ = false;
  DWORD error_ = 0;  // why it was refused
};

// Holds a folder as HoldFolder does, but refuses it when any folder on its
// path ("X:\..." only) is a link, where HoldFolder follows one once: for a
// folder whose path the program takes from its environment (%TEMP%).
bool HoldFolderWithoutLinks(const char16_t* folder);

// The last error from an NTSTATUS, as the Win32 call that wraps it would set it.
void SetLastErrorFromStatus(NTSTATUS status);
