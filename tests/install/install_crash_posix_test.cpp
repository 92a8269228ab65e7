// The install killed (SIGKILL) before a change it makes to the file system, at
// 50 points spread over the run: no game file is lost or torn, both lists
// read, and running the update again leaves exactly the updated folder.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "install/install_fixture.h"

namespace {

TEST_F(InstallTest, KilledAnywhereThenRunAgain) {
  const std::string payload = StandardPayload();
  const int total = CountChanges(payload);
  ASSERT_GE(total, 30);
  for (int point = 0; point < 50; ++point) {
    const int k = 1 + point * total / 50;
    SCOPED_TRACE("killed before change " + std::to_string(k) + " of " + std::to_string(total));
    ResetGame();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ActBeforeChange(k, [] { raise(SIGKILL); });
      Install(payload);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    std::string state = GameState();
    EXPECT_TRUE(state == "old" || state == "new" || state == "mixed") << state;
    EXPECT_EQ(Install(payload), InstallSucceeded);
    EXPECT_EQ(GameContents(), Digested(UpdatedGame()));
  }
}

}  // namespace
