// A game folder, an update for it and the seams of the install procedure, shared
// by the install tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/progress.h"
#include "install/install.h"
#include "support/test_files.h"

// Every call the procedure makes on the progress window.
struct RecordedProgress : ProgressControls {
  std::vector<std::u16string> statuses;
  std::vector<std::pair<int, uint32_t>> ranges;
  std::vector<std::pair<int, uint32_t>> positions;
  void SetStatusText(const char16_t* text) override { statuses.emplace_back(text); }
  void SetBarRange(int bar, uint32_t maximum) override { ranges.emplace_back(bar, maximum); }
  void SetBarPosition(int bar, uint32_t position) override { positions.emplace_back(bar, position); }
  std::vector<uint32_t> PositionsOf(int bar) const;
};

using FolderContents = std::map<std::string, std::string>;  // relative path -> bytes

class InstallTest : public ::testing::Test {
 public:
  // Called at every poll with the number of polls so far; returns 1 for a quit.
  static std::function<int(int)> onPoll;
  static int polls;

 protected:
  void SetUp() override;
  void TearDown() override;

  // The old game: two files at the top, two in data/, the game's executable,
  // "vlk.hvl" listing them (and a file since removed) and "uninst.lst".
  void MakeOldGame();
  // The update: new contents of three old files and one new file.
  std::vector<UpdateFile> StandardUpdate() const;
  InstallResult Install(const std::string& payload);
  InstallResult InstallStandardUpdate();
  std::string Game(const std::string& relative) const { return work.File("game/" + relative); }
  FolderContents GameContents() const;
  // The game folder as the update should leave it.
  FolderContents UpdatedGame() const;
  // Puts the old game back, for tests that install many times.
  void ResetGame();
  // Game files other than the two lists are either all old or all new; both
  // lists read whole. Returns which ("old", "new", or what is wrong).
  std::string GameState() const;

  TempFolder work;
  RecordedProgress progress;
  InstallReport report;  // of the last Install
  bool withWindow = true;
};

std::string OldVersionList();
std::string Digest(const std::string& bytes);
