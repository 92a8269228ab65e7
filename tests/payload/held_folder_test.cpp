// A held folder changes nothing for operations inside it, and refuses every
// path outside it, whether it climbs out with ".." or lies elsewhere.
#include "payload/held_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "payload/file.h"
#include "payload/filesystem.h"
#include "support/test_files.h"

namespace {

TEST(HeldFolder, InsideWorksAsUsualOutsideIsRefusedUntilReleased) {
  TempFolder folder;
  std::filesystem::create_directories(folder.File("game/data"));
  WriteBytes(folder.File("game/data/old.dat"), "old");
  WriteBytes(folder.File("outside.dat"), "outside");
  WriteBytes(folder.File("game/vlk.hvl"), "old list");
  auto rewrite = [](CFileDX&, std::string* content) {
    *content = "list";
    return true;
  };
  auto game = [&](const std::string& relative) { return folder.Wide("game\\" + relative); };
  ASSERT_TRUE(HoldFolder(folder.Wide("game").c_str()));

  CFileDX file;
  ASSERT_EQ(file.OpenWrite(game("data\\new.dat.tmp").c_str(), OpenWriteCreateNew), 1);
  ASSERT_EQ(file.Write("new", 3), 3u);
  file.Close();
  EXPECT_TRUE(LinkOrCopyFile(game("data\\old.dat").c_str(), game("data\\old.dat.upd-backup").c_str()));
  EXPECT_TRUE(MoveFileReplacing(game("data\\new.dat.tmp").c_str(), game("data\\old.dat").c_str()));
  EXPECT_TRUE(RemoveFile(game("data\\old.dat.upd-backup").c_str()));
  EXPECT_NE(GetPathAttributes(game("data").c_str()) & FileAttributeDirectory, 0u);
  EXPECT_TRUE(RewriteFile(game("vlk.hvl").c_str(), rewrite));
  ASSERT_EQ(file.OpenRead(game("DATA\\OLD.DAT").c_str()), 1);  // names still match without case
  file.Close();

  // ".." is refused even where it would lead back inside.
  std::u16string inside = game("data\\old.dat"), fresh = folder.Wide("fresh.dat");
  for (std::u16string refused : {folder.Wide("outside.dat"), game("..\\outside.dat"), game("data\\..\\..\\outside.dat"),
                                 game("data\\..\\data\\old.dat"), game("data\\..\\old.dat")}) {
    SCOPED_TRACE(testing::PrintToString(WideToNarrow(refused.c_str(), TargetUtf8)));
    EXPECT_EQ(file.OpenRead(refused.c_str()), 0);
    EXPECT_EQ(GetPathAttributes(refused.c_str()), InvalidFileAttributes);
    EXPECT_FALSE(ResetPathAttributes(refused.c_str()));
    EXPECT_FALSE(RemoveFile(refused.c_str()));
    EXPECT_FALSE(MoveFileReplacing(inside.c_str(), refused.c_str()));
    EXPECT_FALSE(RewriteFile(refused.c_str(), rewrite));
  }
  EXPECT_EQ(file.OpenWrite(fresh.c_str(), OpenWriteCreateNew), 0);
  EXPECT_FALSE(PathIsAbsent(fresh.c_str()));
  EXPECT_FALSE(LinkOrCopyFile(inside.c_str(), fresh.c_str()));
  EXPECT_EQ(ReadBytes(folder.File("outside.dat")), "outside");
  EXPECT_EQ(ReadBytes(folder.File("game/data/old.dat")), "new");
  EXPECT_EQ(ReadBytes(folder.File("game/vlk.hvl")), "list");
  EXPECT_FALSE(FileExists(folder.File("fresh.dat")));

  ReleaseHeldFolder();
  EXPECT_EQ(file.OpenRead(folder.Wide("outside.dat").c_str()), 1);
}

}  // namespace
