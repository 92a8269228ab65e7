// A held folder changes nothing for operations inside it, and refuses every
// path outside it, whether it climbs out with ".." or lies elsewhere.
#include <gtest/gtest.h>

#include <filesystem>

#include "payload/file.h"
#include "payload/filesystem.h"
#include "payload/held_folder.h"
#include "support/test_files.h"

namespace {

class HeldFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder.File("game/data"));
    WriteBytes(folder.File("game/data/old.dat"), "old");
    WriteBytes(folder.File("outside.dat"), "outside");
    ASSERT_TRUE(HoldFolder(folder.Wide("game").c_str()));
  }
  void TearDown() override { ReleaseHeldFolder(); }

  std::u16string Game(const std::string& relative) { return folder.Wide("game\\" + relative); }

  TempFolder folder;
};

TEST_F(HeldFolderTest, OperationsInsideWorkAsUsual) {
  CFileDX file;
  ASSERT_EQ(file.OpenWrite(Game("data\\new.dat.tmp").c_str(), OpenWriteCreateNew), 1);
  ASSERT_EQ(file.Write("new", 3), 3u);
  file.Close();
  EXPECT_TRUE(LinkOrCopyFile(Game("data\\old.dat").c_str(), Game("data\\old.dat.upd-backup").c_str()));
  EXPECT_TRUE(MoveFileReplacing(Game("data\\new.dat.tmp").c_str(), Game("data\\old.dat").c_str()));
  EXPECT_TRUE(RemoveFile(Game("data\\old.dat.upd-backup").c_str()));
  EXPECT_NE(GetPathAttributes(Game("data").c_str()) & FileAttributeDirectory, 0u);
  EXPECT_TRUE(ReplaceFileContents(Game("vlk.hvl").c_str(), "list", 4));
  ASSERT_EQ(file.OpenRead(Game("DATA\\OLD.DAT").c_str()), 1);  // names still match without case
  char text[4] = {};
  EXPECT_EQ(file.Read(text, 3), 3u);
  EXPECT_STREQ(text, "new");
  EXPECT_EQ(ReadBytes(folder.File("game/vlk.hvl")), "list");
  EXPECT_FALSE(FileExists(folder.File("game/data/old.dat.upd-backup")));
}

TEST_F(HeldFolderTest, PathsClimbingOutAreRefusedUntilReleased) {
  CFileDX file;
  EXPECT_EQ(file.OpenRead(Game("data\\..\\..\\outside.dat").c_str()), 0);
  EXPECT_EQ(GetPathAttributes(Game("..\\outside.dat").c_str()), InvalidFileAttributes);
  EXPECT_FALSE(RemoveFile(Game("data\\..\\..\\outside.dat").c_str()));
  EXPECT_EQ(ReadBytes(folder.File("outside.dat")), "outside");

  ReleaseHeldFolder();
  EXPECT_NE(GetPathAttributes(Game("..\\outside.dat").c_str()), InvalidFileAttributes);
}

TEST_F(HeldFolderTest, PathsElsewhereAreRefusedUntilReleased) {
  std::u16string outside = folder.Wide("outside.dat"), fresh = folder.Wide("fresh.dat");
  std::u16string inside = Game("data\\old.dat");
  CFileDX file;
  EXPECT_EQ(file.OpenRead(outside.c_str()), 0);
  EXPECT_EQ(file.OpenWrite(fresh.c_str(), OpenWriteCreateNew), 0);
  EXPECT_EQ(GetPathAttributes(outside.c_str()), InvalidFileAttributes);
  EXPECT_FALSE(PathIsAbsent(fresh.c_str()));
  EXPECT_FALSE(ResetPathAttributes(outside.c_str()));
  EXPECT_FALSE(RemoveFile(outside.c_str()));
  EXPECT_FALSE(LinkOrCopyFile(inside.c_str(), fresh.c_str()));
  EXPECT_FALSE(MoveFileReplacing(inside.c_str(), outside.c_str()));
  EXPECT_FALSE(ReplaceFileContents(outside.c_str(), "new", 3));
  EXPECT_EQ(ReadBytes(folder.File("outside.dat")), "outside");
  EXPECT_FALSE(FileExists(folder.File("fresh.dat")));
  EXPECT_EQ(ReadBytes(folder.File("game/data/old.dat")), "old");

  ReleaseHeldFolder();
  EXPECT_EQ(file.OpenRead(outside.c_str()), 1);
}

}  // namespace
