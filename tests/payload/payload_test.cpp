#include "payload/payload.h"

#include <gtest/gtest.h>

#include "payload/file.h"
#include "support/test_files.h"

namespace {

struct ReadIndex {
  int result;
  ArchiveHeader header;
  std::vector<ArchiveEntry> entries;
};

ReadIndex ReadIndexOf(const std::string& path) {
  ReadIndex r{};
  CFileDX file;
  EXPECT_EQ(file.OpenRead(ToWide(path).c_str()), 1);
  file.Seek(ArchiveOffset, 0);
  r.result = ReadArchiveIndex(&r.header, &r.entries, &file);
  return r;
}

std::u16string TitleOf(const std::string& path, int* result) {
  char16_t title[TitleCapacity];
  title[0] = u'?';
  title[1] = 0;
  *result = ReadPayloadTitleFromFile(ToWide(path).c_str(), title, TitleCapacity);
  return title;
}

TEST(ReadPayloadTitle, ShiftJisUtf8AndEmptyTitles) {
  TempFolder folder;
  int result;
  MakePayloadFile(folder.File("sjis"), {}, "\x81\x75\x83\x8b\x81\x5b\x83\x81\x83\x93\x81\x76 Updater ver 1.01");
  EXPECT_EQ(TitleOf(folder.File("sjis"), &result), u"「ルーメン」 Updater ver 1.01");
  EXPECT_EQ(result, 1);
  MakePayloadFile(folder.File("utf8"), {}, "\xe3\x83\xab Updater");
  EXPECT_EQ(TitleOf(folder.File("utf8"), &result), u"ル Updater");
  MakePayloadFile(folder.File("empty"), {}, "");
  EXPECT_EQ(TitleOf(folder.File("empty"), &result), u"");
  EXPECT_EQ(result, 1);
}

TEST(ReadPayloadTitle, ShortOrMissingFilesLeaveTheBufferAlone) {
  TempFolder folder;
  int result;
  WriteBytes(folder.File("exact"), std::string(PayloadHeaderOffset, '\0'));
  EXPECT_EQ(TitleOf(folder.File("exact"), &result), u"?");
  EXPECT_EQ(result, 0);
  WriteBytes(folder.File("short"), std::string(PayloadHeaderOffset - 1, '\0'));
  TitleOf(folder.File("short"), &result);
  EXPECT_EQ(result, 0);
  WriteBytes(folder.File("cut"), std::string(PayloadHeaderOffset + 1023, 'A'));
  TitleOf(folder.File("cut"), &result);
  EXPECT_EQ(result, 0);
  TitleOf(folder.File("missing"), &result);
  EXPECT_EQ(result, 0);
}

TEST(ReadPayloadTitle, TitleWithoutTerminatorNeverReadsPastItsField) {
  TempFolder folder;
  // 1024 title bytes followed by more text: the title is cut at its field, and
  // 1024 units do not fit a 1024-unit buffer with the terminator.
  WriteBytes(folder.File("full"), std::string(PayloadHeaderOffset, '\0') + std::string(1024, 'T') + "MORE");
  int result;
  EXPECT_EQ(TitleOf(folder.File("full"), &result), u"?");
  EXPECT_EQ(result, 0);
  char16_t big[TitleCapacity + 1];
  EXPECT_EQ(ReadPayloadTitleFromFile(ToWide(folder.File("full")).c_str(), big, TitleCapacity + 1), 1);
  EXPECT_EQ(std::u16string(big), std::u16string(1024, u'T'));
}

TEST(ReadArchiveIndex, CurrentLayoutPositionsAndNames) {
  TempFolder folder;
  MakePayloadFile(folder.File("p"), {MemoryEntry("VLK.hvl", std::string(1040, 'v')),
                                     MemoryEntry("\x83\x8b.dat", "abc"),  // ル.dat in Shift-JIS
                                     MemoryEntry("b.dat", "")});
  ReadIndex r = ReadIndexOf(folder.File("p"));
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(std::string(r.header.magic, 12), "VELKAN ARC20");
  EXPECT_EQ(r.header.count, 3u);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].name, "VLK.hvl");
  EXPECT_EQ(r.entries[0].position, 16u + 3 * 128);
  EXPECT_EQ(r.entries[1].name, "\xe3\x83\xab.dat");
  EXPECT_EQ(r.entries[1].position, 16u + 3 * 128 + 1040);
  EXPECT_EQ(r.entries[1].size, 3u);
  EXPECT_EQ(r.entries[2].size, 0u);
  // The last entry ends exactly at the end of the file.
  EXPECT_EQ(ArchiveOffset + r.entries[1].position + 3, ReadBytes(folder.File("p")).size());
}

