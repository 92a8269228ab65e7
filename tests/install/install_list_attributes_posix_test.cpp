// The lists are rewritten through a new file: it takes the old one's mode and
// owner, which the game's installer or the player may have set.
#include <sys/stat.h>
#include <unistd.h>

#include "install/install_fixture.h"

namespace {

TEST_F(InstallTest, ListsKeepTheirModeAndOwner) {
  const bool root = geteuid() == 0;
  for (const char* list : {"vlk.hvl", "uninst.lst"}) {
    ASSERT_EQ(chmod(Game(list).c_str(), 0640), 0);
    if (root) {
      ASSERT_EQ(chown(Game(list).c_str(), 4321, 4322), 0);
    }
  }
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(GameContents(), Digested(UpdatedGame()));
  for (const char* list : {"vlk.hvl", "uninst.lst"}) {
    struct stat st {};
    ASSERT_EQ(stat(Game(list).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << list;
    if (root) {
      EXPECT_EQ(st.st_uid, 4321u) << list;
      EXPECT_EQ(st.st_gid, 4322u) << list;
    }
  }
}

}  // namespace
