#include "payload/file.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace {

TEST(CFileDX, OpenReadReportsTheWindowsError) {
  TempFolder folder;
  CFileDX file;
  EXPECT_EQ(file.OpenRead(folder.Wide("missing.dat").c_str()), 0);
  EXPECT_EQ(file.GetLastOpenError(), ErrorFileNotFound);
  EXPECT_FALSE(file.IsOpen());
}

TEST(CFileDX, SecondOpenFailsAndKeepsTheFirstFile) {
  TempFolder folder;
  WriteBytes(folder.File("a.dat"), "first");
  WriteBytes(folder.File("b.dat"), "second");
  CFileDX file;
  ASSERT_EQ(file.OpenRead(folder.Wide("a.dat").c_str()), 1);
  EXPECT_EQ(file.OpenRead(folder.Wide("b.dat").c_str()), 0);
  EXPECT_EQ(file.OpenWrite(folder.Wide("b.dat").c_str(), 0), 0);
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, sizeof buffer), 5u);
  EXPECT_STREQ(buffer, "first");
  EXPECT_EQ(ReadBytes(folder.File("b.dat")), "second");
}

TEST(CFileDX, OpenWriteTruncatesInModeZeroAndKeepsInModeOne) {
  TempFolder folder;
  std::u16string path = folder.Wide("a.dat");
  WriteBytes(folder.File("a.dat"), "old contents");
  {
    CFileDX file;
    ASSERT_EQ(file.OpenWrite(path.c_str(), 1), 1);
    EXPECT_EQ(file.Write("OLD", 3), 3u);
  }
  EXPECT_EQ(ReadBytes(folder.File("a.dat")), "OLD contents");
  {
    CFileDX file;
    ASSERT_EQ(file.OpenWrite(path.c_str(), 0), 1);
    EXPECT_EQ(file.Write("new", 3), 3u);
  }
  EXPECT_EQ(ReadBytes(folder.File("a.dat")), "new");
  CFileDX missingFolder;
  EXPECT_EQ(missingFolder.OpenWrite(folder.Wide("no/such/a.dat").c_str(), 0), 0);
}

TEST(CFileDX, ShortReadAtTheEndAndAbsoluteSeeks) {
  TempFolder folder;
  WriteBytes(folder.File("a.dat"), std::string(50, 'x') + "0123456789");
  CFileDX file;
  ASSERT_EQ(file.OpenRead(folder.Wide("a.dat").c_str()), 1);
  EXPECT_EQ(file.GetSize(), 60u);
  ASSERT_EQ(file.Seek(50, 0), 1);
  char buffer[100];
  EXPECT_EQ(file.Read(buffer, 100), 10u);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_EQ(file.Read(buffer, 100), 0u);
  // A position whose low half is all ones is legitimate, even past the end.
  EXPECT_EQ(file.Seek(0xFFFFFFFFu, 0), 1);
  EXPECT_EQ(file.Seek(0, 0), 1);
  EXPECT_EQ(file.Read(buffer, 1), 1u);
}

TEST(CFileDX, ClosedObjectFailsEverything) {
  CFileDX file;
  char buffer[4];
  EXPECT_EQ(file.Read(buffer, 4), 0u);
  EXPECT_EQ(file.Write(buffer, 4), 0u);
  EXPECT_EQ(file.Seek(0, 0), 0);
  EXPECT_EQ(file.GetSize(), InvalidFileSize);
  file.Close();
  file.Close();
  EXPECT_FALSE(file.IsOpen());
}

TEST(CFileDX, FolderIsNotAFile) {
  TempFolder folder;
  CFileDX file;
  EXPECT_EQ(file.OpenRead(folder.Wide().c_str()), 0);
  EXPECT_EQ(file.GetLastOpenError(), ErrorAccessDenied);
  EXPECT_EQ(file.OpenWrite(folder.Wide().c_str(), 0), 0);
}

TEST(CFileDX, NarrowPathsAreConvertedLikeWideOnes) {
  TempFolder folder;
  // ルーメン.dat in Shift-JIS and in UTF-8 name the same file.
  std::string utf8Name = "\xe3\x83\xab\xe3\x83\xbc\xe3\x83\xa1\xe3\x83\xb3.dat";
  std::string sjisName = "\x83\x8b\x81\x5b\x83\x81\x83\x93.dat";
  WriteBytes(folder.File(utf8Name), "data");
  CFileDX a, b;
  EXPECT_EQ(a.OpenRead((folder.path() + "/" + sjisName).c_str()), 1);
  EXPECT_EQ(b.OpenRead((folder.path() + "/" + utf8Name).c_str()), 1);
}

TEST(SystemTimeFromDosDateTime, HasTwoSecondResolution) {
  // 2026-12-06 13:45:37 as DOS date and time.
  uint16_t date = static_cast<uint16_t>((46 << 9) | (12 << 5) | 6);
  uint16_t time = static_cast<uint16_t>((13 << 11) | (45 << 5) | (37 / 2));
  SystemTime st{};
  st.wMilliseconds = 999;
  SystemTimeFromDosDateTime(&st, date, time);
  EXPECT_EQ(st.wYear, 2026);
  EXPECT_EQ(st.wMonth, 12);
  EXPECT_EQ(st.wDay, 6);
  EXPECT_EQ(st.wHour, 13);
  EXPECT_EQ(st.wMinute, 45);
  EXPECT_EQ(st.wSecond, 36);
  EXPECT_EQ(st.wMilliseconds, 999);  // not written
}

}  // namespace
