// The Windows program reads its payload through one handle on its own file,
// opened when it starts: the file at the program's path, in a folder its user
// can write, may be renamed away and replaced by another while it runs.
#pragma once

#include <windows.h>

// Opens the running program's file, sharing it for reading only (no writers,
// no renames or removals while it runs), and keeps it when its headers are
// those of the image that runs. False when it could not be opened or is
// another program; every later read of the payload then fails.
bool HoldOwnExecutable();

// For the program's own path (as GetOwnExecutablePath gives it) once
// HoldOwnExecutable has run: true, with a duplicate of the held handle in
// `file` (sharing its file position), or null and the last error set when
// none is held. False for any other path.
bool ReopenOwnExecutable(const char16_t* path, HANDLE* file);
