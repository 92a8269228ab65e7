// The running program's own file, which holds its payload. The program often
// sits in a folder its user can write (Downloads), where the file at its path
// may be renamed away and replaced by another at any moment, also before the
// program first opens it; so it is opened once, at the start, proven to be the
// file the running image was mapped from, and every read of the payload goes
// through that one open file.
#pragma once

#include <cstddef>
#include <cstdint>

// The program's path (GetModuleFileNameW; /proc/self/exe): what the payload's
// readers are given, and what ReopenOwnExecutable knows it by.
bool GetOwnExecutablePath(char16_t* path, size_t capacity);

// Opens the running program's own file, sharing it for reading only on
// Windows, and keeps it when it is the file the running image was mapped from.
// False when it could not be opened or is another file; every read of the
// payload then fails, as a payload that cannot be read.
bool HoldOwnExecutable();

// For the program's own path once HoldOwnExecutable has run: true, with
// `handle` a second handle (descriptor) of the held file that shares its file
// position (its readers seek before they read), or -1 and the system's error
// set when none is held. False for any other path, and before HoldOwnExecutable.
bool ReopenOwnExecutable(const char16_t* path, intptr_t* handle);
