// Archive entries whose names are the install's own temporary names for other
// entries ("X.tmp" stages X, "X.upd-backup" backs it up): the install must not
// take one file's staged content for another's.
#include "install/install_fixture.h"

namespace {

TEST_F(InstallTest, EntryNamedLikeAnotherEntrysStagingFile) {
  for (bool stagingFirst : {true, false}) {
    SCOPED_TRACE(stagingFirst ? "a.tmp first" : "a first");
    ResetGame();
    std::vector<UpdateFile> files = {{"a.tmp", "content of a.tmp"}, {"a", "content of a"}};
    if (!stagingFirst) std::swap(files[0], files[1]);
    InstallResult result = Install(MakeUpdatePayload(work.File("u.exe"), files));
    if (result == InstallSucceeded) {
      EXPECT_EQ(ReadBytes(Game("a")), "content of a");
      EXPECT_EQ(ReadBytes(Game("a.tmp")), "content of a.tmp");
    } else {
      EXPECT_EQ(GameState(), "old");
    }
  }
}

}  // namespace

// The lists are rewritten through "<list>.upd-new", which would remove a file
// of that name after it was installed while the install reported success.
TEST_F(InstallTest, EntryNamedLikeAListsReplacement) {
  for (const char* name : {"vlk.hvl.upd-new", "UNINST.LST.UPD-NEW"}) {
    SCOPED_TRACE(name);
    ResetGame();
    InstallResult result = Install(MakeUpdatePayload(work.File("u.exe"), {{name, "content"}, {"a", "content of a"}}));
    if (result == InstallSucceeded) {
      EXPECT_EQ(ReadBytes(Game(name)), "content");
    } else {
      EXPECT_EQ(GameState(), "old");
    }
  }
}
