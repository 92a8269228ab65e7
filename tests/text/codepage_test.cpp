// Runs against both the system's own conversions (Windows, Wine) and the
// POSIX reproduction, so it states Windows' results, never how they are made.
#include "text/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::u16string ToWide(unsigned codePage, const std::string& bytes) {
  const int size = static_cast<int>(bytes.size());
  const int needed = CodePageToWide(codePage, bytes.data(), size, nullptr, 0);
  std::u16string out(static_cast<size_t>(needed), u'\0');
  if (needed > 0) {
    const int written = CodePageToWide(codePage, bytes.data(), size, out.data(), needed);
    EXPECT_EQ(written, needed);
  }
  return out;
}

std::string ToNarrow(unsigned codePage, const std::u16string& units) {
  const int size = static_cast<int>(units.size());
  const int needed = WideToCodePage(codePage, units.data(), size, nullptr, 0);
  std::string out(static_cast<size_t>(needed), '\0');
  if (needed > 0) {
    const int written = WideToCodePage(codePage, units.data(), size, out.data(), needed);
    EXPECT_EQ(written, needed);
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    out += buf;
  }
  return out;
}

std::string Hex(const std::u16string& units) {
  std::string out;
  char buf[8];
  for (char16_t u : units) {
    std::snprintf(buf, sizeof buf, "%s%04x", out.empty() ? "" : " ", static_cast<unsigned>(u));
    out += buf;
  }
  return out;
}

bool ParseBytes(const std::string& hex, std::string& out) {
  if (hex.empty() || hex.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    out += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
  }
  return true;
}

// Lines "LEFT -> RIGHT..." of a reference file, comments skipped.
struct ReferenceLine {
  int number;
  std::string left;
  std::vector<std::string> right;
};

std::vector<ReferenceLine> ReadReference(const std::string& path) {
  std::vector<ReferenceLine> lines;
  std::ifstream in(path);
  EXPECT_TRUE(in) << "cannot open " << path;
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    if (text.empty() || text[0] == '#') continue;
    std::istringstream fields(text);
    ReferenceLine line{number, {}, {}};
    std::string arrow;
    fields >> line.left >> arrow;
    EXPECT_EQ(arrow, "->") << path << ":" << number;
    for (std::string word; fields >> word;) line.right.push_back(word);
    lines.push_back(line);
  }
  return lines;
}

// Collects mismatches, keeping the first few for the failure message.
class Mismatches {
 public:
  void Add(const std::string& what) {
    if (count_++ < 10) report_ += what + "\n";
  }
  int count() const { return count_; }
  const std::string& report() const { return report_; }

 private:
  int count_ = 0;
  std::string report_;
};

TEST(CodePageReference, EveryShiftJisByteAndPairGivesWindowsUnits) {
  const std::vector<ReferenceLine> lines = ReadReference(TEST_DATA_DIR "/cp932-to-utf16.txt");
  // Every byte 01-ff alone and every pair 80-ff + 01-ff.
  ASSERT_EQ(lines.size(), 255u + 128u * 255u);
  Mismatches mismatches;
  for (const ReferenceLine& line : lines) {
    std::string bytes;
    std::u16string want;
    for (const std::string& unit : line.right) want += static_cast<char16_t>(std::stoul(unit, nullptr, 16));
    ASSERT_TRUE(ParseBytes(line.left, bytes) && !want.empty()) << "line " << line.number;
    const std::u16string got = ToWide(CodePageShiftJis, bytes);
    if (got != want) mismatches.Add(line.left + " -> " + Hex(got) + ", want " + Hex(want));
  }
  EXPECT_EQ(mismatches.count(), 0) << mismatches.report();
}

TEST(CodePageReference, EveryUtf16UnitGivesWindowsShiftJisBytes) {
  const std::vector<ReferenceLine> lines = ReadReference(TEST_DATA_DIR "/utf16-to-cp932.txt");
  ASSERT_EQ(lines.size(), 0xFFFFu);
  Mismatches mismatches;
  for (const ReferenceLine& line : lines) {
    std::string want;
    ASSERT_TRUE(line.right.size() == 1 && ParseBytes(line.right[0], want)) << "line " << line.number;
    const std::u16string unit(1, static_cast<char16_t>(std::stoul(line.left, nullptr, 16)));
    const std::string got = ToNarrow(CodePageShiftJis, unit);
    if (got != want) mismatches.Add(line.left + " -> " + Hex(got) + ", want " + line.right[0]);
  }
  EXPECT_EQ(mismatches.count(), 0) << mismatches.report();
}

