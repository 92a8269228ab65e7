// The packed updater's own payload: the title header and the archive index,
// read from what the packing tool writes and from damaged copies of it.
#include "payload/payload.h"

#include <gtest/gtest.h>

#include "payload/file.h"
#include "support/test_files.h"

namespace {

TEST(ReadPayloadTitle, ReadsTheTitleOrLeavesTheBufferAlone) {
  TempFolder folder;
  auto header = [](const std::string& title) { return std::string(PayloadHeaderOffset, '\0') + title; };
  struct Case {
    std::string bytes;
    std::u16string title;  // "?": refused, the buffer untouched
    size_t capacity = TitleCapacity;
  };
  const Case cases[] = {
      {ReadBytes(MakePayloadFile(folder.File("p"), {}, "\x81\x75\x83\x8b\x81\x5b\x83\x81\x83\x93\x81\x76 Updater ver 1.01")),
       u"「ルーメン」 Updater ver 1.01"},
      {header("\xe3\x83\xab Updater" + std::string(1024, '\0')), u"ル Updater"},
      {header(std::string(1024, '\0')), u""},
      {header(""), u"?"},
      {header(std::string(1023, 'A')), u"?"},
      // 1024 title bytes and more text: cut at the field, and too long for 1024 units.
      {header(std::string(1024, 'T') + "MORE"), u"?"},
      {header(std::string(1024, 'T') + "MORE"), std::u16string(1024, u'T'), TitleCapacity + 1},
  };
  for (const Case& c : cases) {
    WriteBytes(folder.File("p"), c.bytes);
    char16_t title[TitleCapacity + 1] = u"?";
    EXPECT_EQ(ReadPayloadTitleFromFile(folder.Wide("p").c_str(), title, c.capacity), c.title == u"?" ? 0 : 1);
    EXPECT_EQ(std::u16string(title), c.title) << c.bytes.size();
  }
  char16_t title[4] = u"?";
  EXPECT_EQ(ReadPayloadTitleFromFile(folder.Wide("missing").c_str(), title, 4), 0);
}

// What the packing tool writes is what the updater reads, in both layouts, up
// to names that fill their field but for the NUL; a longer name is refused.
TEST(ReadArchiveIndex, ReadsWhatThePackingToolWrites) {
  TempFolder folder;
  for (ArchiveLayout layout : {ArchiveLayout::Arc20, ArchiveLayout::PackFile}) {
    const size_t longest = FieldsOf(layout).nameSize - 1;
    std::vector<ArchiveIndexRecord> records = {{std::string(longest, 'n'), 0, 5}, {"\x83\x8b.dat", 5, 0}, {"c", 5, 7}};
    std::string index;
    ASSERT_TRUE(EncodeArchiveIndex(layout, records, &index));
    WriteBytes(folder.File("p"), std::string(ArchiveOffset, '\0') + index + std::string(12, 'd'));
    CFileDX file;
    ASSERT_EQ(file.OpenRead(folder.Wide("p").c_str()), 1);
    file.Seek(ArchiveOffset, 0);
    ArchiveHeader header;
    std::vector<ArchiveEntry> entries;
    ASSERT_EQ(ReadArchiveIndex(&header, &entries, &file), 1);
    EXPECT_EQ(LayoutOf(header), layout);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, std::string(longest, 'n'));
    EXPECT_EQ(entries[1].name, "\xe3\x83\xab.dat");  // read as UTF-8
    EXPECT_EQ(entries[2].position, 16 + 3 * FieldsOf(layout).entrySize + 5);
    EXPECT_EQ(entries[2].size, 7u);
    records[0].storedName += 'n';
    EXPECT_FALSE(EncodeArchiveIndex(layout, records, &index));
  }
}

TEST(ReadArchiveIndex, DamagedIndexLeavesTheCallersListAlone) {
  TempFolder folder;
  const std::string good = ReadBytes(MakePayloadFile(folder.File("p"), {MemoryEntry("a.dat", "x"), MemoryEntry("b", "y")}));
  const std::string index = good.substr(0, ArchiveOffset + 16 + 2 * 128);
  struct Case {
    const char* what;
    std::string bytes;
    std::string lastName;  // empty: refused
  };
  const Case cases[] = {
      {"good", good, "b"},
      {"empty", ReadBytes(MakePayloadFile(folder.File("p"), {})), "(none)"},
      // The field after it holds the entry's position, 1.
      {"a name filling its field", std::string(good).replace(ArchiveOffset + 16 + 128, 96, std::string(96, 'N')),
       std::string(96, 'N')},
      {"short header", good.substr(0, ArchiveOffset + 15), ""},
      {"index one byte short", index.substr(0, index.size() - 1), ""},
      {"bad magic", std::string(good).replace(ArchiveOffset, 12, "VELKAN ARC21"), ""},
      {"huge count", std::string(good).replace(ArchiveOffset + 12, 4, "\xff\xff\xff\x7f"), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(folder.File("d"), c.bytes);
    CFileDX file;
    ASSERT_EQ(file.OpenRead(folder.Wide("d").c_str()), 1);
    file.Seek(ArchiveOffset, 0);
    ArchiveHeader header{};
    std::vector<ArchiveEntry> entries = {{"(none)", 0, 0}};
    EXPECT_EQ(ReadArchiveIndex(&header, &entries, &file), c.lastName.empty() ? 0 : 1);
    EXPECT_EQ(entries.empty() ? "(none)" : entries.back().name, c.lastName.empty() ? "(none)" : c.lastName);
  }
}

}  // namespace
