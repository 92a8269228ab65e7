#include "text/codepage.h"

#include <windows.h>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected on Windows");

int CodePageToWide(unsigned codePage, const char* src, int srcLength, char16_t* dest, int destCapacity) {
  return MultiByteToWideChar(codePage, 0, src, srcLength, reinterpret_cast<wchar_t*>(dest), destCapacity);
}

int WideToCodePage(unsigned codePage, const char16_t* src, int srcLength, char* dest, int destCapacity) {
  return WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(src), srcLength, dest, destCapacity,
                             nullptr, nullptr);
}
