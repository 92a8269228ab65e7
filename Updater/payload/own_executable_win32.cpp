#include <windows.h>
#include <winternl.h>

#include <string>

#include "payload/own_executable.h"
#include "text/path_buffer.h"

// STATUS_SUCCESS when both addresses lie in views of the same file.
extern "C" NTSTATUS NTAPI NtAreMappedFilesTheSame(PVOID first, PVOID second);

namespace {

std::u16string ownPath;  // empty until HoldOwnExecutable
HANDLE ownFile = INVALID_HANDLE_VALUE;

// A view of the open file and the running image map the same file: the
// system's own answer, whatever the file's bytes are.
bool IsRunningImage(HANDLE file) {
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return false;
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 1);
  bool same = view && NtAreMappedFilesTheSame(GetModuleHandleW(nullptr), view) == 0;
  if (view) UnmapViewOfFile(view);
  CloseHandle(mapping);
  return same;
}

}  // namespace

bool GetOwnExecutablePath(char16_t* path, size_t capacity) {
  DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path), static_cast<DWORD>(capacity));
  // A path that was cut to fit is no path at all.
  return length > 0 && length < capacity;
}

bool HoldOwnExecutable() {
  PathBuffer<> path;
  if (!GetOwnExecutablePath(path.data(), path.capacity())) return false;
  ownPath = path.c_str();
  // No writers, no renames or removals while it runs.
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (!IsRunningImage(file)) {
    CloseHandle(file);
    return false;
  }
  ownFile = file;
  return true;
}

bool ReopenOwnExecutable(const char16_t* path, intptr_t* handle) {
  if (ownPath.empty() || ownPath != path) return false;
  *handle = -1;
  if (ownFile == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
  }
  // The same open file, not a new open of its name.
  HANDLE process = GetCurrentProcess(), copy = nullptr;
  if (DuplicateHandle(process, ownFile, process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    *handle = reinterpret_cast<intptr_t>(copy);
  return true;
}
