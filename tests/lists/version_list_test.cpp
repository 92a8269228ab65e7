// The game's version list: read, written back in Shift-JIS, and looked up.
#include "lists/version_list.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/test_files.h"

namespace {

const char kSjisName[] = "sub\\\x83\x8b.dat";  // sub\ル.dat
const char kUtf8Name[] = "sub\\\xe3\x83\xab.dat";

TEST(VersionList, ReadsAndSavesBack) {
  TempFolder folder;
  const std::string two = VersionListBytes({{"data\\f0.dat", "a"}, {kSjisName, "b"}, {"", "c"}});
  // A name filling its field is read, but not written back: it leaves no room for the NUL.
  std::string one = VersionListBytes({{"a.dat", "a"}, {std::string(55, 'n'), "b"}}, 1);
  one.replace(8, 4, "\xef\xbe\xad\xde");  // the reserved word is kept
  std::string filled = VersionListBytes({{"a.dat", "a"}, {std::string(55, 'n'), "b"}, {std::string(56, 'f'), "c"}}, 1);
  filled.replace(8, 4, "\xef\xbe\xad\xde");
  std::string empty = VersionListBytes({});
  empty[8] = 7;
  struct Case {
    const char* what;
    std::string bytes, saved;  // no saved bytes: the list does not read
  };
  const Case cases[] = {
      {"format 2, trailing bytes ignored", two + "trailing", two},
      {"UTF-8 names saved in Shift-JIS", VersionListBytes({{"data\\f0.dat", "a"}, {kUtf8Name, "b"}, {"", "c"}}), two},
      {"format 1", one, one},
      {"format 1, a name filling its field", filled, one},
      {"no rows", empty, empty},
      {"one byte short", two.substr(0, two.size() - 1), ""},
      {"unknown magic", std::string(two).replace(0, 8, "VHV_V3__"), ""},
      {"no count", two.substr(0, 8), ""},
      {"a count far past the end", std::string(two).replace(12, 4, "\xff\xff\xff\x00"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(folder.File("vlk.hvl"), c.bytes);
    VersionList list;
    list.entries.resize(9);
    ASSERT_EQ(LoadVersionList(folder.Wide("vlk.hvl").c_str(), &list), !c.saved.empty());
    if (c.saved.empty()) {
      EXPECT_EQ(list.entries.size(), 9u);  // untouched
      continue;
    }
    if (c.saved == two) {  // names are UTF-8 in memory
      EXPECT_EQ(list.entries[1].name, kUtf8Name);
    }
    ASSERT_TRUE(SaveVersionList(list, folder.Wide("out.hvl").c_str()));
    EXPECT_EQ(ReadBytes(folder.File("out.hvl")), c.saved);
  }
  VersionList list;
  EXPECT_FALSE(LoadVersionList(folder.Wide("missing.hvl").c_str(), &list));
}

// A row whose name has no form that fits its field is left out alone; a list
// that cannot be written as it stands is refused without touching the file.
TEST(VersionList, SaveLeavesOutRowsThatDoNotFitAndRefusesBadLists) {
  TempFolder folder;
  VersionList list;
  std::memcpy(list.header.magic, "VHV_V2__", 8);
  list.entries = {{std::string(247, 'a'), {1, 2}},
                  {std::string(248, 'b'), {3, 4}},
                  {std::string(240, 'c') + "\xe3\x83\xab\xe3\x83\xab\xe3\x83\xab\xe3\x83\xab", {5, 6}},  // 248 in Shift-JIS
                  {"d", {7, 8}}};
  list.header.count = 4;
  ASSERT_TRUE(SaveVersionList(list, folder.Wide("vlk.hvl").c_str()));
  std::string expected = VersionListBytes({{std::string(247, 'a'), ""}, {"d", ""}});
  expected.replace(16 + 248, 8, std::string("\1\0\0\0\2\0\0\0", 8)).replace(16 + 256 + 248, 8, std::string("\7\0\0\0\10\0\0\0", 8));
  EXPECT_EQ(ReadBytes(folder.File("vlk.hvl")), expected);

  VersionList shortEntries = list, badMagic = list;
  shortEntries.header.count = 5;
  std::memcpy(badMagic.header.magic, "VHV_V3__", 8);
  for (const VersionList* bad : {&shortEntries, &badMagic}) {
    EXPECT_FALSE(SaveVersionList(*bad, folder.Wide("vlk.hvl").c_str()));
    EXPECT_EQ(ReadBytes(folder.File("vlk.hvl")), expected);
  }
}

TEST(VersionList, FindsTheRowOfAnArchiveEntryByItsLastComponent) {
  VersionList list;
  list.entries = {{"Data\\A.DAT", {1, 1}}, {"b.dat", {2, 2}}, {"sub\\\xc3\x84.dat", {3, 3}}, {"c.dat", {4, 4}}};
  list.header.count = 3;  // the fourth row is beyond the count
  EXPECT_EQ(FindVersionEntryForFile(list, "a.dat"), 0);
  EXPECT_EQ(FindVersionEntryForFile(list, "B.DAT"), 1);
  EXPECT_EQ(FindVersionEntryForFile(list, "\xc3\x84.dat"), 2);
  EXPECT_EQ(FindVersionEntryForFile(list, "\xc3\xa4.dat"), -1);  // non-ASCII case differs
  EXPECT_EQ(FindVersionEntryForFile(list, "c.dat"), -1);
  EXPECT_EQ(FindVersionEntryForFile(list, "data"), -1);
}

}  // namespace
