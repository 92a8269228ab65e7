// The text layer every name from outside passes through: classification,
// conversion, characters, searching, lower case, formatting and splitting.
#include "text/text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kSjisTitle[] = "\x83\x8b\x81\x5b\x83\x81\x83\x93";  // ルーメン
const char kUtf8Title[] = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3";
// Six well-formed sequences make a text UTF-8, whatever follows.
const std::string kUtf8Start = kUtf8Title + std::string("\xe3\x83\xab\xe3\x83\xbc");

TEST(DetectTextEncoding, ClassifiesByBytes) {
  const std::pair<std::string, TextEncoding> cases[] = {
      {"", EncodingAscii},
      {"README.TXT", EncodingAscii},
      {kUtf8Title, EncodingUtf8},
      {kSjisTitle, EncodingShiftJis},
      {"\xb1\xb2", EncodingShiftJis},          // half-width katakana
      {"\xc3\xa4", EncodingUtf8},              // Shift-JIS bytes that form UTF-8 are UTF-8
      {"\xc2\xa9 2026", EncodingUtf8},         // ©: the lowest two-byte lead
      {"a\xe3\x83", EncodingShiftJis},         // a sequence cut short by the terminator
      {kUtf8Start + "\x80", EncodingUtf8},     // after six sequences nothing more is read
      {kUtf8Start.substr(3) + "\x80", EncodingShiftJis},
  };
  for (auto& [text, encoding] : cases) EXPECT_EQ(DetectTextEncoding(text.c_str()), encoding) << text;
}

TEST(Conversion, ChoosesTheCodePageAndNeverOverflows) {
  EXPECT_EQ(NarrowToWide(kSjisTitle), u"ルーメン");
  EXPECT_EQ(NarrowToWide(kUtf8Title), u"ルーメン");
  EXPECT_EQ(ConvertNarrow(kSjisTitle, TargetUtf8), kUtf8Title);
  EXPECT_EQ(ConvertNarrow(kUtf8Title, TargetShiftJis), kSjisTitle);
  EXPECT_EQ(ConvertNarrow(kSjisTitle, TargetShiftJis), kSjisTitle);
  // A destination too small fails and is left alone; one that fits takes it all.
  char16_t wide[5] = u"xxxx";
  char narrow[13] = "keep";
  EXPECT_FALSE(NarrowToWide(wide, 4, kSjisTitle) || ConvertNarrow(narrow, 12, kSjisTitle, TargetUtf8) ||
               ConvertNarrow(narrow, 3, "abc", TargetUtf8) || WideToNarrow(narrow, 8, u"ルーメン", TargetShiftJis));
  EXPECT_EQ(std::u16string(wide) + u"|" + NarrowToWide(narrow), u"xxxx|keep");
  EXPECT_TRUE(NarrowToWide(wide, 5, kSjisTitle) && WideToNarrow(narrow, 7, u"ルーメ", TargetShiftJis));
  EXPECT_EQ(std::u16string(wide) + u"|" + NarrowToWide(narrow), u"ルーメン|ルーメ");
}