TEST(ReadArchiveIndex, OlderLayoutWithThreeEntries) {
  TempFolder folder;
  MakePayloadFile(folder.File("p"), {MemoryEntry("a", "1"), MemoryEntry("b", "22"), MemoryEntry("c", "333")}, "t",
                  true);
  ReadIndex r = ReadIndexOf(folder.File("p"));
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(std::string(r.header.magic, 12), "PackFile    ");
  EXPECT_EQ(r.entries[0].position, 112u);  // 16 + 96
  EXPECT_EQ(r.entries[1].position, 113u);
  EXPECT_EQ(r.entries[2].position, 115u);
  std::string bytes = ReadBytes(folder.File("p"));
  EXPECT_EQ(bytes.substr(ArchiveOffset + r.entries[2].position), "333");
}

// What the packing tool writes is what the updater reads, in both layouts, up
// to names that fill their field but for the NUL; a longer name is refused.
TEST(EncodeArchiveIndex, ReadsBackAsWritten) {
  TempFolder folder;
  for (ArchiveLayout layout : {ArchiveLayout::Arc20, ArchiveLayout::PackFile}) {
    const size_t longest = FieldsOf(layout).nameSize - 1;
    std::vector<ArchiveIndexRecord> records = {{std::string(longest, 'n'), 0, 5}, {"\x83\x8b.dat", 5, 0}, {"c", 5, 7}};
    std::string index;
    ASSERT_TRUE(EncodeArchiveIndex(layout, records, &index));
    WriteBytes(folder.File("p"), std::string(ArchiveOffset, '\0') + index + std::string(12, 'd'));
    ReadIndex r = ReadIndexOf(folder.File("p"));
    ASSERT_EQ(r.result, 1);
    EXPECT_EQ(LayoutOf(r.header), layout);
    ASSERT_EQ(r.entries.size(), 3u);
    const uint64_t dataStart = 16 + 3 * FieldsOf(layout).entrySize;
    EXPECT_EQ(r.entries[0].name, std::string(longest, 'n'));
    EXPECT_EQ(r.entries[1].name, "\xe3\x83\xab.dat");  // read back as UTF-8
    EXPECT_EQ(r.entries[2].position, dataStart + 5);
    EXPECT_EQ(r.entries[2].size, 7u);

    records[0].storedName += 'n';
    EXPECT_FALSE(EncodeArchiveIndex(layout, records, &index));
  }
}

TEST(ReadArchiveIndex, CountZeroIsAnEmptyArchive) {
  TempFolder folder;
  MakePayloadFile(folder.File("p"), {});
  ReadIndex r = ReadIndexOf(folder.File("p"));
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.header.count, 0u);
  EXPECT_TRUE(r.entries.empty());
}

TEST(ReadArchiveIndex, DamagedArchivesLeaveTheCallersListAlone) {
  TempFolder folder;
  std::string good = ReadBytes(MakePayloadFile(folder.File("p"), {MemoryEntry("a.dat", "x"), MemoryEntry("b", "y")}));
  std::string indexEnd = good.substr(0, ArchiveOffset + 16 + 2 * 128);

  std::vector<std::pair<const char*, std::string>> damaged = {
      {"short header", good.substr(0, ArchiveOffset + 15)},
      {"index one byte short", indexEnd.substr(0, indexEnd.size() - 1)},
      {"bad magic", std::string(good).replace(ArchiveOffset, 12, "VELKAN ARC21")},
      {"huge count", std::string(good).replace(ArchiveOffset + 12, 4, "\xff\xff\xff\x7f")},
  };
  for (auto& [what, bytes] : damaged) {
    WriteBytes(folder.File("d"), bytes);
    CFileDX file;
    ASSERT_EQ(file.OpenRead(folder.Wide("d").c_str()), 1);
    file.Seek(ArchiveOffset, 0);
    ArchiveHeader header{};
    header.count = 77;
    std::vector<ArchiveEntry> entries(1);
    entries[0].name = "kept";
    EXPECT_EQ(ReadArchiveIndex(&header, &entries, &file), 0) << what;
    EXPECT_EQ(header.count, 77u) << what;
    ASSERT_EQ(entries.size(), 1u) << what;
    EXPECT_EQ(entries[0].name, "kept") << what;
  }
}

TEST(ReadArchiveIndex, NameFillingItsFieldIsCutAtTheField) {
  TempFolder folder;
  std::string bytes = ReadBytes(MakePayloadFile(folder.File("p"), {MemoryEntry("a", "x")}));
  bytes.replace(ArchiveOffset + 16, 96, std::string(96, 'N'));
  WriteBytes(folder.File("p"), bytes);
  ReadIndex r = ReadIndexOf(folder.File("p"));
  ASSERT_EQ(r.result, 1);
  EXPECT_EQ(r.entries[0].name, std::string(96, 'N'));
  EXPECT_EQ(r.entries[0].size, 1u);
}

}  // namespace
