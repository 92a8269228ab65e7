// Files of someone else's hard-linked into the game folder: the install
// neither changes their attributes nor reads them as lists (symbolic links
// planted in the game are the POSIX tests' and the Wine security tests').
#include <windows.h>

#include "install/install_fixture.h"
#include "payload/filesystem.h"

namespace {

// Someone's file hard-linked at a staging or final name keeps its read-only
// and hidden attributes: they are the file's, not the name's, so the install
// resets them only on a file with one name.
TEST_F(InstallTest, HardLinkedFilesKeepTheirAttributes) {
  const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  for (const char* name : {"Game.pak.tmp", "data\\Map.pak"}) {
    ResetGame();
    std::u16string outside = ToWide(work.File("outside.pak")), link = ToWide(Game(name));
    auto* wideOutside = reinterpret_cast<const wchar_t*>(outside.c_str());
    WriteBytes(work.File("outside.pak"), "outside");
    RemoveFile(link.c_str());
    ASSERT_TRUE(CreateHardLinkW(reinterpret_cast<const wchar_t*>(link.c_str()), wideOutside, nullptr)) << name;
    ASSERT_TRUE(SetFileAttributesW(wideOutside, kept));

    InstallStandardUpdate();
    EXPECT_EQ(GetFileAttributesW(wideOutside) & kept, kept) << name;
    SetFileAttributesW(wideOutside, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(work.File("outside.pak")), "outside") << name;
    RemoveFile(outside.c_str());
  }
}

// A list with another name may be anyone's file: it is neither read into the
// game's list nor replaced, and the uninstall list's step fails.
TEST_F(InstallTest, ListsWithAnotherNameAreNeitherReadNorReplaced) {
  for (const char* list : {"vlk.hvl", "uninst.lst"}) {
    ResetGame();
    const std::string content = ReadBytes(Game(list));
    WriteBytes(work.File("outside.lst"), content);
    std::u16string outside = ToWide(work.File("outside.lst")), link = ToWide(Game(list));
    RemoveFile(link.c_str());
    ASSERT_TRUE(CreateHardLinkW(reinterpret_cast<const wchar_t*>(link.c_str()),
                                reinterpret_cast<const wchar_t*>(outside.c_str()), nullptr));
    EXPECT_EQ(InstallStandardUpdate(), std::string(list) == "uninst.lst" ? InstallUninstallListFailed : InstallSucceeded);
    EXPECT_EQ(ReadBytes(Game(list)), content) << list;
    RemoveFile(link.c_str());
    RemoveFile(outside.c_str());
  }
}

}  // namespace
