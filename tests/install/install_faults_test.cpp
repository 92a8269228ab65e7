// Faults injected into the file layer at every step of the standard update:
// one failure leaves the game wholly old or wholly new, names the step that
// failed and leaves none of the install's own files; two in a row may leave
// some files new, but never lose an old one.
#include <set>

#include "install/install_fixture.h"
#include "support/file_faults_injected.h"

namespace {

TEST_F(InstallTest, FaultsAtEveryStep) {
  const std::string payload = StandardPayload();
  std::set<InstallResult> results;
  auto run = [&](FileFaults faults, InstallStep failing, const std::string& what) {
    SCOPED_TRACE(what + (faults.inARow > 1 ? ", twice in a row" : ""));
    ResetGame();
    InjectedFileFaults = faults;
    InstallResult result = Install(payload);
    InjectedFileFaults = FileFaults{};
    results.insert(result);
    std::string state = GameState();
    if (faults.inARow > 1) {
      EXPECT_TRUE(state == "old" || state == "new" || state == "mixed") << state;
      return;
    }
    bool completed = result == InstallSucceeded || result == InstallUninstallListFailed;
    EXPECT_TRUE(completed || result == InstallWriteFailed) << result;
    EXPECT_EQ(state, completed ? "new" : "old");
    EXPECT_EQ(report.failedStep, result == InstallSucceeded            ? InstallStep::None
                                 : result == InstallUninstallListFailed ? InstallStep::RewriteList
                                                                        : failing);
    for (auto& [name, bytes] : GameContents()) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos);
      EXPECT_EQ(name.find(".upd-"), std::string::npos);
    }
  };
  int64_t staged = 0;
  for (const UpdateFile& file : StandardUpdate()) staged += static_cast<int64_t>(file.content.size());
  std::vector<int64_t> points = {0, 1, CopyBlockSize - 1, CopyBlockSize, 2 * CopyBlockSize + 4};
  // Then vlk.hvl (1296 bytes) and uninst.lst are written.
  for (int64_t extra = -30; extra < 1400; extra += 23) points.push_back(staged + extra);
  for (int64_t at : points) {
    FileFaults faults;
    faults.bytesUntilShortWrite = at;
    run(faults, InstallStep::Write, "short write after " + std::to_string(at) + " bytes");
  }
  // Four commits, then each list's rewrite is a move and a flush.
  for (int k = 0; k <= 6; ++k) {
    for (int inARow : {1, 2}) {
      FileFaults faults;
      faults.inARow = inARow;
      faults.movesUntilFailure = k;
      run(faults, InstallStep::Move, "move " + std::to_string(k) + " fails");
      faults.movesUntilFailure = -1;
      faults.flushesUntilFailure = k;
      run(faults, InstallStep::Flush, "flush " + std::to_string(k) + " fails");
    }
  }
  EXPECT_EQ(results, (std::set<InstallResult>{InstallSucceeded, InstallWriteFailed, InstallUninstallListFailed}));
}

}  // namespace
