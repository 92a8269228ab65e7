// While a folder is held, a subfolder of it that is a symbolic link is not
// followed by any operation, whatever it points to.
#include <gtest/gtest.h>

#include <filesystem>

#include "payload/file.h"
#include "payload/filesystem.h"
#include "payload/held_folder.h"
#include "support/test_files.h"

namespace {

TEST(HeldFolder, SubfolderThatIsALinkIsNotFollowed) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("game"));
  std::filesystem::create_directories(folder.File("elsewhere"));
  WriteBytes(folder.File("elsewhere/file.dat"), "outside");
  std::filesystem::create_directory_symlink(folder.File("elsewhere"), folder.File("game/data"));
  auto game = [&](const char* relative) { return folder.Wide(std::string("game/") + relative); };

  // Not held, the link is followed as before.
  EXPECT_NE(GetPathAttributes(game("data/file.dat").c_str()), InvalidFileAttributes);

  ASSERT_TRUE(HoldFolder(folder.Wide("game").c_str()));
  CFileDX file;
  EXPECT_EQ(GetPathAttributes(game("data/file.dat").c_str()), InvalidFileAttributes);
  EXPECT_EQ(file.OpenRead(game("data/file.dat").c_str()), 0);
  EXPECT_EQ(file.GetLastOpenError(), ErrorAccessDenied);
  EXPECT_EQ(file.OpenWrite(game("data/new.dat").c_str(), OpenWriteCreateNew), 0);
  EXPECT_FALSE(ResetPathAttributes(game("data/file.dat").c_str()));
  EXPECT_FALSE(LinkOrCopyFile(game("data/file.dat").c_str(), game("copy.dat").c_str()));
  EXPECT_FALSE(MoveFileReplacing(game("data/file.dat").c_str(), game("moved.dat").c_str()));
  EXPECT_FALSE(RemoveFile(game("data/file.dat").c_str()));
  EXPECT_FALSE(ReplaceFileContents(game("data/file.dat").c_str(), "new", 3));
  // The link itself is an entry of the game folder, and may go.
  EXPECT_NE(GetPathAttributes(game("data").c_str()) & FileAttributeReparsePoint, 0u);
  EXPECT_TRUE(RemoveFile(game("data").c_str()));
  ReleaseHeldFolder();

  EXPECT_EQ(ReadBytes(folder.File("elsewhere/file.dat")), "outside");
  EXPECT_FALSE(FileExists(folder.File("elsewhere/new.dat")));
  EXPECT_FALSE(FileExists(folder.File("game/copy.dat")));
  EXPECT_FALSE(FileExists(folder.File("game/moved.dat")));
}

}  // namespace
