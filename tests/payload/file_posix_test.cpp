// What the POSIX file layer adds to stand in for Windows: Windows paths with
// case-insensitive names, drive letters through the Wine prefix, and the
// read-only attribute.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "payload/file.h"
#include "payload/windows_path_posix.h"
#include "support/test_files.h"

namespace {

TEST(WindowsPathPosix, MatchesExistingNamesWithoutAsciiCase) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("data"));
  WriteBytes(folder.File("data/a.dat"), "lower");
  std::string resolved;
  ASSERT_TRUE(ResolveWindowsPath((folder.Wide() + u"\\Data\\A.DAT").c_str(), &resolved));
  EXPECT_EQ(resolved, folder.File("data/a.dat"));
  // New entries keep the spelling given.
  ASSERT_TRUE(ResolveWindowsPath((folder.Wide() + u"\\DATA\\New\\B.Dat").c_str(), &resolved));
  EXPECT_EQ(resolved, folder.File("data/New/B.Dat"));
  CFileDX file;
  EXPECT_EQ(file.OpenRead((folder.Wide() + u"\\DATA\\a.DAT").c_str()), 1);
}

TEST(WindowsPathPosix, NonAsciiLettersMustMatchExactly) {
  TempFolder folder;
  WriteBytes(folder.File("\xc3\xa4.dat"), "a-umlaut");  // ä.dat
  CFileDX file;
  EXPECT_EQ(file.OpenRead((folder.Wide() + u"\\\u00c4.dat").c_str()), 0);  // Ä.dat
  EXPECT_EQ(file.OpenRead((folder.Wide() + u"\\\u00e4.DAT").c_str()), 1);
}

TEST(WindowsPathPosix, DriveLettersGoThroughTheWinePrefix) {
  TempFolder prefix;
  std::filesystem::create_directories(prefix.File("dosdevices"));
  std::filesystem::create_directories(prefix.File("drive_c/Games/LumenTrail"));
  std::filesystem::create_directory_symlink("../drive_c", prefix.File("dosdevices/c:"));
  WriteBytes(prefix.File("drive_c/Games/LumenTrail/vlk.hvl"), "list");
  setenv("WINEPREFIX", prefix.path().c_str(), 1);
  std::string resolved;
  ASSERT_TRUE(ResolveWindowsPath(u"C:\\games\\LUMENTRAIL\\VLK.HVL", &resolved));
  EXPECT_EQ(resolved, prefix.File("dosdevices/c:/Games/LumenTrail/vlk.hvl"));
  EXPECT_EQ(ReadBytes(resolved), "list");
  unsetenv("WINEPREFIX");
}

TEST(CFileDXPosix, ReadOnlyFileCannotBeOpenedForWriting) {
  TempFolder folder;
  WriteBytes(folder.File("a.dat"), "keep");
  chmod(folder.File("a.dat").c_str(), 0444);
  CFileDX file;
  EXPECT_EQ(file.OpenWrite(folder.Wide("a.dat").c_str(), 0), 0);
  EXPECT_EQ(ReadBytes(folder.File("a.dat")), "keep");
}

TEST(CFileDXPosix, LastWriteLocalTimeRoundsSecondsDownToEven) {
  TempFolder folder;
  WriteBytes(folder.File("a.dat"), "x");
  tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 5;
  local.tm_mday = 15;
  local.tm_hour = 13;
  local.tm_min = 45;
  local.tm_sec = 37;
  local.tm_isdst = -1;
  time_t when = mktime(&local);
  uint64_t ticks = (static_cast<uint64_t>(when) + 11644473600ull) * 10000000ull;
  FileTime write{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};

  CFileDX file;
  ASSERT_EQ(file.OpenWrite(folder.Wide("a.dat").c_str(), 1), 1);
  ASSERT_EQ(file.SetTimes(nullptr, nullptr, &write), 1);
  SystemTime st{};
  ASSERT_EQ(file.GetLastWriteLocalTime(&st), 1);
  EXPECT_EQ(st.wYear, 2026);
  EXPECT_EQ(st.wMonth, 6);
  EXPECT_EQ(st.wDay, 15);
  EXPECT_EQ(st.wHour, 13);
  EXPECT_EQ(st.wMinute, 45);
  EXPECT_EQ(st.wSecond, 36);
}

}  // namespace
