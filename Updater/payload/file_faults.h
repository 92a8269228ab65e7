// What the file layer asks before each operation, so that tests can make it
// fail the way a storage layer is tested for I/O errors. The programs link
// file_faults_none.cpp, where nothing ever fails and nothing can be switched
// on; the tests link their own version (tests/support).
#pragma once

#include <cstdint>

// How many of `count` bytes a write may take.
uint32_t WritableBytes(uint32_t count);
bool MoveAllowed();
bool FlushAllowed();
// Called before every operation that changes the file system.
void NoteFileSystemChange();
