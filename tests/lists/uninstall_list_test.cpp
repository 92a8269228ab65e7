#include "lists/uninstall_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/test_files.h"

namespace {

std::string Nul(const std::string& text) { return text + '\0'; }

class UninstallListTest : public ::testing::Test {
 protected:
  // Writes `list` as "uninst.lst", updates it with `names` and returns the
  // result and the file's bytes afterwards.
  bool Update(const std::string& list, std::vector<std::u16string> names, std::string* after) {
    WriteBytes(folder.File("uninst.lst"), list);
    bool result = UpdateUninstallList(folder.Wide().c_str(), names.data(), names.size());
    *after = ReadBytes(folder.File("uninst.lst"));
    return result;
  }
  std::string Lines(const std::string& list) {
    std::string after;
    EXPECT_TRUE(Update(list, {}, &after));
    return after;
  }
  TempFolder folder;
};

TEST_F(UninstallListTest, NormalisesAndExtends) {
  std::string after;
  ASSERT_TRUE(Update("Data\\A.DAT\r\n$Dir\r\nb.dat\r\n", {u"data\\a.dat", u"c.dat"}, &after));
  EXPECT_EQ(after, Nul("data\\a.dat\nb.dat\nc.dat\n$dir\n"));
  // Updating what it wrote with the same names changes nothing.
  std::string again;
  ASSERT_TRUE(Update(after, {u"data\\a.dat", u"c.dat"}, &again));
  EXPECT_EQ(again, after);
}

TEST_F(UninstallListTest, CaseDuplicatesCollapseToTheFirst) {
  EXPECT_EQ(Lines("A.DAT\na.dat\nB.dat\r\nb.DAT\n"), Nul("a.dat\nb.dat\n"));
  std::string after;
  ASSERT_TRUE(Update("Game.PAK\n", {u"GAME.pak", u"game.pak"}, &after));
  EXPECT_EQ(after, Nul("game.pak\n"));
}

TEST_F(UninstallListTest, BlanksAndLineEnds) {
  EXPECT_EQ(Lines("\r\n\r\n  \t\n\ta.dat\r\r\n   b.dat  \n\n"), Nul("a.dat\nb.dat  \n"));
  std::string expected = Nul("a\nb\nc\n");
  EXPECT_EQ(Lines("a\rb\rc"), expected);
  EXPECT_EQ(Lines("a\nb\nc\n"), expected);
  EXPECT_EQ(Lines("a\r\nb\r\nc\r\n"), expected);
}

TEST_F(UninstallListTest, TextEndsAtTheFirstNul) {
  EXPECT_EQ(Lines(std::string("a.dat\nb.dat\0c.dat\n", 18)), Nul("a.dat\nb.dat\n"));
}

TEST_F(UninstallListTest, ShiftJisLinesBecomeUtf8AndUtf8KeepsItsBytes) {
  // "データ\A.DAT" in Shift-JIS, and "Ä.DAT" in UTF-8.
  std::string list = "\x83\x66\x81\x5b\x83\x5e\\A.DAT\r\n\xc3\x84.DAT\r\n";
  EXPECT_EQ(Lines(list), Nul("\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf\\a.dat\n\xc3\x84.dat\n"));
  // A byte order mark stays at the start of the first line.
  EXPECT_EQ(Lines("\xef\xbb\xbf" "A\nB\n"), Nul("\xef\xbb\xbf" "a\nb\n"));
}

TEST_F(UninstallListTest, DollarLinesGoLastButDollarNamesDoNot) {
  std::string after;
  ASSERT_TRUE(Update("$Dir x\nA\n", {u"$new", u"b"}, &after));
  EXPECT_EQ(after, Nul("a\n$new\nb\n$dir x\n"));
  ASSERT_TRUE(Update("$one\n$two\n", {u"", u""}, &after));
  EXPECT_EQ(after, Nul("$one\n$two\n"));
}

TEST_F(UninstallListTest, MissingOrEmptyListFailsWithoutCreatingOne) {
  std::vector<std::u16string> names = {u"a.dat"};
  EXPECT_FALSE(UpdateUninstallList(folder.Wide().c_str(), names.data(), names.size()));
  EXPECT_FALSE(FileExists(folder.File("uninst.lst")));
  std::string after;
  EXPECT_FALSE(Update("", names, &after));
  EXPECT_EQ(after, "");
  // A single NUL is a valid empty list.
  EXPECT_TRUE(Update(std::string(1, '\0'), names, &after));
  EXPECT_EQ(after, Nul("a.dat\n"));
}

// The uninstaller relies on every line: one too long for the updater's line
// buffers stays byte for byte in its group and place; a name too long to add
// is skipped whole.
TEST_F(UninstallListTest, OverlongLinesStayAndOverlongNamesAreSkipped) {
  std::string longLine = "Data\\" + std::string(794, 'X');  // 799 bytes, upper case kept
  std::string fits(779, 'y');
  // 300 Shift-JIS characters take 600 bytes, and 900 in UTF-8.
  std::string sjis = "$";
  for (int i = 0; i < 300; ++i) sjis += "\x83\x41";
  std::string after;
  ASSERT_TRUE(Update(longLine + "\r\n" + sjis + "\r\n" + fits + "\r\nSHORT\r\n" + longLine + "\r\n",
                     {std::u16string(780, u'z'), u"n"}, &after));
  EXPECT_EQ(after, Nul(longLine + "\n" + fits + "\nshort\nn\n" + sjis + "\n"));
}

TEST_F(UninstallListTest, ReadOnlyListIsNotRewritten) {
  WriteBytes(folder.File("uninst.lst"), "a\n");
  std::filesystem::permissions(folder.File("uninst.lst"), std::filesystem::perms::owner_read);
  std::vector<std::u16string> names = {u"b"};
  EXPECT_FALSE(UpdateUninstallList(folder.Wide().c_str(), names.data(), names.size()));
  EXPECT_EQ(ReadBytes(folder.File("uninst.lst")), "a\n");
}

// Each duplicate check is one lookup: a list of many lines is extended in
// about the time it takes to read it, not in the square of its length.
TEST_F(UninstallListTest, LongListIsExtendedInLinearTime) {
  std::string list, expected;
  for (int i = 0; i < 200000; ++i) {
    list += "File" + std::to_string(i) + ".dat\r\n";
    expected += "file" + std::to_string(i) + ".dat\n";
  }
  auto start = std::chrono::steady_clock::now();
  std::string after;
  ASSERT_TRUE(Update(list + list, {u"FILE7.DAT", u"new.dat"}, &after));
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(after, Nul(expected + "new.dat\n"));
  EXPECT_LT(took.count(), 10.0);  // the pairwise comparison took minutes
}

TEST(ParseUninstallList, SplitsIntoTwoGroupsInOrderOfFirstAppearance) {
  UninstallLines plain, dollar;
  ParseUninstallList("b\n$Z\na\n$y\nB\n", &plain, &dollar);
  EXPECT_EQ(plain, (UninstallLines{"b", "a"}));
  EXPECT_EQ(dollar, (UninstallLines{"$z", "$y"}));
}

}  // namespace
