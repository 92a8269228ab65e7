// The platform seam under the text conversions: the two Windows conversion
// functions, for code pages 932 and 65001 only, with flags 0 and no default
// character. On Windows they are the system's own; elsewhere they reproduce
// Windows' results (codepage_posix.cpp).
#pragma once

#include <cstdint>

constexpr unsigned CodePageShiftJis = 932;
constexpr unsigned CodePageUtf8 = 65001;

// Same contract as MultiByteToWideChar(codePage, 0, src, srcLength, dest, destCapacity):
// srcLength -1 means "through the terminator, which is converted too"; with
// destCapacity 0 the result is the length needed; otherwise the units written,
// or 0 when dest is too small (dest contents then unspecified).
int CodePageToWide(unsigned codePage, const char* src, int srcLength, char16_t* dest, int destCapacity);

// Same contract as WideCharToMultiByte(codePage, 0, src, srcLength, dest, destCapacity, NULL, NULL).
int WideToCodePage(unsigned codePage, const char16_t* src, int srcLength, char* dest, int destCapacity);
