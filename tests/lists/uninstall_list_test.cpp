// The game's uninstall list, extended with the names an update installs and
// rewritten: one line each, lower case, UTF-8, "$" lines last, a final NUL.
#include "lists/uninstall_list.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/test_files.h"

namespace {

std::string Nul(const std::string& text) { return text + '\0'; }

// Six well-formed UTF-8 sequences make a text UTF-8, whatever follows.
const std::string kUtf8Start = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3\xe3\x83\xab\xe3\x83\xbc";

TEST(UninstallList, Updates) {
  const std::string longLine = "Data\\" + std::string(794, 'X');  // 799 bytes: kept as it stands
  std::string sjisDollar = "$";  // 300 Shift-JIS characters: 600 bytes, 900 in UTF-8
  for (int i = 0; i < 300; ++i) sjisDollar += "\x83\x41";
  struct Case {
    std::string list;
    std::vector<std::u16string> names;
    std::string after;  // empty: refused, the list stays as it was
  };
  const Case cases[] = {
      {"Data\\A.DAT\r\n$Dir\r\nb.dat\r\n", {u"data\\a.dat", u"c.dat"}, Nul("data\\a.dat\nb.dat\nc.dat\n$dir\n")},
      {Nul("data\\a.dat\nb.dat\nc.dat\n$dir\n"), {u"data\\a.dat", u"C.dat"}, Nul("data\\a.dat\nb.dat\nc.dat\n$dir\n")},
      {"A.DAT\na.dat\nB.dat\r\nb.DAT\n", {u"GAME.pak", u"game.pak"}, Nul("a.dat\nb.dat\ngame.pak\n")},
      {"\r\n\r\n  \t\n\ta.dat\r\r\n   b.dat  \n\n", {}, Nul("a.dat\nb.dat  \n")},
      {"a\rb\rc", {}, Nul("a\nb\nc\n")},
      {std::string("a.dat\nb.dat\0c.dat\n", 18), {}, Nul("a.dat\nb.dat\n")},
      // Shift-JIS lines become UTF-8 ("データ\A.DAT"); UTF-8 ones ("Ä", "©") keep their bytes.
      {"\x83\x66\x81\x5b\x83\x5e\\A.DAT\r\n\xc3\x84.DAT\r\n\xc2\xa9 X\r\n",
       {},
       Nul("\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf\\a.dat\n\xc3\x84.dat\n\xc2\xa9 x\n")},
      {"\xef\xbb\xbf" "A\nB\n", {}, Nul("\xef\xbb\xbf" "a\nb\n")},  // a byte order mark stays
      {"$Dir x\nA\n", {u"$new", u"b"}, Nul("a\n$new\nb\n$dir x\n")},
      {"$one\n$two\n", {u"", u""}, Nul("$one\n$two\n")},
      {"", {u"a.dat"}, ""},
      {std::string(1, '\0'), {u"a.dat"}, Nul("a.dat\n")},
      // Lines too long for the updater's buffers stay byte for byte in their
      // group and place; a name too long for a line is left out.
      {longLine + "\r\n" + sjisDollar + "\r\n" + std::string(779, 'y') + "\r\nSHORT\r\n" + longLine + "\r\n",
       {std::u16string(780, u'z'), u"n"},
       Nul(longLine + "\n" + std::string(779, 'y') + "\nshort\nn\n" + sjisDollar + "\n")},
      // Broken UTF-8 after the part that classifies the text: an over-long CR
      // ends no line, and a line end cuts a sequence short.
      {"a.pak\r\n\xe0\x80\x8d\nb.pak\n" + kUtf8Start + "\xc0\x8d$x\n", {},
       Nul("a.pak\n\xe0\x80\x8d\nb.pak\n" + kUtf8Start + "\xc0\x8d$x\n")},
      {kUtf8Start + "\xe3\r\nnext.pak\r\n", {}, Nul(kUtf8Start + "\xe3\nnext.pak\n")},
      // In Shift-JIS a line end right after a lead byte still ends the line.
      {"\x83\x8b\x81\nnext.pak\r\n", {}, Nul("\xe3\x83\xab\xe3\x83\xbb\nnext.pak\n")},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.list.substr(0, 40)));
    WriteBytes(folder.File("uninst.lst"), c.list);
    EXPECT_EQ(UpdateUninstallList(folder.Wide().c_str(), c.names.data(), c.names.size()), !c.after.empty());
    EXPECT_EQ(ReadBytes(folder.File("uninst.lst")), c.after.empty() ? c.list : c.after);
  }
}

// Each duplicate check is one lookup: a list of many lines is extended in
// about the time it takes to read it, not in the square of its length.
TEST(UninstallList, LongListIsExtendedInLinearTime) {
  TempFolder folder;
  std::string list, expected;
  for (int i = 0; i < 200000; ++i) {
    list += "File" + std::to_string(i) + ".dat\r\n";
    expected += "file" + std::to_string(i) + ".dat\n";
  }
  WriteBytes(folder.File("uninst.lst"), list + list);
  std::u16string names[] = {u"FILE7.DAT", u"new.dat"};
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(UpdateUninstallList(folder.Wide().c_str(), names, 2));
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(ReadBytes(folder.File("uninst.lst")).size(), Nul(expected + "new.dat\n").size());
  EXPECT_LT(took.count(), 10.0);  // the pairwise comparison took minutes
}

}  // namespace
