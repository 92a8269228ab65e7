// The text layer every name from outside passes through: classification,
// conversion and formatting into buffers that never overflow, lower case and
// splitting.
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

// Only ASCII letters that stand alone: not the trail bytes of ア and 陛.
TEST(Text, LowerText) {
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
