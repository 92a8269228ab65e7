// Broken UTF-8 after the part that classification examines (six good sequences
// make a text UTF-8): text from the game folder may hold anything there.
#include <gtest/gtest.h>

#include "text/text.h"

namespace {

// Six well-formed sequences, so that what follows is read as UTF-8.
const std::string kUtf8Start = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3\xe3\x83\xab\xe3\x83\xbc";

TEST(BrokenUtf8, FormsOfAsciiCodesAreNotThoseCharacters) {
  // Over-long CR and LF, a stray continuation byte whose low bits are CR, and
  // 0xFF leading eight bytes whose bits come to 0.
  for (const std::string& broken : {std::string("\xe0\x80\x8d"), std::string("\xc0\x8a"), std::string("\x8d"),
                                    std::string("\xf0\x80\x80\x8a"), std::string("\xff\x80\x80\x80\x80\x80\x80\x80")}) {
    std::string text = kUtf8Start + broken + "x";
    SCOPED_TRACE(testing::PrintToString(broken));
    ASSERT_EQ(DetectTextEncoding(text.c_str()), EncodingUtf8);
    EXPECT_EQ(FindChar(text.c_str(), '\r'), nullptr);
    EXPECT_EQ(FindChar(text.c_str(), '\n'), nullptr);
    EXPECT_EQ(FindChar(text.c_str(), 0), text.c_str() + text.size());
    EXPECT_EQ(FindChar(text.c_str(), 'x'), text.c_str() + text.size() - 1);
  }
  // The same on their own: a text that is nothing but an over-long CR still
  // classifies as UTF-8.
  EXPECT_EQ(FindChar("\xe0\x80\x8d", '\r'), nullptr);
}

TEST(BrokenUtf8, SequenceCutShortEndsBeforeTheNextCharacter) {
  // A lead byte announcing three bytes, followed by a line end.
  std::string text = kUtf8Start + "\xe3\n" + "\xe3\x83" + "\r";
  const char* p = text.c_str();
  EXPECT_EQ(FindChar(p, '\n'), p + kUtf8Start.size() + 1);
  EXPECT_EQ(FindChar(p, '\r'), p + text.size() - 1);
  DecodedChar cut = DecodeChar(p + kUtf8Start.size(), EncodingUtf8);
  EXPECT_EQ(cut.length, 1u);
  EXPECT_NE(cut.code, uint32_t{'\n'});
  // Well-formed characters and encoded surrogate pairs read as before.
  EXPECT_EQ(DecodeChar("\xe3\x83\xab", EncodingUtf8).code, 0x30EBu);
  EXPECT_EQ(DecodeChar("\xed\xa0\xbd\xed\xb8\x80", EncodingUtf8).length, 6u);
}

}  // namespace