TEST(CodePageShiftJis, SentencesConvertStepByStep) {
  // ASCII, kanji and katakana whose trail byte is 5c ('\'), half-width katakana.
  const std::string sjis =
      "Update \x83\x5c\x83\x74\x83\x67: \x95\x5c\x8e\xa6\xc3\xbd\xc4\x81\x42 OK";
  const std::u16string wide = u"Update \u30bd\u30d5\u30c8: \u8868\u793a\uff83\uff7d\uff84\u3002 OK";
  EXPECT_EQ(Hex(ToWide(CodePageShiftJis, sjis)), Hex(wide));
  EXPECT_EQ(Hex(ToNarrow(CodePageShiftJis, wide)), Hex(sjis));

  // A lead byte takes any following byte with it, defined pair or not.
  EXPECT_EQ(Hex(ToWide(CodePageShiftJis, "\x81\x20" "A\x81")), Hex(std::u16string(u"\u30fb" "A\u30fb")));
  EXPECT_EQ(Hex(ToWide(CodePageShiftJis, "\x88\x9f\x81")), Hex(std::u16string(u"\u4e9c\u30fb")));
  // Bytes that are no lead stay single even before a lead byte.
  EXPECT_EQ(Hex(ToWide(CodePageShiftJis, "\x80\x82\xa0")), Hex(std::u16string(u"\u0080\u3042")));
  EXPECT_EQ(Hex(ToWide(CodePageShiftJis, "\xfd\x82\xa0")), Hex(std::u16string(u"\uf8f1\u3042")));

  // A lead byte right before the terminator does not swallow it.
  char16_t out[8] = {};
  ASSERT_EQ(CodePageToWide(CodePageShiftJis, "A\x81", -1, out, 8), 3);
  EXPECT_EQ(Hex(std::u16string(out, 3)), Hex(std::u16string(u"A\u30fb", 3)));

  // Characters outside the code page: best fit, else '?', surrogates one by one.
  EXPECT_EQ(ToNarrow(CodePageShiftJis, u"\u00a5\u00e9\u20ac\U0001F600!"), "\\e???" "!");
}

TEST(CodePageLengths, FollowTheWin32Contract) {
  for (unsigned codePage : {CodePageShiftJis, CodePageUtf8}) {
    SCOPED_TRACE(codePage);
    char16_t wide[16];
    char narrow[16];

    // -1: through the terminator, which is converted and counted.
    EXPECT_EQ(CodePageToWide(codePage, "abc", -1, nullptr, 0), 4);
    std::fill(std::begin(wide), std::end(wide), u'x');
    ASSERT_EQ(CodePageToWide(codePage, "abc", -1, wide, 16), 4);
    EXPECT_EQ(std::u16string(wide, 4), std::u16string(u"abc", 4));
    EXPECT_EQ(WideToCodePage(codePage, u"abc", -1, nullptr, 0), 4);
    std::fill(std::begin(narrow), std::end(narrow), 'x');
    ASSERT_EQ(WideToCodePage(codePage, u"abc", -1, narrow, 16), 4);
    EXPECT_EQ(std::string(narrow, 4), std::string("abc", 4));

    // Any negative length means the same.
    EXPECT_EQ(CodePageToWide(codePage, "abc", -2, wide, 16), 4);
    EXPECT_EQ(WideToCodePage(codePage, u"abc", -1000, narrow, 16), 4);

    // An explicit length stops there, terminator or not.
    EXPECT_EQ(CodePageToWide(codePage, "abc", 2, wide, 16), 2);
    EXPECT_EQ(WideToCodePage(codePage, u"abc", 2, narrow, 16), 2);
    EXPECT_EQ(CodePageToWide(codePage, "a\0b", 3, wide, 16), 3);

    // Nothing to convert is a failure.
    EXPECT_EQ(CodePageToWide(codePage, "abc", 0, wide, 16), 0);
    EXPECT_EQ(WideToCodePage(codePage, u"abc", 0, narrow, 16), 0);

    // Exactly enough room succeeds, one unit less fails.
    EXPECT_EQ(CodePageToWide(codePage, "abc", -1, wide, 4), 4);
    EXPECT_EQ(CodePageToWide(codePage, "abc", -1, wide, 3), 0);
    EXPECT_EQ(WideToCodePage(codePage, u"abc", -1, narrow, 4), 4);
    EXPECT_EQ(WideToCodePage(codePage, u"abc", -1, narrow, 3), 0);
  }

  // Counted in units of the output: a two-byte character is not split.
  char narrow[4];
  EXPECT_EQ(WideToCodePage(CodePageShiftJis, u"a\u3042", 2, nullptr, 0), 3);
  EXPECT_EQ(WideToCodePage(CodePageShiftJis, u"a\u3042", 2, narrow, 2), 0);
  EXPECT_EQ(WideToCodePage(CodePageUtf8, u"\u3042", 1, nullptr, 0), 3);
  EXPECT_EQ(WideToCodePage(CodePageUtf8, u"\u3042", 1, narrow, 2), 0);
  char16_t wide[4];
  EXPECT_EQ(CodePageToWide(CodePageUtf8, "\xf0\x9f\x98\x80", 4, nullptr, 0), 2);
  EXPECT_EQ(CodePageToWide(CodePageUtf8, "\xf0\x9f\x98\x80", 4, wide, 2), 2);

#ifndef _WIN32
  // Windows knows more code pages; this reproduction only these two.
  EXPECT_EQ(CodePageToWide(1252, "abc", 3, wide, 4), 0);
  EXPECT_EQ(WideToCodePage(1252, u"abc", 3, narrow, 4), 0);
#endif
}

