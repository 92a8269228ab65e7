#include <windows.h>

#include "payload/own_executable.h"

bool GetOwnExecutablePath(char16_t* path, size_t capacity) {
  DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path), static_cast<DWORD>(capacity));
  // A path that was cut to fit is no path at all.
  return length > 0 && length < capacity;
}
