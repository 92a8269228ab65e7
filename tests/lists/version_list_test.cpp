#include "lists/version_list.h"

#include <gtest/gtest.h>

#include <cstring>

#include "payload/file.h"
#include "support/test_files.h"

namespace {

const char kSjisName[] = "sub\\\x83\x8b.dat";        // sub\ル.dat
const char kUtf8Name[] = "sub\\\xe3\x83\xab.dat";

std::string Header(const char* magic, uint32_t reserved, uint32_t count) {
  std::string h(magic, 8);
  for (uint32_t v : {reserved, count})
    for (int i = 0; i < 4; ++i) h += static_cast<char>(v >> (8 * i));
  return h;
}

std::string Record(size_t size, const std::string& name, uint32_t w0, uint32_t w1) {
  std::string r(size, '\0');
  r.replace(0, name.size(), name);
  for (int i = 0; i < 4; ++i) {
    r[size - 8 + i] = static_cast<char>(w0 >> (8 * i));
    r[size - 4 + i] = static_cast<char>(w1 >> (8 * i));
  }
  return r;
}

VersionList Loaded(const std::string& path, bool* ok) {
  VersionList list;
  *ok = LoadVersionList(ToWide(path).c_str(), &list);
  return list;
}

TEST(VersionList, ReadsAFormatTwoFileExactly) {
  TempFolder folder;
  std::string bytes = Header("VHV_V2__", 0, 4);
  for (int i = 0; i < 4; ++i) bytes += Record(256, "data\\f" + std::to_string(i) + ".dat", 0x1000u + i, 0x2000u + i);
  ASSERT_EQ(bytes.size(), 1040u);
  WriteBytes(folder.File("vlk.hvl"), bytes + "trailing bytes are ignored");
  bool ok;
  VersionList list = Loaded(folder.File("vlk.hvl"), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(list.header.count, 4u);
  ASSERT_EQ(list.entries.size(), 4u);
  EXPECT_EQ(list.entries[3].name, "data\\f3.dat");
  EXPECT_EQ(list.entries[3].checksum[0], 0x1003u);
  EXPECT_EQ(list.entries[3].checksum[1], 0x2003u);

  WriteBytes(folder.File("short.hvl"), bytes.substr(0, 1039));
  list.header.reserved = 99;
  EXPECT_FALSE(LoadVersionList(folder.Wide("short.hvl").c_str(), &list));
  EXPECT_EQ(list.header.reserved, 99u);
  EXPECT_EQ(list.entries.size(), 4u);
}

TEST(VersionList, RejectsBadHeadersAndMissingFiles) {
  TempFolder folder;
  VersionList list;
  list.entries.resize(2);
  WriteBytes(folder.File("magic.hvl"), Header("VHV_V3__", 0, 0));
  EXPECT_FALSE(LoadVersionList(folder.Wide("magic.hvl").c_str(), &list));
  WriteBytes(folder.File("tiny.hvl"), "VHV_V2__");
  EXPECT_FALSE(LoadVersionList(folder.Wide("tiny.hvl").c_str(), &list));
  WriteBytes(folder.File("count.hvl"), Header("VHV_V2__", 0, 0x00FFFFFF));
  EXPECT_FALSE(LoadVersionList(folder.Wide("count.hvl").c_str(), &list));
  EXPECT_FALSE(LoadVersionList(folder.Wide("none.hvl").c_str(), &list));
  EXPECT_EQ(list.entries.size(), 2u);
}

TEST(VersionList, CountZeroReadsAndSavesAsAHeaderOnly) {
  TempFolder folder;
  WriteBytes(folder.File("vlk.hvl"), Header("VHV_V2__", 7, 0));
  bool ok;
  VersionList list = Loaded(folder.File("vlk.hvl"), &ok);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(list.entries.empty());
  ASSERT_TRUE(SaveVersionList(list, folder.Wide("out.hvl").c_str()));
  EXPECT_EQ(ReadBytes(folder.File("out.hvl")), Header("VHV_V2__", 7, 0));
}

TEST(VersionList, FormatOneRoundTripKeepsFormatAndReservedWord) {
  TempFolder folder;
  std::string bytes = Header("VHV_____", 0xDEADBEEF, 2) + Record(64, "a.dat", 1, 2) + Record(64, "", 3, 4);
  WriteBytes(folder.File("vlk.hvl"), bytes);
  bool ok;
  VersionList list = Loaded(folder.File("vlk.hvl"), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(list.entries[1].name, "");  // a name field that starts with NUL
  ASSERT_TRUE(SaveVersionList(list, folder.Wide("vlk.hvl").c_str()));
  EXPECT_EQ(ReadBytes(folder.File("vlk.hvl")), bytes);
}

TEST(VersionList, NamesAreUtf8InMemoryAndShiftJisOnDisk) {
  TempFolder folder;
  std::string sjisFile = Header("VHV_V2__", 0, 2) + Record(256, kSjisName, 1, 2) + Record(256, "ASCII.DAT", 3, 4);
  WriteBytes(folder.File("sjis.hvl"), sjisFile);
  bool ok;
  VersionList list = Loaded(folder.File("sjis.hvl"), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(list.entries[0].name, kUtf8Name);
  EXPECT_EQ(list.entries[1].name, "ASCII.DAT");
  ASSERT_TRUE(SaveVersionList(list, folder.Wide("out.hvl").c_str()));
  EXPECT_EQ(ReadBytes(folder.File("out.hvl")), sjisFile);

  // A list that stores UTF-8 names is saved back in Shift-JIS.
  WriteBytes(folder.File("utf8.hvl"), Header("VHV_V2__", 0, 2) + Record(256, kUtf8Name, 1, 2) +
                                          Record(256, "ASCII.DAT", 3, 4));
  list = Loaded(folder.File("utf8.hvl"), &ok);
  ASSERT_TRUE(SaveVersionList(list, folder.Wide("utf8.hvl").c_str()));
  EXPECT_EQ(ReadBytes(folder.File("utf8.hvl")), sjisFile);
}

TEST(VersionList, NameFillingItsFieldIsCutThere) {
  TempFolder folder;
  std::string record = Record(64, "", 5, 6);
  record.replace(0, 56, std::string(56, 'n'));
  WriteBytes(folder.File("vlk.hvl"), Header("VHV_____", 0, 1) + record);
  bool ok;
  VersionList list = Loaded(folder.File("vlk.hvl"), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(list.entries[0].name, std::string(56, 'n'));
  EXPECT_EQ(list.entries[0].checksum[0], 5u);
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
  bool ok;
  VersionList saved = Loaded(folder.File("vlk.hvl"), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ReadBytes(folder.File("vlk.hvl")).size(), 16u + 2 * 256);
  ASSERT_EQ(saved.entries.size(), 2u);
  EXPECT_EQ(saved.entries[0].name, std::string(247, 'a'));
  EXPECT_EQ(saved.entries[1].name, "d");
  EXPECT_EQ(saved.entries[1].checksum[1], 8u);

  WriteBytes(folder.File("vlk.hvl"), "previous");
  VersionList shortEntries = list;
  shortEntries.header.count = 5;
  VersionList badMagic = list;
  std::memcpy(badMagic.header.magic, "VHV_V3__", 8);
  for (const VersionList* bad : {&shortEntries, &badMagic}) {
    EXPECT_FALSE(SaveVersionList(*bad, folder.Wide("vlk.hvl").c_str()));
    EXPECT_EQ(ReadBytes(folder.File("vlk.hvl")), "previous");
  }
}

TEST(VersionList, FindsTheRowOfAnArchiveEntryByItsLastComponent) {
  VersionList list;
  std::memcpy(list.header.magic, "VHV_V2__", 8);
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
