// Cancel, close and quit reach the install procedure only through its polls.
#include "app/app_state.h"
#include "install/install_fixture.h"

namespace {

// Polls of the standard update: one before staging, then for each of its five
// entries one after the status line, one per block (the version list has none,
// Game.pak three, the others one each) and one after the entry.
constexpr int StandardUpdatePolls = 1 + 2 + 5 + 3 + 3 + 3;

TEST_F(InstallTest, PollsWhereExpected) {
  ASSERT_EQ(InstallStandardUpdate(), InstallSucceeded);
  EXPECT_EQ(polls, StandardUpdatePolls);
}

TEST_F(InstallTest, CancelAtAnyPollCommitsNothing) {
  for (int at = 1; at <= StandardUpdatePolls; ++at) {
    ResetGame();
    FolderContents before = GameContents();
    CancelRequested = AbortRequested = 0;
    onPoll = [at](int n) {
      if (n == at) CancelRequested = 1;
      return 0;
    };
    EXPECT_EQ(InstallStandardUpdate(), InstallCancelled) << "poll " << at;
    EXPECT_EQ(GameContents(), before) << "poll " << at;
  }
}

TEST_F(InstallTest, CloseOrQuitAtAnyPollAborts) {
  for (bool quit : {false, true}) {
    for (int at = 1; at <= StandardUpdatePolls; ++at) {
      ResetGame();
      FolderContents before = GameContents();
      CancelRequested = AbortRequested = 0;
      onPoll = [at, quit](int n) {
        if (n != at) return 0;
        if (quit) return 1;  // a quit message
        AbortRequested = 1;  // the window was closed
        return 0;
      };
      EXPECT_EQ(InstallStandardUpdate(), InstallAborted) << (quit ? "quit" : "close") << " at poll " << at;
      EXPECT_EQ(GameContents(), before);
    }
  }
}

TEST_F(InstallTest, CancelWinsOverAbort) {
  FolderContents before = GameContents();
  onPoll = [](int n) {
    if (n == 5) {
      AbortRequested = 1;
      CancelRequested = 1;
    }
    return 0;
  };
  EXPECT_EQ(InstallStandardUpdate(), InstallCancelled);
  EXPECT_EQ(GameContents(), before);
}

TEST_F(InstallTest, StopsPollingOnceStopped) {
  onPoll = [](int n) {
    if (n == 4) CancelRequested = 1;  // during Game.pak's first block
    return 0;
  };
  EXPECT_EQ(InstallStandardUpdate(), InstallCancelled);
  EXPECT_EQ(polls, 4);
}

TEST_F(InstallTest, FlagsSetBeforeTheStartStopEverything) {
  FolderContents before = GameContents();
  AbortRequested = 1;
  EXPECT_EQ(InstallStandardUpdate(), InstallAborted);
  CancelRequested = 1;
  EXPECT_EQ(InstallStandardUpdate(), InstallCancelled);
  EXPECT_EQ(GameContents(), before);
}

}  // namespace
