// A held folder changes nothing for operations inside it, and refuses a path
// that climbs out of it with "..".
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

TEST_F(HeldFolderTest, PathsElsewhereAreNotConcerned) {
  CFileDX file;
  EXPECT_EQ(file.OpenRead(folder.Wide("outside.dat").c_str()), 1);
}

}  // namespace
