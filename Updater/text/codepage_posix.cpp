// Code pages 932 and 65001 without Windows, giving what MultiByteToWideChar and
// WideCharToMultiByte give with flags 0 and no default character.
#include "text/codepage.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

struct Cp932ByteRange {
  std::uint8_t first;
  std::uint8_t last;
};

// Codes from `code` on, `count` of them; a run maps them to consecutive units
// starting at `value`, otherwise they are listed from Cp932Units[value] on.
struct Cp932Segment {
  std::uint16_t code;
  std::uint16_t count;
  std::uint16_t value;
};
constexpr std::uint16_t Cp932Run = 0x8000;

struct Cp932Exception {
  std::uint16_t unit;
  std::uint16_t code;
};

#include "text/cp932_table_posix.inc"

constexpr char16_t Replacement = 0xFFFD;
constexpr char UnmappedByte = '?';

template <std::size_t N>
bool InRanges(const Cp932ByteRange (&ranges)[N], unsigned byte) {
  for (const Cp932ByteRange& r : ranges) {
    if (byte >= r.first && byte <= r.last) return true;
  }
  return false;
}

// The unit for a one- or two-byte code, or 0 when the code is undefined (only
// code 0 maps to unit 0).
char16_t Cp932ToUnit(unsigned code) {
  const Cp932Segment* lo = Cp932Segments;
  const Cp932Segment* hi = Cp932Segments + sizeof Cp932Segments / sizeof Cp932Segments[0];
  while (lo < hi) {  // last segment starting at or before code
    const Cp932Segment* mid = lo + (hi - lo) / 2;
    if (mid->code <= code) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == Cp932Segments) return 0;
  const Cp932Segment& s = lo[-1];
  const unsigned count = s.count & ~Cp932Run;
  const unsigned offset = code - s.code;
  if (offset >= count) return 0;
  if (s.count & Cp932Run) return static_cast<char16_t>(s.value + offset);
  return Cp932Units[s.value + offset];
}

// unit -> code (0: none, but for unit 0). Several codes can give one unit; the
// lowest wins, except the leads Windows never encodes to, then the exceptions.
std::unique_ptr<std::uint16_t[]> BuildCp932Reverse() {
  std::unique_ptr<std::uint16_t[]> table(new std::uint16_t[0x10000]());
  for (const Cp932Segment& s : Cp932Segments) {
    const unsigned count = s.count & ~Cp932Run;
    for (unsigned code = s.code; code < s.code + count; ++code) {
      if (InRanges(Cp932NoReverseLeads, code >> 8)) continue;
      const char16_t unit = Cp932ToUnit(code);
      if (unit != 0 && table[unit] == 0) table[unit] = static_cast<std::uint16_t>(code);
    }
  }
  for (const Cp932Exception& e : Cp932Exceptions) table[e.unit] = e.code;
  return table;
}

const std::uint16_t* Cp932Reverse() {
  static const std::unique_ptr<std::uint16_t[]> table = BuildCp932Reverse();
  return table.get();
}

// Counts units, or stores them while they fit.
template <typename Unit>
class Output {
 public:
  Output(Unit* dest, int capacity) : dest_(dest), capacity_(capacity) {}

  bool Put(unsigned unit) {
    if (capacity_ == 0) {
      if (count_ == INT_MAX) return false;
    } else {
      if (count_ == capacity_) return false;
      dest_[count_] = static_cast<Unit>(unit);
    }
    ++count_;
    return true;
  }

  int count() const { return count_; }

 private:
  Unit* dest_;
  int capacity_;
  int count_ = 0;
};

bool Cp932ToWide(const unsigned char* src, std::size_t length, Output<char16_t>& out) {
  std::size_t i = 0;
  while (i < length) {
    const unsigned byte = src[i++];
    char16_t unit;
    if (!InRanges(Cp932LeadRanges, byte)) {
      unit = Cp932ToUnit(byte);
    } else if (i < length && src[i] != 0) {
      // Any trail byte is consumed, even one no pair is defined with; a NUL is
      // left to stand on its own.
      unit = Cp932ToUnit(byte << 8 | src[i++]);
      if (unit == 0) unit = Cp932DefaultUnit;
    } else {
      unit = Cp932DefaultUnit;
    }
    if (!out.Put(unit)) return false;
  }
  return true;
}

bool WideToCp932(const char16_t* src, std::size_t length, Output<char>& out) {
  const std::uint16_t* reverse = Cp932Reverse();
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t unit = src[i];
    const unsigned code = reverse[unit];
    if (code == 0 && unit != 0) {
      if (!out.Put(static_cast<unsigned char>(UnmappedByte))) return false;
    } else if (code < 0x100) {
      if (!out.Put(code)) return false;
    } else if (!out.Put(code >> 8) || !out.Put(code & 0xFF)) {
      return false;
    }
  }
  return true;
}