TEST(CodePageUtf8, WellFormedSequencesRoundTrip) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"A", u"A"},
      {"\x7f", u"\u007f"},
      {"\xc2\x80", u"\u0080"},
      {"\xc3\xa9", u"\u00e9"},
      {"\xdf\xbf", u"\u07ff"},
      {"\xe0\xa0\x80", u"\u0800"},
      {"\xe3\x81\x82", u"\u3042"},
      {"\xed\x9f\xbf", u"\ud7ff"},
      {"\xee\x80\x80", u"\ue000"},
      {"\xef\xbb\xbf", u"\ufeff"},
      {"\xef\xbf\xbf", u"\uffff"},
      {"\xf0\x90\x80\x80", u"\U00010000"},
      {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"\xf4\x8f\xbf\xbf", u"\U0010FFFF"},
      {"a\xc3\xa9\xe3\x81\x82\xf0\x9f\x98\x80z", u"a\u00e9\u3042\U0001F600z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(ToWide(CodePageUtf8, c.utf8)), Hex(c.utf16)) << Hex(c.utf8);
    EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, c.utf16)), Hex(c.utf8)) << Hex(c.utf16);
  }
}

TEST(CodePageUtf8, IllFormedBytesBecomeReplacementCharacters) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"\x80", u"\ufffd"},                                            // stray continuation
      {"a\x80\xbf" "b", u"a\ufffd\ufffd" "b"},                        // one per stray byte
      {"\xc0\x80", u"\ufffd\ufffd"},                                  // overlong NUL
      {"\xc1\xbf", u"\ufffd\ufffd"},                                  // overlong
      {"\xe3\x81", u"\ufffd"},                                        // cut off at the end
      {"\xe3\x81" "A", u"\ufffd" "A"},                                // cut off by ASCII
      {"\xe3\x81\xc3\xa9", u"\ufffd\u00e9"},                          // cut off by a new sequence
      {"\xf0\x9f\x98", u"\ufffd"},                                    // four-byte cut off
      {"\xf5\x80\x80\x80", u"\ufffd\ufffd\ufffd\ufffd"},              // lead above U+10FFFF
      {"\xf8\x88\x80\x80\x80", u"\ufffd\ufffd\ufffd\ufffd\ufffd"},    // five-byte form
      {"\xfc\x84\x80\x80\x80\x80", u"\ufffd\ufffd\ufffd\ufffd\ufffd\ufffd"},
      {"\xfe\xff", u"\ufffd\ufffd"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(ToWide(CodePageUtf8, c.utf8)), Hex(c.utf16)) << Hex(c.utf8);
  }
}

// Leads whose second byte is narrowed (no overlong, surrogate or > U+10FFFF):
// a continuation byte outside that range goes into the first U+FFFD with the
// lead, as the Windows conversion does (checked under Wine).
TEST(CodePageUtf8, OutOfRangeSecondByteJoinsTheLeadInOneReplacement) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"\xe0\x80\xaf", u"\ufffd\ufffd"},           // overlong '/'
      {"\xf0\x80\x80\x80", u"\ufffd\ufffd\ufffd"}, // overlong NUL
      {"\xed\xa0\x80", u"\ufffd\ufffd"},           // encoded surrogate D800
      {"\xed\xbf\xbf", u"\ufffd\ufffd"},           // encoded surrogate DFFF
      {"\xf4\x90\x80\x80", u"\ufffd\ufffd\ufffd"}, // U+110000
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(ToWide(CodePageUtf8, c.utf8)), Hex(c.utf16)) << Hex(c.utf8);
  }
}

TEST(CodePageUtf8, LoneSurrogatesBecomeReplacementCharacters) {
  const std::string replacement = "\xef\xbf\xbd";
  EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, u"\xd800")), Hex(replacement));
  EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, u"\xdc00")), Hex(replacement));
  EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, u"\xdc00\xd800")), Hex(replacement + replacement));
  EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, u"\xdc00\xdc00")), Hex(replacement + replacement));
  EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, u"\xd800\xd800")), Hex(replacement + replacement));
  EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, u"\xd800" "A")), Hex(replacement + "A"));
  EXPECT_EQ(Hex(ToNarrow(CodePageUtf8, u"\xd800\xd83d\xde00")), Hex(replacement + "\xf0\x9f\x98\x80"));
  // A pair cut by the end of the given length is no pair.
  EXPECT_EQ(WideToCodePage(CodePageUtf8, u"\xd83d\xde00", 1, nullptr, 0), 3);
}

}  // namespace
