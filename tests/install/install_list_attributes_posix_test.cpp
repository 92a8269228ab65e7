// A game file's mode and owner are its player's, which an update run by root
// must not take: the lists are rewritten through a new file, and each replaced
// file is a new file, that take the old one's mode and owner. The read-only
// mode is reset only on a file with no other name, and a rollback puts it back.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "install/install_fixture.h"
#include "support/file_faults_injected.h"

namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST_F(InstallTest, FilesAndListsKeepTheirModeAndOwner) {
  const bool root = geteuid() == 0;
  const char* kept[] = {"vlk.hvl", "uninst.lst", "Game.pak", "data/Map.pak"};
  for (const char* name : kept) {
    ASSERT_EQ(chmod(Game(name).c_str(), 0640), 0);
    if (root) {
      ASSERT_EQ(chown(Game(name).c_str(), 4321, 4322), 0);
    }
  }
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(GameContents(), Digested(UpdatedGame()));
  for (const char* name : kept) {
    struct stat st {};
    ASSERT_EQ(stat(Game(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << name;
    if (root) {
      EXPECT_EQ(st.st_uid, 4321u) << name;
      EXPECT_EQ(st.st_gid, 4322u) << name;
    }
  }
}

TEST_F(InstallTest, ReadOnlyModeIsResetOnlyOnAFileOfItsOwnAndPutBackByARollback) {
  // Game.pak has one name; data/Map.pak has another outside the game.
  WriteBytes(work.File("outside.pak"), "outside");
  fs::remove(Game("data/Map.pak"));
  fs::create_hard_link(work.File("outside.pak"), Game("data/Map.pak"));
  for (const std::string& path : {Game("Game.pak"), work.File("outside.pak")}) ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  InjectedFileFaults.movesUntilFailure = 3;  // the last file's move fails, after the others
  EXPECT_EQ(InstallStandardUpdate(), InstallWriteFailed);
  EXPECT_EQ(ReadBytes(Game("Game.pak")), "old game");
  EXPECT_EQ(ModeOf(Game("Game.pak")), 0444u);
  EXPECT_EQ(ModeOf(work.File("outside.pak")), 0444u);
  EXPECT_EQ(ReadBytes(work.File("outside.pak")), "outside");
  fs::remove(work.File("outside.pak"));
}

}  // namespace
