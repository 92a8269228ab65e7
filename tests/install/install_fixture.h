// A game folder, an update for it and the seams of the install procedure,
// shared by the install tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "install/install.h"
#include "support/test_files.h"

// Every call the procedure makes on the progress window.
struct RecordedProgress : ProgressControls {
  std::vector<std::u16string> statuses;
  std::vector<std::pair<int, uint32_t>> ranges, positions;
  void SetStatusText(const char16_t* text) override { statuses.emplace_back(text); }
  void SetBarRange(int bar, uint32_t maximum) override { ranges.emplace_back(bar, maximum); }
  void SetBarPosition(int bar, uint32_t position) override { positions.emplace_back(bar, position); }
  std::vector<uint32_t> PositionsOf(int bar) const;
};

// Relative path -> content (large contents as size and checksum, so that a
// failed comparison stays readable); "link" for a symbolic link. With `stat`,
// folders too and each entry's kind, link count and modification time.
using FolderContents = std::map<std::string, std::string>;
FolderContents Contents(const std::string& folder, bool stat = false);
FolderContents Digested(FolderContents contents);

// How the game folder must look after a case: as the case prepared it, as the
// standard update leaves it (both with the case's differences), or only the
// files the case names are checked.
enum ExpectedGame { AsPrepared, AsUpdated, OnlyThese };

// One end-to-end case: the game and payload it prepares, the result and how
// the folder must look afterwards.
struct InstallCase {
  std::string what;
  std::function<std::string()> prepare;  // changes the game, returns the payload
  InstallResult result;
  ExpectedGame folder;
  FolderContents files;  // the differences, or the files checked; Gone: no such file
};
constexpr char Gone[] = "(gone)";

class InstallTest : public ::testing::Test {
 public:
  // Called at every poll with the number of polls so far; returns 1 for a quit.
  static std::function<int(int)> onPoll;
  static int polls;

 protected:
  void SetUp() override;
  void TearDown() override;

  // The update: a new file first, then new contents of three old files.
  static std::vector<UpdateFile> StandardUpdate();
  // The game folder as the standard update should leave it.
  static FolderContents UpdatedGame();
  // Puts the old game back.
  void ResetGame();
  std::string StandardPayload() { return MakeUpdatePayload(work.File("update.exe"), StandardUpdate()); }
  // Installs and checks that nothing was moved into place before the bytes
  // written for it were flushed.
  InstallResult Install(const std::string& payload);
  InstallResult InstallStandardUpdate() { return Install(StandardPayload()); }
  std::string Game(const std::string& relative) const { return work.File("game/" + relative); }
  FolderContents GameContents() const { return Contents(work.File("game")); }
  // "old" or "new" when every game file is; "mixed" when some are new and each
  // old file they replaced keeps its content under its backup name; otherwise
  // what is wrong. Both lists must read whole.
  std::string GameState() const;

  // Runs each case from the old game (the window shown); `check` follows each.
  void RunCases(const std::vector<InstallCase>& cases, const std::function<void()>& check = nullptr);

  // How many changes the install of `payload` makes to the file system (the
  // game is put back afterwards); then, for a later run, `act` just before
  // change `k`.
  int CountChanges(const std::string& payload);
  static void ActBeforeChange(int k, void (*act)());

  TempFolder work;
  RecordedProgress progress;
  InstallReport report;  // of the last Install
  bool withWindow = true;
};
