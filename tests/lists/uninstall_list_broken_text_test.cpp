// Uninstall lists with broken UTF-8 in them, as another program or a user may
// leave them: reading ends, and the rewritten list keeps its lines apart.
#include <gtest/gtest.h>

#include "lists/uninstall_list.h"
#include "support/test_files.h"
#include "text/text.h"

namespace {

const std::string kUtf8Start = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3\xe3\x83\xab\xe3\x83\xbc";

TEST(UninstallListBrokenText, OverLongLineEndDoesNotStopTheReader) {
  // Were the over-long CR taken for a line end, the reader would never get
  // past it; check that first so that a regression fails instead of hanging.
  ASSERT_EQ(FindChar("\xe0\x80\x8d", '\r'), nullptr);
  UninstallLines plain, dollar;
  ParseUninstallList(("a.pak\r\n\xe0\x80\x8d\nb.pak\n" + kUtf8Start + "\xc0\x8d$x\n").c_str(), &plain, &dollar);
  EXPECT_EQ(plain, (UninstallLines{"a.pak", "\xe0\x80\x8d", "b.pak", kUtf8Start + "\xc0\x8d$x"}));
  EXPECT_TRUE(dollar.empty());
}

TEST(UninstallListBrokenText, LineEndingInACutSequenceStaysItsOwnLine) {
  TempFolder folder;
  // The first line ends in a lead byte whose sequence the line end cuts short.
  const std::string list = kUtf8Start + "\xe3\r\nnext.pak\r\n";
  WriteBytes(folder.File("uninst.lst"), list);
  std::u16string none;
  ASSERT_TRUE(UpdateUninstallList(folder.Wide().c_str(), &none, 0));
  const std::string once = ReadBytes(folder.File("uninst.lst"));
  EXPECT_EQ(once, kUtf8Start + "\xe3\nnext.pak\n" + '\0');
  // Read again, the list is the same two lines.
  ASSERT_TRUE(UpdateUninstallList(folder.Wide().c_str(), &none, 0));
  EXPECT_EQ(ReadBytes(folder.File("uninst.lst")), once);
}

// In Shift-JIS text a line end right after a lead byte still ends the line:
// no line ever holds a CR or LF, which would split it when read again.
TEST(UninstallListBrokenText, LineEndAfterAShiftJisLeadByteEndsTheLine) {
  for (const char* lead : {"\x81", "\xfc", "\xff"}) {
    SCOPED_TRACE(testing::PrintToString(lead));
    UninstallLines plain, dollar;
    ParseUninstallList((std::string("\x83\x8b") + lead + "\nnext.pak\r\n").c_str(), &plain, &dollar);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain.back(), "next.pak");
    for (const std::string& line : plain) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
  }
}

}  // namespace
