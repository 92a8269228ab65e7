// Runs against both the system's own conversions (Windows, Wine) and the
// POSIX reproduction, so it states Windows' results, never how they are made.
#include "text/codepage.h"

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

std::string Hex(const std::string& bytes) {
  std::u16string units;
  for (unsigned char b : bytes) units += b;
  return Hex(units);
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
      {"\xf5\x80\x80\x80\xfe", r + r + r + r + r, false},
      // A second byte outside a lead's narrowed range joins the lead's replacement.
      {"\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80", r + r + r + r + r + r + r, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(ToWide(CodePageUtf8, c.utf8)), Hex(c.utf16)) << Hex(c.utf8);
    if (c.roundTrip) {
      EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, c.utf16)), Hex(c.utf8)) << Hex(c.utf16);
    }
  }
  // Lone surrogates become replacements; a pair cut by the given length is none.
  EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, u"\xdc00\xd800" "A\xd800\xd83d\xde00")),
            Hex("\xef\xbf\xbd\xef\xbf\xbd" "A\xef\xbf\xbd\xf0\x9f\x98\x80"));
  EXPECT_EQ(WideToCodePage(CodePageUtf8, u"\xd83d\xde00", 1, nullptr, 0), 3);
}

}  // namespace
