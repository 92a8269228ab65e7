#include <windows.h>

#include <cstring>

#include "location/install_folder.h"
#include "text/path_buffer.h"

int ReadInstalledFolder(char16_t* folder, size_t capacity, const char16_t* vendor, const char16_t* product) {
  if (!vendor || !product) return 0;
  PathBuffer<> subkey;
  if (!subkey.Format(u"Software\\%s\\%s", vendor, product)) return 0;
  HKEY key;
  // No view flag: a 32-bit program reads the 32-bit view on 64-bit Windows.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(subkey.c_str()), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return 0;
  char16_t value[4096 + 1] = {};  // 8192 bytes, and room for a terminator the value may lack
  DWORD type = 0, size = 8192;
  LONG status = RegQueryValueExW(key, L"InstalledFolder", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return 0;
  size_t length = 0;
  while (length < size / 2 && value[length]) ++length;
  // An empty value names no folder: every path would start at the drive's root.
  if (length == 0 || length >= capacity) return 0;
  std::memcpy(folder, value, length * sizeof(char16_t));
  folder[length] = 0;
  return 1;
}
