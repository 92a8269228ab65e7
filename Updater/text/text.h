// Narrow-text classification, conversions between UTF-8, Shift-JIS (code page 932)
// and UTF-16, and the small byte-wise helpers that names are compared with.
//
// Every operation that writes into a caller's buffer takes that buffer's capacity
// (in code units, terminator included) and fails without writing when the result
// would not fit. The owning overloads return std::string / std::u16string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum TextEncoding : uint32_t {
  EncodingShiftJis = 0,
  EncodingUtf8 = 1,
  EncodingAscii = 0x80000000u,
};

// Targets of ConvertNarrow and WideToNarrow.
constexpr int TargetShiftJis = 0;
constexpr int TargetUtf8 = 1;

// Buffer sizes that names and paths are built in throughout the updater.
constexpr size_t PathCapacity = 780;
constexpr size_t NameCapacity = 780;
constexpr size_t MaxPathCapacity = 260;  // MAX_PATH, where a Windows call needs it

TextEncoding DetectTextEncoding(const char* text);

// Narrow text (UTF-8 when it classifies as UTF-8 or ASCII, else code page 932) to UTF-16.
bool NarrowToWide(char16_t* dest, size_t capacity, const char* src);
std::u16string NarrowToWide(const char* src);

// Narrow text to the target encoding; ASCII text and text already in the target
// encoding are copied byte for byte.
bool ConvertNarrow(char* dest, size_t capacity, const char* src, int target);
std::string ConvertNarrow(const char* src, int target);

bool WideToNarrow(char* dest, size_t capacity, const char16_t* src, int target);
std::string WideToNarrow(const char16_t* src, int target);

struct DecodedChar {
  uint32_t code;
  size_t length;  // bytes; 0 only at the terminator
};
DecodedChar DecodeChar(const char* p, TextEncoding encoding);

// First character whose code equals `code`, reading the text in its own encoding
// (so trail bytes never match); for code 0 the terminator. Null when absent.
const char* FindChar(const char* text, uint32_t code);

int CompareText(const char* a, const char* b);
bool CopyText(char* dest, size_t capacity, const char* src);

// Lower-cases ASCII A-Z that stand as characters of their own; multi-byte
// characters (and so Shift-JIS trail bytes) are left as they are.
char* LowerText(char* text);
std::string LowerText(std::string text);

// One unit with ASCII A-Z lowered, every other unit as it is: for names known
// to be UTF-8 or UTF-16, where no unit of a multi-byte character is a letter.
template <typename Char>
constexpr Char FoldAscii(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c + ('a' - 'A')) : c;
}
template <typename Char>
bool EqualIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

// The components of a Windows path, "\" and "/" both separating; empty ones
// (a leading, doubled or trailing separator) included. Views into `path`.
template <typename Char>
std::vector<std::basic_string_view<Char>> SplitComponents(std::basic_string_view<Char> path) {
  std::vector<std::basic_string_view<Char>> components;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '\\' && path[i] != '/') continue;
    components.push_back(path.substr(start, i - start));
    start = i + 1;
  }
  return components;
}

// A name as Windows opens it by a path: trailing dots and blanks dropped
// ("game.exe. " is "game.exe"), "." and ".." as they are.
template <typename Char>
std::basic_string_view<Char> AsWin32Name(std::basic_string_view<Char> name) {
  bool dots = !name.empty() && name.find_first_not_of(static_cast<Char>('.')) == name.npos;
  while (!dots && !name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

// printf-style formatting where only %s (and %%) occur. FormatWide's %s takes a
// UTF-16 text, FormatNarrow's a narrow one. Returns the units written without
// the terminator, or -1 (dest holding an empty text) when the result does not fit
// or the format holds another conversion.
int FormatWide(char16_t* dest, size_t capacity, const char16_t* format, ...);
int FormatNarrow(char* dest, size_t capacity, const char* format, ...);

// Splits a Windows path into drive, folder, name and extension, each converted to
// UTF-8 into an optional buffer of NameCapacity bytes. Components that are too
// long (drive 2, others 255 UTF-16 units) come out empty.
void SplitPathUtf8(char* drive, char* folder, char* name, char* extension, const char* path);

size_t WideLength(const char16_t* text);
