// The programs' file layer: no fault is ever injected.
#include "payload/file_faults.h"

uint32_t WritableBytes(uint32_t count) { return count; }
bool MoveAllowed() { return true; }
bool FlushAllowed() { return true; }
void NoteFileSystemChange() {}
