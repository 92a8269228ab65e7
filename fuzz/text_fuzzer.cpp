// The text layer that every outside name passes through: classification,
// conversions into buffers of every size, lower-casing, searching, splitting
// and formatting. Texts live in blocks of exactly their size, so that reading
// past a terminator is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

#include "fuzz_support.h"
#include "text/text.h"

namespace {

template <typename Unit>
std::unique_ptr<Unit[]> Terminated(const std::basic_string<Unit>& text) {
  const size_t length = std::min(text.size(), text.find(Unit{0}));
  std::unique_ptr<Unit[]> copy(new Unit[length + 1]);
  std::memcpy(copy.get(), text.data(), length * sizeof(Unit));
  copy[length] = 0;
  return copy;
}

// A conversion into a caller's buffer succeeds exactly when the owned result
// and its terminator fit, and writes that result.
template <typename Unit, typename Convert>
void CheckIntoBuffers(const std::basic_string<Unit>& owned, size_t extra, Convert convert) {
  FUZZ_CHECK(owned.find(Unit{0}) == std::basic_string<Unit>::npos);
  CheckFill<Unit>({0, 1, owned.size(), owned.size() + 1, extra, PathCapacity}, convert, &owned);
}

void CheckNarrow(const char* text, size_t extra, uint32_t code) {
  const size_t length = std::strlen(text);
  const TextEncoding encoding = DetectTextEncoding(text);
  const bool ascii = std::all_of(text, text + length, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  FUZZ_CHECK((encoding == EncodingAscii) == ascii);
  FUZZ_CHECK(encoding == EncodingShiftJis || encoding == EncodingUtf8 || encoding == EncodingAscii);

  const std::u16string wide = NarrowToWide(text);
  CheckIntoBuffers(wide, extra, [&](char16_t* dest, size_t capacity) { return NarrowToWide(dest, capacity, text); });
  for (int target : {TargetShiftJis, TargetUtf8}) {
    const std::string converted = ConvertNarrow(text, target);
    CheckIntoBuffers(converted, extra, [&](char* dest, size_t capacity) {
      return ConvertNarrow(dest, capacity, text, target);
    });
    FUZZ_CHECK(!ascii || converted == text);
  }
  // UTF-16 made from narrow text survives UTF-8 unchanged.
  const std::string utf8 = WideToNarrow(wide.c_str(), TargetUtf8);
  FUZZ_CHECK(NarrowToWide(utf8.c_str()) == wide);

  // Lower-casing changes only ASCII capitals, and all of them in ASCII text.
  std::string lowered = LowerText(std::string(text));
  for (size_t i = 0; i < length; ++i) {
    bool capital = text[i] >= 'A' && text[i] <= 'Z';
    FUZZ_CHECK(lowered[i] == text[i] || (capital && lowered[i] == text[i] + 0x20));
    FUZZ_CHECK(!ascii || !capital || lowered[i] == text[i] + 0x20);
  }

  for (uint32_t wanted : {uint32_t{0}, uint32_t{'\r'}, uint32_t{'\n'}, uint32_t{'\\'}, code}) {
    const char* found = FindChar(text, wanted);
    FUZZ_CHECK(found == nullptr || (found >= text && found <= text + length));
    FUZZ_CHECK(wanted != 0 || found == text + length);
    FUZZ_CHECK(!found || wanted >= 0x80 || static_cast<unsigned char>(*found) == wanted);
    FUZZ_CHECK(!ascii || wanted >= 0x80 || found == std::strchr(text, static_cast<int>(wanted)));
  }

  // Every character takes at least one byte and none reaches past the terminator.
  for (TextEncoding as : {EncodingShiftJis, EncodingUtf8, EncodingAscii}) {
    size_t at = 0;
    for (DecodedChar c = DecodeChar(text, as); c.length != 0; c = DecodeChar(text + at, as)) at += c.length;
    FUZZ_CHECK(at == length);
  }

  // Short paths come apart whole: the pieces join to the path in UTF-8.
  std::string parts[4];
  std::vector<std::unique_ptr<char[]>> buffers;
  for (int i = 0; i < 4; ++i) buffers.emplace_back(new char[NameCapacity]);
  SplitPathUtf8(buffers[0].get(), buffers[1].get(), buffers[2].get(), buffers[3].get(), text);
  for (int i = 0; i < 4; ++i) parts[i] = buffers[i].get();
  FUZZ_CHECK(wide.size() > 255 || parts[0] + parts[1] + parts[2] + parts[3] == utf8);
  FUZZ_CHECK(parts[0].size() <= 2 * 3 && (parts[3].empty() || parts[3][0] == '.'));

  const std::string copied = text;
  CheckFill<char>({extra}, [&](char* dest, size_t capacity) { return CopyText(dest, capacity, text); }, &copied);
  FUZZ_CHECK(CompareText(text, text) == 0 && CompareText(text, utf8.c_str()) == -CompareText(utf8.c_str(), text));
}

// Folder and name from outside data go into fixed buffers through FormatWide:
// the whole text when it fits, else -1 and an empty text.
void CheckFormat(const char16_t* folder, const char16_t* name, size_t capacity) {
  std::unique_ptr<char16_t[]> path(new char16_t[capacity ? capacity : 1]);
  int written = FormatWide(path.get(), capacity, u"%s\\%s.tmp", folder, name);
  std::u16string expected = std::u16string(folder) + u"\\" + name + u".tmp";
  if (expected.size() < capacity) FUZZ_CHECK(written == static_cast<int>(expected.size()) && path.get() == expected);
  else FUZZ_CHECK(written == -1 && (capacity == 0 || path[0] == 0));
}

}  // namespace

const size_t MaxInputSize = 1 << 16;

void FuzzOne(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const size_t extra = input.ConsumeIntegralInRange<size_t>(0, 1100);
  const uint32_t code = input.ConsumeIntegral<uint32_t>() >> input.ConsumeIntegralInRange<int>(0, 31);
  std::unique_ptr<char[]> text = Terminated(input.ConsumeRandomLengthString(4096));
  CheckNarrow(text.get(), extra, code);

  // The remaining bytes as UTF-16LE units, as a Windows interface hands them over.
  std::vector<uint8_t> rest = input.ConsumeRemainingBytes<uint8_t>();
  std::u16string units;
  for (size_t i = 0; i + 1 < rest.size(); i += 2) units += static_cast<char16_t>(rest[i] | rest[i + 1] << 8);
  std::unique_ptr<char16_t[]> wide = Terminated(units);
  for (int target : {TargetShiftJis, TargetUtf8}) {
    CheckIntoBuffers(WideToNarrow(wide.get(), target), extra, [&](char* dest, size_t capacity) {
      return WideToNarrow(dest, capacity, wide.get(), target);
    });
  }
  CheckFormat(Terminated(NarrowToWide(text.get())).get(), wide.get(), extra);
}
