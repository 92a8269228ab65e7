// The POSIX side of the held folder: where a file operation acts, as a name
// relative to an open folder.
#pragma once

#include <fcntl.h>

#include <string>

// `name` relative to the open folder `folder` (AT_FDCWD with the whole path
// when no held folder is involved).
struct PosixPlace {
  int folder = AT_FDCWD;  // owned by the held folder, open while it is held
  std::string name;
  bool held = false;  // below the held folder
  std::string key;    // the folder's path from the held folder, as spelt there
};

// ResolveWindowsPath, then, for a path below the held folder, each folder
// between it and the file opened in turn from the held folder's descriptor
// without following a link. False, with errno set, when one of them is a link
// (ELOOP), missing (ENOENT) or a file (ENOTDIR), when the path climbs out with
// ".." or lies outside the held folder (EACCES), or when it has no form as a
// POSIX name (EILSEQ).
bool ResolveWindowsPlace(const char16_t* path, PosixPlace* place);

// The names this process adds to or removes from a folder below the held one,
// which names are matched against without case as they stand now, not as
// they stood when the folder was first looked at.
void NoteNameAdded(const PosixPlace& place);
void NoteNameRemoved(const PosixPlace& place);