// Each ill-formed sequence becomes one U+FFFD per maximal subpart: a valid
// sequence's beginning, cut off at the first byte that cannot continue it.
// The one difference from the Unicode practice is marked below.
bool Utf8ToWide(const unsigned char* src, std::size_t length, Output<char16_t>& out) {
  std::size_t i = 0;
  while (i < length) {
    const unsigned lead = src[i++];
    if (lead < 0x80) {
      if (!out.Put(lead)) return false;
      continue;
    }
    int continuations;
    char32_t code;
    // The second byte's range excludes overlongs, surrogates and > U+10FFFF.
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      continuations = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      continuations = 2;
      code = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      continuations = 3;
      code = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      if (!out.Put(Replacement)) return false;
      continue;
    }
    bool complete = true;
    for (int k = 0; k < continuations; ++k) {
      if (i == length || src[i] < low || src[i] > high) {
        // A continuation byte outside the narrowed range (overlong, surrogate,
        // above U+10FFFF) is taken into the replacement, as Windows does.
        if (k == 0 && i < length && src[i] >= 0x80 && src[i] <= 0xBF) ++i;
        complete = false;
        break;
      }
      code = code << 6 | (src[i++] & 0x3F);
      low = 0x80;
      high = 0xBF;
    }
    bool ok;
    if (!complete) {
      ok = out.Put(Replacement);
    } else if (code >= 0x10000) {
      code -= 0x10000;
      ok = out.Put(0xD800 + (code >> 10)) && out.Put(0xDC00 + (code & 0x3FF));
    } else {
      ok = out.Put(code);
    }
    if (!ok) return false;
  }
  return true;
}

bool WideToUtf8(const char16_t* src, std::size_t length, Output<char>& out) {
  for (std::size_t i = 0; i < length; ++i) {
    char32_t code = src[i];
    if (code >= 0xD800 && code <= 0xDFFF) {
      const bool paired = code <= 0xDBFF && i + 1 < length && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF;
      if (paired) {
        code = 0x10000 + ((code - 0xD800) << 10) + (src[++i] - 0xDC00);
      } else {
        code = Replacement;
      }
    }
    bool ok;
    if (code < 0x80) {
      ok = out.Put(code);
    } else if (code < 0x800) {
      ok = out.Put(0xC0 | code >> 6) && out.Put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      ok = out.Put(0xE0 | code >> 12) && out.Put(0x80 | (code >> 6 & 0x3F)) && out.Put(0x80 | (code & 0x3F));
    } else {
      ok = out.Put(0xF0 | code >> 18) && out.Put(0x80 | (code >> 12 & 0x3F)) && out.Put(0x80 | (code >> 6 & 0x3F)) &&
           out.Put(0x80 | (code & 0x3F));
    }
    if (!ok) return false;
  }
  return true;
}

// The source length to convert, 0 when the arguments are invalid. Windows takes
// any negative length, not only -1, as "through the terminator".
template <typename Unit>
std::size_t SourceLength(const Unit* src, int srcLength, const void* dest, int destCapacity) {
  if (src == nullptr || srcLength == 0 || destCapacity < 0) return 0;
  if (destCapacity > 0 && dest == nullptr) return 0;
  if (srcLength > 0) return static_cast<std::size_t>(srcLength);
  std::size_t n = 0;
  while (src[n] != 0) ++n;
  return n + 1;  // the terminator is converted too
}

}  // namespace

int CodePageToWide(unsigned codePage, const char* src, int srcLength, char16_t* dest, int destCapacity) {
  if (codePage != CodePageShiftJis && codePage != CodePageUtf8) return 0;
  const std::size_t length = SourceLength(src, srcLength, dest, destCapacity);
  if (length == 0) return 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(src);
  Output<char16_t> out(dest, destCapacity);
  const bool ok =
      codePage == CodePageShiftJis ? Cp932ToWide(bytes, length, out) : Utf8ToWide(bytes, length, out);
  return ok ? out.count() : 0;
}

int WideToCodePage(unsigned codePage, const char16_t* src, int srcLength, char* dest, int destCapacity) {
  if (codePage != CodePageShiftJis && codePage != CodePageUtf8) return 0;
  const std::size_t length = SourceLength(src, srcLength, dest, destCapacity);
  if (length == 0) return 0;
  Output<char> out(dest, destCapacity);
  const bool ok = codePage == CodePageShiftJis ? WideToCp932(src, length, out) : WideToUtf8(src, length, out);
  return ok ? out.count() : 0;
}
