// What the POSIX file layer adds to stand in for Windows: Windows paths with
// case-insensitive names, drive letters through the Wine prefix, the read-only
// attribute and local file times.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <vector>

#include "payload/file.h"
#include "payload/windows_path_posix.h"
#include "support/test_files.h"

namespace {

TEST(WindowsPathPosix, MatchesAsciiCaseAndGoesThroughTheWinePrefix) {
  TempFolder prefix;
  std::filesystem::create_directories(prefix.File("dosdevices"));
  std::filesystem::create_directories(prefix.File("drive_c/Games/data"));
  std::filesystem::create_directory_symlink("../drive_c", prefix.File("dosdevices/c:"));
  WriteBytes(prefix.File("drive_c/Games/data/a.dat"), "a");
  WriteBytes(prefix.File("drive_c/Games/\xc3\xa4.dat"), "a-umlaut");  // ä.dat
  setenv("WINEPREFIX", prefix.path().c_str(), 1);
  std::string resolved;
  ASSERT_TRUE(ResolveWindowsPath(u"C:\\games\\DATA\\A.DAT", &resolved));
  EXPECT_EQ(resolved, prefix.File("dosdevices/c:/Games/data/a.dat"));
  ASSERT_TRUE(ResolveWindowsPath(u"c:\\GAMES\\New\\B.Dat", &resolved));  // new names keep their spelling
  EXPECT_EQ(resolved, prefix.File("dosdevices/c:/Games/New/B.Dat"));
  CFileDX file;
  EXPECT_EQ(file.OpenRead(u"C:\\Games\\\u00c4.dat"), 0);  // other letters match exactly
  EXPECT_EQ(file.OpenRead(u"C:\\Games\\\u00e4.DAT"), 1);
  unsetenv("WINEPREFIX");
}

TEST(CFileDXPosix, ReadOnlyFilesAndLocalTimes) {
  TempFolder folder;
  WriteBytes(folder.File("a.dat"), "keep");
  chmod(folder.File("a.dat").c_str(), 0444);
  CFileDX file;
  EXPECT_EQ(file.OpenWrite(folder.Wide("a.dat").c_str(), 0), 0);
  EXPECT_EQ(ReadBytes(folder.File("a.dat")), "keep");

  tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 5;
  local.tm_mday = 15;
  local.tm_hour = 13;
  local.tm_min = 45;
  local.tm_sec = 37;
  local.tm_isdst = -1;
  uint64_t ticks = (static_cast<uint64_t>(mktime(&local)) + 11644473600ull) * 10000000ull;
  FileTime write{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
  ASSERT_EQ(file.OpenWrite(folder.Wide("b.dat").c_str(), 1), 1);
  ASSERT_EQ(file.SetTimes(nullptr, nullptr, &write), 1);
  SystemTime st{};
  ASSERT_EQ(file.GetLastWriteLocalTime(&st), 1);
  EXPECT_EQ((std::vector<int>{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond}),
            (std::vector<int>{2026, 6, 15, 13, 45, 36}));  // seconds rounded down to even
}

}  // namespace