// Characters are read whole and never past the terminator; trail bytes and
// broken forms of ASCII codes are never taken for those characters.
TEST(Characters, DecodedWholeAndFoundOnlyWhole) {
  EXPECT_EQ(DecodeChar("\x83\x41", EncodingShiftJis).code, 0x8341u);
  const std::pair<std::string, size_t> lengths[] = {{"\x83\x41", 2}, {"\x95\x5c", 2}, {"\xb1", 1}, {"\x83", 1}};
  for (auto& [text, length] : lengths) EXPECT_EQ(DecodeChar(text.c_str(), EncodingShiftJis).length, length);
  EXPECT_EQ(DecodeChar(kUtf8Title, EncodingUtf8).code, 0x30EBu);
  EXPECT_EQ(DecodeChar("\xe3\x83", EncodingUtf8).length, 2u);
  EXPECT_EQ(DecodeChar("\xed\xa0\xbd\xed\xb8\x80", EncodingUtf8).code, 0x1F600u);  // an encoded pair
  EXPECT_EQ(DecodeChar("", EncodingUtf8).length, 0u);

  struct Find {
    std::string text;
    uint32_t code;
    int at;  // -1: not found
  };
  const Find finds[] = {
      {"\x83\x5c\\x", '\\', 2},  // the trail byte of ソ is a backslash in ASCII
      {"\x95\x5c\\x", '\\', 2},
      {"\x83\x41\r\nb", '\n', 3},
      {"abc", 0, 3},
      {"", 'a', -1},
      {kUtf8Start + "\xe3\n\xe3\x83\r", '\n', 19},  // a sequence cut short
      {kUtf8Start + "\xe3\x83\r", '\r', 20},
  };
  for (const Find& f : finds) EXPECT_EQ(FindChar(f.text.c_str(), f.code), f.at < 0 ? nullptr : f.text.c_str() + f.at);
  // Over-long CR and LF, a stray byte whose low bits are CR, 0xFF leading eight bytes.
  for (std::string broken : {"\xe0\x80\x8d", "\xc0\x8a", "\x8d", "\xf0\x80\x80\x8a", "\xff\x80\x80\x80\x80\x80\x80\x80"}) {
    std::string text = kUtf8Start + broken + "x";
    EXPECT_EQ(FindChar(text.c_str(), '\r'), nullptr) << testing::PrintToString(broken);
    EXPECT_EQ(FindChar(text.c_str(), '\n'), nullptr) << testing::PrintToString(broken);
    EXPECT_EQ(FindChar(text.c_str(), 'x'), text.c_str() + text.size() - 1);
  }
}

TEST(Text, CompareCopyAndLower) {
  EXPECT_EQ(CompareText("B", "a"), -1);
  EXPECT_EQ(CompareText("ab", "abc"), -1);
  EXPECT_EQ(CompareText("\x83", "a"), 1);  // unsigned
  EXPECT_EQ(CompareText("abc", "abc"), 0);
  char buffer[4];
  EXPECT_TRUE(CopyText(buffer, 4, "abc"));
  EXPECT_FALSE(CopyText(buffer, 4, "abcd"));
  EXPECT_STREQ(buffer, "abc");
  // Only ASCII letters that stand alone: not the trail bytes of ア and 陛.
  EXPECT_EQ(LowerText(std::string("README.TXT")), "readme.txt");
  EXPECT_EQ(LowerText(std::string("\xc3\x84Z")), "\xc3\x84z");
  EXPECT_EQ(LowerText(std::string("DATA\x82\x60\x83\x41\x95\x41X")), "data\x82\x60\x83\x41\x95\x41x");
}

TEST(Text, FormatOnlyPercentSAndBounded) {
  char16_t wide[16];
  EXPECT_EQ(FormatWide(wide, 16, u"%s\\%s.tmp", u"C:", u"a"), 8);
  EXPECT_EQ(std::u16string(wide), u"C:\\a.tmp");
  EXPECT_EQ(FormatWide(wide, 8, u"%s\\%s.tmp", u"C:", u"a"), -1);  // 8 units and the terminator
  EXPECT_EQ(wide[0], 0);
  char narrow[8];
  EXPECT_EQ(FormatNarrow(narrow, 8, "%s\n", "abcdef"), 7);
  EXPECT_EQ(FormatNarrow(narrow, 8, "%d", 1), -1);
  EXPECT_EQ(FormatNarrow(narrow, 8, "100%%"), 4);
  EXPECT_STREQ(narrow, "100%");
}

TEST(Text, SplitPathUtf8) {
  char drive[NameCapacity], folder[NameCapacity], name[NameCapacity], extension[NameCapacity];
  auto split = [&](const std::string& path) {
    SplitPathUtf8(drive, folder, name, extension, path.c_str());
    return std::string(drive) + "|" + folder + "|" + name + "|" + extension;
  };
  EXPECT_EQ(split("C:\\Games\\data/A.B.DAT"), "C:|\\Games\\data/|A.B|.DAT");
  EXPECT_EQ(split(std::string("sub\\") + kSjisTitle + ".dat"), std::string("|sub\\|") + kUtf8Title + "|.dat");
  EXPECT_EQ(split("noext"), "||noext|");
  EXPECT_EQ(split("dir\\" + std::string(256, 'n')), "|dir\\||");  // too long comes out empty
  EXPECT_EQ(split(std::string(800, 'p')), "|||");
}

}  // namespace
