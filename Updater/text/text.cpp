#include "text/text.h"

#include <cstdarg>
#include <cstring>

#include "text/codepage.h"

namespace {

unsigned LeadingOnes(unsigned char byte) {
  unsigned n = 0;
  while (n < 8 && (byte & (0x80u >> n))) ++n;
  return n;
}

unsigned CodePageOfTarget(int target) { return target == TargetShiftJis ? CodePageShiftJis : CodePageUtf8; }

unsigned CodePageOfText(const char* text) {
  return DetectTextEncoding(text) == EncodingShiftJis ? CodePageShiftJis : CodePageUtf8;
}

bool WideToCodePageInto(char* dest, size_t capacity, const char16_t* src, unsigned codePage) {
  int needed = WideToCodePage(codePage, src, -1, nullptr, 0);
  if (needed < 1 || static_cast<size_t>(needed) > capacity) return false;
  return WideToCodePage(codePage, src, -1, dest, needed) == needed;
}

std::string WideToCodePageOwned(const char16_t* src, unsigned codePage) {
  int needed = WideToCodePage(codePage, src, -1, nullptr, 0);
  if (needed < 1) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  WideToCodePage(codePage, src, -1, out.data(), needed);
  out.resize(static_cast<size_t>(needed) - 1);  // drop the converted terminator
  return out;
}

template <typename Char>
size_t Length(const Char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

// The formats in use hold only %s; anything else is refused rather than guessed.
template <typename Char>
int FormatInto(Char* dest, size_t capacity, const Char* format, va_list args) {
  if (capacity == 0) return -1;
  size_t used = 0;
  auto append = [&](const Char* text, size_t count) {
    if (count >= capacity - used) return false;
    std::memcpy(dest + used, text, count * sizeof(Char));
    used += count;
    return true;
  };
  for (const Char* p = format; *p; ++p) {
    bool ok;
    if (*p != '%') {
      ok = append(p, 1);
    } else if (p[1] == '%') {
      ok = append(++p, 1);
    } else if (p[1] == 's') {
      ++p;
      const Char* arg = va_arg(args, const Char*);
      ok = arg && append(arg, Length(arg));
    } else {
      ok = false;
    }
    if (!ok) {
      dest[0] = 0;
      return -1;
    }
  }
  dest[used] = 0;
  return static_cast<int>(used);
}

}  // namespace

TextEncoding DetectTextEncoding(const char* text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  unsigned sequences = 0;
  while (*p) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    if (*p < 0xC2) return EncodingShiftJis;
    unsigned length = LeadingOnes(*p);
    for (unsigned i = 1; i < length; ++i) {
      if (p[i] < 0x80 || p[i] > 0xBF) return EncodingShiftJis;
    }
    p += length;
    // Six good sequences are taken as proof enough; the rest is not examined.
    if (++sequences == 6) return EncodingUtf8;
  }
  return sequences ? EncodingUtf8 : EncodingAscii;
}

bool NarrowToWide(char16_t* dest, size_t capacity, const char* src) {
  unsigned codePage = CodePageOfText(src);
  int needed = CodePageToWide(codePage, src, -1, nullptr, 0);
  if (needed < 1 || static_cast<size_t>(needed) > capacity) return false;
  return CodePageToWide(codePage, src, -1, dest, needed) == needed;
}

std::u16string NarrowToWide(const char* src) {
  unsigned codePage = CodePageOfText(src);
  int needed = CodePageToWide(codePage, src, -1, nullptr, 0);
  if (needed < 1) return {};
  std::u16string out(static_cast<size_t>(needed), u'\0');
  CodePageToWide(codePage, src, -1, out.data(), needed);
  out.resize(static_cast<size_t>(needed) - 1);
  return out;
}

bool ConvertNarrow(char* dest, size_t capacity, const char* src, int target) {
  TextEncoding encoding = DetectTextEncoding(src);
  unsigned targetCodePage = CodePageOfTarget(target);
  if (encoding == EncodingAscii || CodePageOfText(src) == targetCodePage) return CopyText(dest, capacity, src);
  std::u16string wide = NarrowToWide(src);
  return WideToCodePageInto(dest, capacity, wide.c_str(), targetCodePage);
}

std::string ConvertNarrow(const char* src, int target) {
  TextEncoding encoding = DetectTextEncoding(src);
  unsigned targetCodePage = CodePageOfTarget(target);
  if (encoding == EncodingAscii || CodePageOfText(src) == targetCodePage) return src;
  return WideToCodePageOwned(NarrowToWide(src).c_str(), targetCodePage);
}

bool WideToNarrow(char* dest, size_t capacity, const char16_t* src, int target) {
  return WideToCodePageInto(dest, capacity, src, CodePageOfTarget(target));
}

std::string WideToNarrow(const char16_t* src, int target) {
  return WideToCodePageOwned(src, CodePageOfTarget(target));
}

