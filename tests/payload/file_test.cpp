// CFileDX, the file object every read and write of the updater goes through.
#include "payload/file.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_files.h"

namespace {

TEST(CFileDX, OpensReadsWritesAndSeeksAsWindowsDoes) {
  TempFolder folder;
  CFileDX file;
  EXPECT_EQ(file.OpenRead(folder.Wide("missing.dat").c_str()), 0);
  EXPECT_EQ(file.GetLastOpenError(), ErrorFileNotFound);
  EXPECT_EQ(file.OpenRead(folder.Wide().c_str()), 0);  // a folder is no file
  EXPECT_EQ(file.GetLastOpenError(), ErrorAccessDenied);
  EXPECT_EQ(file.OpenWrite(folder.Wide().c_str(), 0), 0);
  EXPECT_EQ(file.OpenWrite(folder.Wide("no/such/a.dat").c_str(), 0), 0);
  char buffer[100];
  EXPECT_EQ(file.Read(buffer, 4), 0u);  // nothing open: everything fails
  EXPECT_EQ(file.Write(buffer, 4), 0u);
  EXPECT_EQ(file.GetSize(), InvalidFileSize);

  WriteBytes(folder.File("a.dat"), "old contents");
  ASSERT_EQ(file.OpenWrite(folder.Wide("a.dat").c_str(), 1), 1);  // mode 1 keeps the contents
  EXPECT_EQ(file.OpenRead(folder.Wide("a.dat").c_str()), 0);      // one file at a time
  EXPECT_EQ(file.Write("OLD", 3), 3u);
  file.Close();
  EXPECT_EQ(ReadBytes(folder.File("a.dat")), "OLD contents");
  ASSERT_EQ(file.OpenWrite(folder.Wide("a.dat").c_str(), 0), 1);  // mode 0 truncates
  EXPECT_EQ(file.Write("new, then 0123456789", 20), 20u);
  file.Close();

  ASSERT_EQ(file.OpenRead(folder.Wide("a.dat").c_str()), 1);
  EXPECT_EQ(file.GetSize(), 20u);
  ASSERT_EQ(file.Seek(10, 0), 1);
  EXPECT_EQ(file.Read(buffer, 100), 10u);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_EQ(file.Read(buffer, 100), 0u);
  EXPECT_EQ(file.Seek(0xFFFFFFFFu, 0), 1);  // a low half of all ones is a position too
}

TEST(SystemTimeFromDosDateTime, HasTwoSecondResolution) {
  SystemTime st{};
  st.wMilliseconds = 999;  // not written
  SystemTimeFromDosDateTime(&st, (46 << 9) | (12 << 5) | 6, (13 << 11) | (45 << 5) | (37 / 2));
  EXPECT_EQ((std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds}),
            (std::vector<int>{2026, 12, 6, 13, 45, 36, 999}));
}

}  // namespace
