// The install killed (SIGKILL) before each change it makes to the file system
// (at 50 points spread over a longer run): every game file is whole (old or
// new), both lists read, and running the update again completes and leaves
// exactly the updated folder.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "install/install_fixture.h"
#include "lists/version_list.h"
#include "support/file_faults_injected.h"

namespace {

int changesSoFar = 0;
int killAt = 0;

void CountChange() { ++changesSoFar; }
void KillAtChosenChange() {
  if (++changesSoFar == killAt) raise(SIGKILL);
}

class InstallCrashTest : public InstallTest {
 protected:
  // Each file that exists now holds the old or the new content; none is lost.
  void ExpectEveryFileWhole(const std::string& when) {
    FolderContents now = GameContents();
    FolderContents updated = UpdatedGame();
    FolderContents original = {{"LUMENTRAIL.exe", "game program"}, {"Game.pak", "old game"},
                               {"data/Map.pak", "old map"},        {"data/sound.pak", "old sound"},
                               {"Keep.pak", "not in the update"}};
    for (auto& [name, bytes] : original) EXPECT_TRUE(now.count(name)) << name << " lost " << when;
    for (auto& [name, bytes] : now) {
      if (name == "vlk.hvl" || name == "uninst.lst" || name.find(".tmp") != std::string::npos ||
          name.find(".upd-") != std::string::npos)
        continue;
      bool whole = (original.count(name) && original[name] == bytes) || (updated.count(name) && updated[name] == bytes);
      EXPECT_TRUE(whole) << name << " is neither old nor new " << when;
    }
    VersionList list;
    EXPECT_TRUE(LoadVersionList(ToWide(Game("vlk.hvl")).c_str(), &list)) << when;
    std::string uninstall = ReadBytes(Game("uninst.lst"));
    EXPECT_TRUE(uninstall == "LUMENTRAIL.exe\r\nGame.pak\r\nData\\Map.pak\r\n$Dir data\r\n" ||
                uninstall == updated["uninst.lst"])
        << "uninst.lst " << when;
  }
};

TEST_F(InstallCrashTest, KilledAnywhereThenRunAgain) {
  std::string payload = MakeUpdatePayload(work.File("update.exe"), StandardUpdate());
  changesSoFar = 0;
  InjectedFileFaults.beforeChange = CountChange;
  ASSERT_EQ(Install(payload), InstallSucceeded);
  InjectedFileFaults.beforeChange = nullptr;
  const int total = changesSoFar;
  ASSERT_GE(total, 30);

  std::mt19937 random(20261206);
  for (int k = 0; k < std::min(total, 50); ++k) {
    killAt = total <= 50 ? k + 1 : 1 + k * total / 50 + static_cast<int>(random() % static_cast<unsigned>(total / 50));
    std::string when = "(killed before change " + std::to_string(killAt) + " of " + std::to_string(total) + ")";
    ResetGame();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      changesSoFar = 0;
      InjectedFileFaults.beforeChange = KillAtChosenChange;
      Install(payload);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << when;

    ExpectEveryFileWhole(when);
    EXPECT_EQ(Install(payload), InstallSucceeded) << when;
    EXPECT_EQ(GameContents(), UpdatedGame()) << when;
  }
}

}  // namespace
