#include <windows.h>

#include "support/test_files.h"

size_t OpenHandles() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}
