#include <gtest/gtest.h>

#include <string>

#include "text/text.h"

namespace {

// Shift-JIS bytes of some texts used below.
const char kSjisKatakanaA[] = "\x83\x41";          // ア
const char kSjisFullWidthA[] = "\x82\x60";         // Ａ
const char kSjisTitle[] = "\x83\x8b\x81\x5b\x83\x81\x83\x93";  // ルーメン
const char kUtf8Title[] = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3";

TEST(DetectTextEncoding, ClassifiesByBytes) {
  EXPECT_EQ(DetectTextEncoding(""), EncodingAscii);
  EXPECT_EQ(DetectTextEncoding("README.TXT"), EncodingAscii);
  EXPECT_EQ(DetectTextEncoding(kUtf8Title), EncodingUtf8);
  EXPECT_EQ(DetectTextEncoding(kSjisTitle), EncodingShiftJis);
  EXPECT_EQ(DetectTextEncoding("\xb1\xb2"), EncodingShiftJis);  // half-width katakana
  // Shift-JIS bytes that happen to form UTF-8 sequences are taken as UTF-8.
  EXPECT_EQ(DetectTextEncoding("\xc3\xa4"), EncodingUtf8);
  // A lead byte cut short by the terminator is not UTF-8.
  EXPECT_EQ(DetectTextEncoding("a\xe3\x83"), EncodingShiftJis);
}

TEST(DetectTextEncoding, StopsAfterSixSequences) {
  std::string six;
  for (int i = 0; i < 6; ++i) six += "\xc3\xa4";
  EXPECT_EQ(DetectTextEncoding((six + "\x80").c_str()), EncodingUtf8);
  std::string five = six.substr(2);
  EXPECT_EQ(DetectTextEncoding((five + "\x80").c_str()), EncodingShiftJis);
}

TEST(Conversion, NarrowToWideChoosesCodePageByClassification) {
  EXPECT_EQ(NarrowToWide(kSjisTitle), u"ルーメン");
  EXPECT_EQ(NarrowToWide(kUtf8Title), u"ルーメン");
  EXPECT_EQ(NarrowToWide(""), u"");
  char16_t buffer[5];
  EXPECT_TRUE(NarrowToWide(buffer, 5, kSjisTitle));
  EXPECT_EQ(std::u16string(buffer), u"ルーメン");
}

TEST(Conversion, TooSmallDestinationFailsAndWritesNothing) {
  char16_t wide[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_FALSE(NarrowToWide(wide, 4, kSjisTitle));  // needs 5 with the terminator
  EXPECT_EQ(wide[0], u'x');
  char narrow[8] = "keep";
  EXPECT_FALSE(ConvertNarrow(narrow, 8, kSjisTitle, TargetUtf8));  // needs 13
  EXPECT_STREQ(narrow, "keep");
  EXPECT_FALSE(ConvertNarrow(narrow, 3, "abc", TargetUtf8));
  EXPECT_STREQ(narrow, "keep");
  EXPECT_FALSE(WideToNarrow(narrow, 8, u"ルーメン", TargetShiftJis));  // needs 9
  EXPECT_TRUE(WideToNarrow(narrow, 8, u"ルーメ", TargetShiftJis));
  EXPECT_STREQ(narrow, "\x83\x8b\x81\x5b\x83\x81");
}

TEST(Conversion, ConvertNarrowCopiesOrConverts) {
  EXPECT_EQ(ConvertNarrow(kUtf8Title, TargetUtf8), kUtf8Title);
  EXPECT_EQ(ConvertNarrow(kUtf8Title, TargetShiftJis), kSjisTitle);
  EXPECT_EQ(ConvertNarrow(kSjisTitle, TargetUtf8), kUtf8Title);
  EXPECT_EQ(ConvertNarrow(kSjisTitle, TargetShiftJis), kSjisTitle);
  EXPECT_EQ(ConvertNarrow("Data\\A.DAT", TargetShiftJis), "Data\\A.DAT");
  EXPECT_EQ(ConvertNarrow("", TargetUtf8), "");
  EXPECT_EQ(WideToNarrow(u"ルーメン", TargetUtf8), kUtf8Title);
}

TEST(DecodeChar, ReadsCharactersInEachEncoding) {
  DecodedChar c = DecodeChar(kSjisKatakanaA, EncodingShiftJis);
  EXPECT_EQ(c.code, 0x8341u);
  EXPECT_EQ(c.length, 2u);
  c = DecodeChar("\xb1", EncodingShiftJis);  // half-width katakana is one byte
  EXPECT_EQ(c.length, 1u);
  c = DecodeChar("\x83", EncodingShiftJis);  // cut short by the terminator
  EXPECT_EQ(c.length, 1u);
  c = DecodeChar(kUtf8Title, EncodingUtf8);
  EXPECT_EQ(c.code, 0x30EBu);
  EXPECT_EQ(c.length, 3u);
  c = DecodeChar("\xe3\x83", EncodingUtf8);  // never steps over the terminator
  EXPECT_EQ(c.length, 2u);
  // An encoded surrogate pair (CESU-8 style) is read as one character.
  c = DecodeChar("\xed\xa0\xbd\xed\xb8\x80", EncodingUtf8);
  EXPECT_EQ(c.code, 0x1F600u);
  EXPECT_EQ(c.length, 6u);
  c = DecodeChar("", EncodingUtf8);
  EXPECT_EQ(c.length, 0u);
}

TEST(FindChar, NeverMatchesTrailBytes) {
  // The trail byte of ソ (0x83 0x5C) is a backslash in ASCII.
  const char text[] = "\x83\x5c\\x";
  EXPECT_EQ(FindChar(text, '\\'), text + 2);
  const char line[] = "\x83\x41\r\nb";
  EXPECT_EQ(FindChar(line, '\r'), line + 2);
  EXPECT_EQ(FindChar(line, '\n'), line + 3);
  EXPECT_EQ(FindChar(line, 'z'), nullptr);
}

TEST(FindChar, CodeZeroFindsTheTerminator) {
  const char ascii[] = "abc";
  EXPECT_EQ(FindChar(ascii, 0), ascii + 3);
  EXPECT_EQ(FindChar(kSjisTitle, 0), kSjisTitle + 8);
  const char empty[] = "";
  EXPECT_EQ(FindChar(empty, 0), empty);
  EXPECT_EQ(FindChar(empty, 'a'), nullptr);
}

TEST(CompareAndCopy, ByteWise) {
  EXPECT_EQ(CompareText("B", "a"), -1);
  EXPECT_EQ(CompareText("a", "B"), 1);
  EXPECT_EQ(CompareText("abc", "abc"), 0);
  EXPECT_EQ(CompareText("ab", "abc"), -1);
  EXPECT_EQ(CompareText("\x83", "a"), 1);  // unsigned
  char buffer[4];
  EXPECT_TRUE(CopyText(buffer, 4, "abc"));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_FALSE(CopyText(buffer, 4, "abcd"));
  EXPECT_STREQ(buffer, "abc");
}

TEST(LowerText, OnlyAsciiLettersThatStandAlone) {
  char ascii[] = "README.TXT";
  EXPECT_STREQ(LowerText(ascii), "readme.txt");
  char utf8[] = "\xc3\x84Z";  // ÄZ
  EXPECT_STREQ(LowerText(utf8), "\xc3\x84z");
  std::string sjis = std::string("DATA") + kSjisFullWidthA + kSjisKatakanaA + "X";
  LowerText(sjis.data());
  EXPECT_EQ(sjis, std::string("data") + kSjisFullWidthA + kSjisKatakanaA + "x");
}

TEST(Format, OnlyPercentSAndBounded) {
  char16_t wide[16];
  EXPECT_EQ(FormatWide(wide, 16, u"%s\\%s.tmp", u"C:", u"a"), 8);
  EXPECT_EQ(std::u16string(wide), u"C:\\a.tmp");
  EXPECT_EQ(FormatWide(wide, 8, u"%s\\%s.tmp", u"C:", u"a"), -1);  // 8 units + terminator
  EXPECT_EQ(wide[0], 0);
  char narrow[8];
  EXPECT_EQ(FormatNarrow(narrow, 8, "%s%s", "ab", ".c"), 4);
  EXPECT_STREQ(narrow, "ab.c");
  EXPECT_EQ(FormatNarrow(narrow, 8, "%s\n", "abcdef"), 7);
  EXPECT_EQ(FormatNarrow(narrow, 8, "%d", 1), -1);
  EXPECT_EQ(FormatNarrow(narrow, 8, "100%%"), 4);
  EXPECT_STREQ(narrow, "100%");
}

TEST(SplitPathUtf8, SplitsIntoUtf8Components) {
  char drive[NameCapacity], folder[NameCapacity], name[NameCapacity], extension[NameCapacity];
  SplitPathUtf8(drive, folder, name, extension, "C:\\Games\\data/A.B.DAT");
  EXPECT_STREQ(drive, "C:");
  EXPECT_STREQ(folder, "\\Games\\data/");
  EXPECT_STREQ(name, "A.B");
  EXPECT_STREQ(extension, ".DAT");

  std::string sjisPath = std::string("sub\\") + kSjisTitle + ".dat";
  SplitPathUtf8(nullptr, nullptr, name, extension, sjisPath.c_str());
  EXPECT_STREQ(name, kUtf8Title);
  EXPECT_STREQ(extension, ".dat");

  SplitPathUtf8(drive, folder, name, extension, "noext");
  EXPECT_STREQ(drive, "");
  EXPECT_STREQ(folder, "");
  EXPECT_STREQ(name, "noext");
  EXPECT_STREQ(extension, "");
}

TEST(SplitPathUtf8, OverlongComponentsComeOutEmpty) {
  char folder[NameCapacity], name[NameCapacity];
  std::string longName(256, 'n');
  SplitPathUtf8(nullptr, folder, name, nullptr, ("dir\\" + longName).c_str());
  EXPECT_STREQ(folder, "dir\\");
  EXPECT_STREQ(name, "");
  std::string tooLongPath(800, 'p');
  SplitPathUtf8(nullptr, folder, name, nullptr, tooLongPath.c_str());
  EXPECT_STREQ(name, "");
}

}  // namespace