DecodedChar DecodeChar(const char* p, TextEncoding encoding) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  if (s[0] == 0) return {0, 0};
  if (encoding == EncodingShiftJis) {
    bool lead = (s[0] >= 0x81 && s[0] <= 0x9F) || (s[0] >= 0xE0 && s[0] <= 0xFC) || s[0] == 0xFF;
    if (lead && s[1] != 0) return {static_cast<uint32_t>(s[0] << 8 | s[1]), 2};
    return {s[0], 1};
  }
  if (encoding != EncodingUtf8) return {s[0], 1};

  unsigned ones = LeadingOnes(s[0]);
  size_t length = ones < 2 ? 1 : ones;
  uint32_t code = ones == 0 ? s[0] : (s[0] & (0x7Fu >> ones));
  size_t taken = 1;
  // A broken sequence ends at the first byte that cannot continue it, so that a
  // line end after it stays one. An over-long or stray form is no ASCII
  // character: only a real CR, LF or terminator is found as one (the uninstall
  // list would loop forever on a false one).
  while (taken < length && (s[taken] & 0xC0) == 0x80) code = code << 6 | (s[taken++] & 0x3Fu);
  if (code < 0x80 && s[0] >= 0x80) code = 0xFFFD;

  if (code >= 0xD800 && code <= 0xDBFF) {
    DecodedChar low = DecodeChar(p + taken, EncodingUtf8);
    if (low.code >= 0xDC00 && low.code <= 0xDFFF) {
      return {((code - 0xD7C0) * 1024) | (low.code - 0xDC00), taken + low.length};
    }
  }
  return {code, taken};
}

const char* FindChar(const char* text, uint32_t code) {
  TextEncoding encoding = DetectTextEncoding(text);
  if (encoding == EncodingAscii) {
    if (code > 0xFF) return nullptr;
    for (const char* p = text;; ++p) {
      if (static_cast<unsigned char>(*p) == code) return p;
      if (*p == 0) return nullptr;
    }
  }
  const char* p = text;
  for (DecodedChar c = DecodeChar(p, encoding); c.length != 0; p += c.length, c = DecodeChar(p, encoding)) {
    if (c.code == code) return p;
  }
  return code == 0 ? p : nullptr;
}

int CompareText(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  while (*x && *x == *y) ++x, ++y;
  if (*x == *y) return 0;
  return *x < *y ? -1 : 1;
}

bool CopyText(char* dest, size_t capacity, const char* src) {
  size_t length = std::strlen(src);
  if (length >= capacity) return false;
  std::memcpy(dest, src, length + 1);
  return true;
}

char* LowerText(char* text) {
  TextEncoding encoding = DetectTextEncoding(text);
  char* p = text;
  for (DecodedChar c = DecodeChar(p, encoding); c.length != 0; p += c.length, c = DecodeChar(p, encoding)) {
    if (c.length == 1) *p = FoldAscii(*p);
  }
  return text;
}

std::string LowerText(std::string text) {
  LowerText(text.data());
  return text;
}

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style on purpose; only %s is accepted
int FormatWide(char16_t* dest, size_t capacity, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  int result = FormatInto(dest, capacity, format, args);
  va_end(args);
  return result;
}

// NOLINTNEXTLINE(cert-dcl50-cpp): printf-style on purpose; only %s is accepted
int FormatNarrow(char* dest, size_t capacity, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = FormatInto(dest, capacity, format, args);
  va_end(args);
  return result;
}

void SplitPathUtf8(char* drive, char* folder, char* name, char* extension, const char* path) {
  for (char* out : {drive, folder, name, extension}) {
    if (out) out[0] = 0;
  }
  char16_t wide[PathCapacity];
  if (!NarrowToWide(wide, PathCapacity, path)) return;

  size_t length = WideLength(wide);
  size_t folderStart = (length >= 2 && wide[1] == u':') ? 2 : 0;
  size_t nameStart = folderStart;
  for (size_t i = folderStart; i < length; ++i) {
    if (wide[i] == u'\\' || wide[i] == u'/') nameStart = i + 1;
  }
  size_t extensionStart = length;
  for (size_t i = nameStart; i < length; ++i) {
    if (wide[i] == u'.') extensionStart = i;
  }

  auto put = [&](char* out, size_t from, size_t to, size_t limit) {
    if (!out || to - from > limit) return;
    std::u16string part(wide + from, wide + to);
    if (!WideToCodePageInto(out, NameCapacity, part.c_str(), CodePageUtf8)) out[0] = 0;
  };
  put(drive, 0, folderStart, 2);
  put(folder, folderStart, nameStart, 255);
  put(name, nameStart, extensionStart, 255);
  put(extension, extensionStart, length, 255);
}

size_t WideLength(const char16_t* text) { return Length(text); }
