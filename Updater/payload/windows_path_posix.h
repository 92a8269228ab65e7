// The one place where a Windows path becomes a POSIX path, used by every POSIX
// file operation: "\" separators become "/", a drive letter "X:" stands for the
// Wine prefix's dosdevices/x: link, and each component that names an existing
// entry is matched ASCII-case-insensitively, as Windows matches names (so
// Data\A.DAT finds data/a.dat). A component that names nothing keeps its spelling.
#pragma once

#include <fcntl.h>

#include <string>

bool ResolveWindowsPath(const char16_t* path, std::string* posixPath);

// $WINEPREFIX, or ~/.wine when it is unset.
std::string WinePrefixFolder();

// Where a file operation acts: `name` relative to the open folder `folder`
// (AT_FDCWD with the whole path when no held folder is involved).
struct PosixPlace {
  int folder = AT_FDCWD;
  bool ownsFolder = false;
  std::string name;
  PosixPlace() = default;
  PosixPlace(const PosixPlace&) = delete;
  PosixPlace& operator=(const PosixPlace&) = delete;
  ~PosixPlace();
};

// ResolveWindowsPath, then, for a path below the held folder, each folder
// between it and the file opened in turn from the held folder's descriptor
// without following a link. False, with errno set, when one of them is a link
// (ELOOP or ENOTDIR), missing, or the path climbs out with "..".
bool ResolveWindowsPlace(const char16_t* path, PosixPlace* place);
