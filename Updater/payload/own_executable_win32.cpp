#include "payload/own_executable_win32.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "payload/own_executable.h"
#include "text/path_buffer.h"

namespace {

std::u16string ownPath;  // empty until HoldOwnExecutable
HANDLE ownFile = INVALID_HANDLE_VALUE;

// The file's headers equal those mapped in memory, but for the image base,
// which the loader writes when it moves the image.
bool IsRunningImage(HANDLE file) {
  auto* image = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
  DWORD size = nt->OptionalHeader.SizeOfHeaders;
  size_t base = static_cast<size_t>(dos->e_lfanew) + offsetof(IMAGE_NT_HEADERS, OptionalHeader.ImageBase);
  if (size < base + sizeof nt->OptionalHeader.ImageBase) return false;
  std::vector<unsigned char> headers(size);
  DWORD read = 0;
  if (!ReadFile(file, headers.data(), size, &read, nullptr) || read != size) return false;
  std::memcpy(headers.data() + base, image + base, sizeof nt->OptionalHeader.ImageBase);
  return std::memcmp(headers.data(), image, size) == 0;
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

bool ReopenOwnExecutable(const char16_t* path, HANDLE* file) {
  if (ownPath.empty() || ownPath != path) return false;
  *file = nullptr;
  if (ownFile == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
  }
  // The same open file, not a new open of its name: its readers seek before they read.
  HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, ownFile, process, file, 0, FALSE, DUPLICATE_SAME_ACCESS)) *file = nullptr;
  return true;
}
