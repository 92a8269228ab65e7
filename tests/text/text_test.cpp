// The text layer every name from outside passes through. The code page tests
// run against both the system's own conversions (Windows, Wine) and the POSIX
// reproduction, so they state Windows' results, never how they are made.
#include "text/codepage.h"
#include "text/text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::u16string ToWide(unsigned codePage, const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  std::u16string out(static_cast<size_t>(CodePageToWide(codePage, bytes.data(), size, nullptr, 0)), u'\0');
  EXPECT_EQ(out.empty() ? 0 : CodePageToWide(codePage, bytes.data(), size, out.data(), static_cast<int>(out.size())),
            static_cast<int>(out.size()));
  return out;
}

std::string ToNarrow(unsigned codePage, const std::u16string& units) {
  const int size = static_cast<int>(units.size());
  std::string out(static_cast<size_t>(WideToCodePage(codePage, units.data(), size, nullptr, 0)), '\0');
  EXPECT_EQ(out.empty() ? 0 : WideToCodePage(codePage, units.data(), size, out.data(), static_cast<int>(out.size())),
            static_cast<int>(out.size()));
  return out;
}

std::string Hex(const std::u16string& units) {
  std::ostringstream out;
  for (char16_t u : units) out << std::hex << static_cast<unsigned>(u) << ' ';
  return out.str();
}

// Every line "LEFT -> RIGHT..." of the reference files, taken from Windows:
// every Shift-JIS byte alone and pair after a lead byte, and every UTF-16 unit.
TEST(CodePageShiftJis, EveryReferenceLineGivesWindowsResult) {
  int lines = 0, mismatches = 0;
  for (const char* file : {"/cp932-to-utf16.txt", "/utf16-to-cp932.txt"}) {
    std::ifstream in(std::string(TEST_DATA_DIR) + file);
    ASSERT_TRUE(in) << file;
    const bool toWide = file[1] == 'c';
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string left, arrow, hex, bytes;
      std::u16string units;
      fields >> left >> arrow;
      auto unit = [](const std::string& word) { return static_cast<char16_t>(std::stoul(word, nullptr, 16)); };
      if (toWide) {
        hex = left;
        for (std::string word; fields >> word;) units += unit(word);
      } else {
        fields >> hex;
        units = unit(left);
      }
      for (size_t i = 0; i < hex.size(); i += 2) bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
      ++lines;
      bool same = toWide ? ToWide(CodePageShiftJis, bytes) == units : ToNarrow(CodePageShiftJis, units) == bytes;
      if (!same && ++mismatches <= 10) ADD_FAILURE() << file << ": " << line;
    }
  }
  EXPECT_EQ(lines, 255 + 128 * 255 + 0xFFFF);
  EXPECT_EQ(mismatches, 0);
}

TEST(CodePageUtf8, ConvertsAsWindowsDoes) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
    bool roundTrip;
  };
  const std::u16string r = u"\ufffd";
  const Case cases[] = {
      {"A\x7f\xc2\x80\xdf\xbf", u"A\u007f\u0080\u07ff", true},
      {"\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf", u"\u0800\ud7ff\ue000\uffff", true},
      {"\xf0\x90\x80\x80\xf4\x8f\xbf\xbf", u"\U00010000\U0010FFFF", true},
      // One replacement per stray or overlong byte, and for a sequence cut short.
      {"a\x80\xbf" "b\xc0\x80", u"a" + r + r + u"b" + r + r, false},
      {"\xe3\x81" "A\xe3\x81\xc3\xa9\xf0\x9f\x98", r + u"A" + r + u"\u00e9" + r, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(ToWide(CodePageUtf8, c.utf8)), Hex(c.utf16)) << c.utf8;
    EXPECT_TRUE(!c.roundTrip || ToNarrow(CodePageUtf8, c.utf16) == c.utf8) << Hex(c.utf16);
  }
}

TEST(Text, EncodingAndCharacters) {
  // Six well-formed sequences make a text UTF-8, whatever follows; five prove nothing.
  const std::string six = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3\xe3\x83\xab\xe3\x83\xbc";  // ルーメンルー
  EXPECT_EQ(DetectTextEncoding((six.substr(3) + "\x80").c_str()), EncodingShiftJis);
  EXPECT_EQ(DetectTextEncoding("\xc2\xa9 2026"), EncodingUtf8);   // ©: the lowest two-byte lead
  EXPECT_EQ(DecodeChar("\x95\x5c", EncodingShiftJis).length, 2u);  // 表: a lead past 0x8F
  EXPECT_EQ(FindChar((six + "\xc0\x8ax").c_str(), '\n'), nullptr);  // an over-long LF ends no line
}

TEST(Text, LowerFormatAndSplit) {
  // Only ASCII letters that stand alone: not the trail bytes of ア and 陛.
  EXPECT_EQ(LowerText(std::string("DATA\x83\x41\x95\x41X")), "data\x83\x41\x95\x41x");
  char16_t wide[8];
  EXPECT_EQ(FormatWide(wide, 8, u"%s\\%s.tmp", u"C:", u"a"), -1);  // 8 units and the terminator
  char drive[NameCapacity], folder[NameCapacity], name[NameCapacity], extension[NameCapacity];
  SplitPathUtf8(drive, folder, name, extension, "C:\\Games\\data/A.B.DAT");
  EXPECT_EQ(std::string(drive) + "|" + folder + "|" + name + "|" + extension, "C:|\\Games\\data/|A.B|.DAT");
}

}  // namespace
