// Faults injected into the file layer at every step: the game is always wholly
// old or wholly new, and both lists always read whole.
#include <set>

#include "install/install_fixture.h"
#include "support/file_faults_injected.h"

namespace {

class InstallFaultsTest : public InstallTest {
 protected:
  // Runs the standard update with `faults` and checks the folder's state
  // against the result, and which step the run names as failed.
  void InstallWith(const FileFaults& faults, const std::string& what, InstallStep failing) {
    ResetGame();
    std::string payload = MakeUpdatePayload(work.File("update.exe"), StandardUpdate());
    InjectedFileFaults = faults;
    InstallResult result = Install(payload);
    InjectedFileFaults = FileFaults{};
    std::string state = GameState();
    results.insert(result);
    if (result == InstallSucceeded || result == InstallUninstallListFailed) {
      EXPECT_EQ(state, "new") << what;
    } else {
      EXPECT_EQ(result, InstallWriteFailed) << what;
      EXPECT_EQ(state, "old") << what;
    }
    InstallStep named = result == InstallSucceeded            ? InstallStep::None
                        : result == InstallUninstallListFailed ? InstallStep::RewriteList
                                                               : failing;
    EXPECT_EQ(report.failedStep, named) << what;
    for (auto& [name, bytes] : GameContents()) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << what;
      EXPECT_EQ(name.find(".upd-"), std::string::npos) << what;
    }
  }
  std::set<InstallResult> results;
};

TEST_F(InstallFaultsTest, ShortWriteAtAnyPoint) {
  uint64_t staged = 0;
  for (const UpdateFile& file : StandardUpdate()) staged += file.content.size();
  std::vector<int64_t> points = {0, 1, CopyBlockSize - 1, CopyBlockSize, 2 * CopyBlockSize + 4};
  for (int64_t extra = 0; extra < 400; extra += 7) points.push_back(static_cast<int64_t>(staged) - 30 + extra);
  // Then vlk.hvl is written twice (merged, 1296 bytes; pruned, 1040) and uninst.lst once.
  for (int64_t after = 400; after < 2460; after += 60) points.push_back(static_cast<int64_t>(staged) + after);
  for (int64_t at : points) {
    FileFaults faults;
    faults.bytesUntilShortWrite = at;
    InstallWith(faults, "short write after " + std::to_string(at) + " bytes", InstallStep::Write);
  }
  EXPECT_TRUE(results.count(InstallWriteFailed));
  EXPECT_TRUE(results.count(InstallSucceeded));  // a failed write of vlk.hvl leaves the result alone
  EXPECT_TRUE(results.count(InstallUninstallListFailed));
}

TEST_F(InstallFaultsTest, FailedMoveAtAnyPoint) {
  // Four commits, each list rewrite is a move too: vlk.hvl twice, uninst.lst once.
  for (int k = 0; k < 9; ++k) {
    FileFaults faults;
    faults.movesUntilFailure = k;
    InstallWith(faults, "move " + std::to_string(k) + " fails", InstallStep::Move);
  }
  EXPECT_TRUE(results.count(InstallWriteFailed));
  EXPECT_TRUE(results.count(InstallUninstallListFailed));
}

TEST_F(InstallFaultsTest, FailedFlushAtAnyPoint) {
  for (int k = 0; k < 8; ++k) {
    FileFaults faults;
    faults.flushesUntilFailure = k;
    InstallWith(faults, "flush " + std::to_string(k) + " fails", InstallStep::Flush);
  }
  EXPECT_TRUE(results.count(InstallWriteFailed));
}

}  // namespace
