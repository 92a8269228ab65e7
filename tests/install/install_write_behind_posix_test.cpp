// The install hands every staged block to the disk as soon as it is written:
// at each poll, no byte staged so far is only dirty in the page cache.
#include <sys/stat.h>

#include <set>

#include "install/install_fixture.h"
#include "support/page_states_posix.h"

namespace {

TEST_F(InstallTest, EveryStagedBlockGoesToTheDiskBeforeThePoll) {
  if (!PageStatesFollowWriteBack(work.path())) GTEST_SKIP() << "write-back cannot be observed in " << work.path();
  std::string staging = Game("Game.pak.tmp");
  std::set<uint64_t> sizesSeen;
  onPoll = [&](int) {
    struct stat st;
    if (stat(staging.c_str(), &st) != 0 || st.st_size == 0) return 0;
    PageStates states;
    EXPECT_TRUE(ReadPageStates(staging, 0, static_cast<uint64_t>(st.st_size), &states));
    EXPECT_EQ(states.dirty, 0u) << st.st_size << " bytes staged";
    sizesSeen.insert(static_cast<uint64_t>(st.st_size));
    return 0;
  };
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  // Game.pak is 2 MiB + 5 bytes: seen after each of its three blocks.
  EXPECT_EQ(sizesSeen, (std::set<uint64_t>{CopyBlockSize, 2 * CopyBlockSize, 2 * CopyBlockSize + 5}));
}

}  // namespace
