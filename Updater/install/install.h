// The install procedure: stages every payload file beside its target, verifies
// it, commits all of them by rename only when all are good, then brings the
// game's version list and uninstall list up to date. It takes everything it
// needs of the program (window, message poll, stop flags, status text) from
// its caller.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/install_result.h"

constexpr uint32_t MaxArchiveEntries = 256;
constexpr uint32_t CopyBlockSize = 0x100000;

constexpr int FileBarId = 1002;     // progress within the current file, 0 to 65535
constexpr int EntriesBarId = 1003;  // entries done, 0 to the entry count

// The controls of the progress window, as the procedure fills them.
class ProgressControls {
 public:
  virtual ~ProgressControls() = default;
  virtual void SetStatusText(const char16_t* text) = 0;
  virtual void SetBarRange(int barId, uint32_t maximum) = 0;
  virtual void SetBarPosition(int barId, uint32_t position) = 0;
};

// The step of the run that failed first, so that the player and support learn
// which file and why; the result still says what it means for the game.
enum class InstallStep {
  None,
  ReadIndex,        // the archive index of the payload
  ReadShippedList,  // the version list the payload ships
  CheckNames,       // the names the update installs under
  HoldFolder,       // the game folder
  Open,             // a staging file created
  Read,             // an entry's content read from the payload
  Write,            // a staging file written
  Flush,            // a staging file flushed to the disk
  Verify,           // an entry's checksum compared with its row
  Move,             // a file moved into place (with its old content's backup)
  RewriteList,      // the uninstall list extended and rewritten
};
// A few words for the step, as in "data\map.pak: move into place failed: ...".
const char* DescribeInstallStep(InstallStep step);

// What the run tells its caller besides the result.
struct InstallReport {
  std::vector<std::u16string> staged;  // each entry staged and verified, in order
  InstallStep failedStep = InstallStep::None;
  std::u16string failedName;  // the entry, list, folder or payload it failed on
  uint32_t systemError = 0;   // errno or GetLastError() of the failed call; 0 when none
  const char* detail = "";    // why, when no system call failed (English)
};

struct InstallSources {
  const char16_t* payloadPath;  // the packed updater
  ProgressControls* progress;   // null: no window, every update skipped
  int (*poll)();                // empties the message queue; 1 when a quit message was polled
  // The stop flags the window sets between polls; the procedure sets the
  // abort flag itself on a quit message or a payload it cannot seek in.
  int32_t* cancelRequested;
  int32_t* abortRequested;
  const char16_t* statusFormat;  // the status line, "%s" standing for the file's name
  InstallReport* report;         // null: nobody asks
};

InstallResult InstallUpdateFrom(const char16_t* folder, const InstallSources& sources);
