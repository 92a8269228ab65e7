// The text layer that every outside name passes through: classification,
// conversions into buffers of every size, lower-casing, searching, splitting
// and formatting. Texts live in blocks of exactly their size, so that reading
// past a terminator is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "text/text.h"

namespace {

template <typename Unit>
std::unique_ptr<Unit[]> Terminated(const std::basic_string<Unit>& text) {
  size_t length = 0;
  while (length < text.size() && text[length] != 0) ++length;
  std::unique_ptr<Unit[]> copy(new Unit[length + 1]);
  std::memcpy(copy.get(), text.data(), length * sizeof(Unit));
  copy[length] = 0;
  return copy;
}

// A conversion into a caller's buffer succeeds exactly when the owned result
// and its terminator fit, writes that result, and otherwise writes nothing.
template <typename Unit, typename Convert>
void CheckIntoBuffers(const std::basic_string<Unit>& owned, size_t extraCapacity, Convert convert) {
  FUZZ_CHECK(owned.find(Unit{0}) == std::basic_string<Unit>::npos);
  for (size_t capacity : {size_t{0}, size_t{1}, owned.size(), owned.size() + 1, extraCapacity, PathCapacity}) {
    ExactBuffer<Unit> buffer(capacity);
    bool converted = convert(buffer.get(), capacity);
    FUZZ_CHECK(converted == (owned.size() + 1 <= capacity));
    if (!converted) {
      FUZZ_CHECK(buffer.Untouched());
      continue;
    }
    std::basic_string<Unit> text;
    FUZZ_CHECK(buffer.Text(&text) && text == owned);
  }
}

bool IsAscii(const char* text) {
  for (const char* p = text; *p; ++p)
    if (static_cast<unsigned char>(*p) >= 0x80) return false;
  return true;
}

void CheckNarrow(const char* text, size_t extraCapacity, uint32_t code) {
  const size_t length = std::strlen(text);
  const TextEncoding encoding = DetectTextEncoding(text);
  FUZZ_CHECK(encoding == EncodingShiftJis || encoding == EncodingUtf8 || encoding == EncodingAscii);
  FUZZ_CHECK((encoding == EncodingAscii) == IsAscii(text));

  const std::u16string wide = NarrowToWide(text);
  CheckIntoBuffers<char16_t>(wide, extraCapacity, [&](char16_t* dest, size_t capacity) {
    return NarrowToWide(dest, capacity, text);
  });
  for (int target : {TargetShiftJis, TargetUtf8}) {
    const std::string converted = ConvertNarrow(text, target);
    CheckIntoBuffers<char>(converted, extraCapacity, [&](char* dest, size_t capacity) {
      return ConvertNarrow(dest, capacity, text, target);
    });
    if (encoding == EncodingAscii) FUZZ_CHECK(converted == text);
  }
  // UTF-16 made from narrow text survives UTF-8 unchanged.
  const std::string utf8 = WideToNarrow(wide.c_str(), TargetUtf8);
  FUZZ_CHECK(NarrowToWide(utf8.c_str()) == wide);

  // Lower-casing changes only ASCII capitals, and all of them in ASCII text.
  std::unique_ptr<char[]> lowered(new char[length + 1]);
  std::memcpy(lowered.get(), text, length + 1);
  FUZZ_CHECK(LowerText(lowered.get()) == lowered.get());
  for (size_t i = 0; i <= length; ++i) {
    char before = text[i], after = lowered[i];
    bool capital = before >= 'A' && before <= 'Z';
    FUZZ_CHECK(after == before || (capital && after == before + 0x20));
    if (encoding == EncodingAscii && capital) FUZZ_CHECK(after == before + 0x20);
  }

  for (uint32_t wanted : {uint32_t{0}, uint32_t{'\r'}, uint32_t{'\n'}, uint32_t{'\\'}, code}) {
    const char* found = FindChar(text, wanted);
    FUZZ_CHECK(found == nullptr || (found >= text && found <= text + length));
    if (wanted == 0) FUZZ_CHECK(found == text + length);
    if (found && wanted < 0x80) FUZZ_CHECK(static_cast<unsigned char>(*found) == wanted);
    if (encoding == EncodingAscii && wanted < 0x80) FUZZ_CHECK(found == std::strchr(text, static_cast<int>(wanted)));
  }

  // Every character takes at least one byte and none reaches past the terminator.
  for (TextEncoding as : {EncodingShiftJis, EncodingUtf8, EncodingAscii}) {
    size_t at = 0;
    for (DecodedChar c = DecodeChar(text, as); c.length != 0; c = DecodeChar(text + at, as)) {
      at += c.length;
      FUZZ_CHECK(at <= length);
    }
    FUZZ_CHECK(at == length);
  }

  ExactBuffer<char> drive(NameCapacity), folder(NameCapacity), name(NameCapacity), extension(NameCapacity);
  SplitPathUtf8(drive.get(), folder.get(), name.get(), extension.get(), text);
  SplitPathUtf8(nullptr, nullptr, name.get(), nullptr, text);
  std::string parts[4];
  FUZZ_CHECK(drive.Text(&parts[0]) && folder.Text(&parts[1]) && name.Text(&parts[2]) && extension.Text(&parts[3]));
  // Short paths come apart whole: the pieces join to the path in UTF-8.
  if (wide.size() <= 255) FUZZ_CHECK(parts[0] + parts[1] + parts[2] + parts[3] == utf8);
  FUZZ_CHECK(parts[0].size() <= 2 * 3);
  FUZZ_CHECK(parts[3].empty() || parts[3][0] == '.');

  ExactBuffer<char> copy(extraCapacity);
  bool copied = CopyText(copy.get(), extraCapacity, text);
  FUZZ_CHECK(copied == (length < extraCapacity));
  FUZZ_CHECK(copied || copy.Untouched());
  FUZZ_CHECK(CompareText(text, text) == 0);
  FUZZ_CHECK(CompareText(text, utf8.c_str()) == -CompareText(utf8.c_str(), text));
}

void CheckWide(const char16_t* text, size_t extraCapacity) {
  for (int target : {TargetShiftJis, TargetUtf8}) {
    const std::string narrow = WideToNarrow(text, target);
    CheckIntoBuffers<char>(narrow, extraCapacity, [&](char* dest, size_t capacity) {
      return WideToNarrow(dest, capacity, text, target);
    });
  }
}

// Folder and name from outside data go into fixed buffers through FormatWide.
void CheckFormat(const char16_t* folder, const char16_t* name, size_t capacity) {
  ExactBuffer<char16_t> path(capacity);
  int written = FormatWide(path.get(), capacity, u"%s\\%s.tmp", folder, name);
  std::u16string expected = std::u16string(folder) + u"\\" + name + u".tmp";
  if (capacity == 0) {
    FUZZ_CHECK(written == -1 && path.Untouched());
    return;
  }
  std::u16string text;
  FUZZ_CHECK(path.Text(&text));
  if (expected.size() < capacity) {
    FUZZ_CHECK(written == static_cast<int>(expected.size()) && text == expected);
  } else {
    FUZZ_CHECK(written == -1 && text.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return -1;
  FuzzedDataProvider input(data, size);
  const size_t extraCapacity = input.ConsumeIntegralInRange<size_t>(0, 1100);
  const uint32_t code = input.ConsumeIntegral<uint32_t>() >> input.ConsumeIntegralInRange<int>(0, 31);
  const std::string narrow = input.ConsumeRandomLengthString(4096);
  std::vector<uint8_t> rest = input.ConsumeRemainingBytes<uint8_t>();

  std::unique_ptr<char[]> text = Terminated(narrow);
  CheckNarrow(text.get(), extraCapacity, code);

  // The remaining bytes as UTF-16LE units, as a Windows interface hands them over.
  std::u16string units;
  for (size_t i = 0; i + 1 < rest.size(); i += 2) units += static_cast<char16_t>(rest[i] | rest[i + 1] << 8);
  std::unique_ptr<char16_t[]> wide = Terminated(units);
  CheckWide(wide.get(), extraCapacity);
  std::unique_ptr<char16_t[]> converted = Terminated(NarrowToWide(text.get()));
  CheckFormat(converted.get(), wide.get(), extraCapacity);
  return 0;
}
