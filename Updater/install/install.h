// The install procedure: stages every payload file beside its target, verifies
// it, commits all of them by rename only when all are good, then brings the
// game's version list and uninstall list up to date. It takes everything it
// needs of the program (window, message poll, stop flags, status text) from
// its caller.
#pragma once

#include <cstdint>

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

struct InstallSources {
  const char16_t* payloadPath;  // the packed updater
  ProgressControls* progress;   // null: no window, every update skipped
  int (*poll)();                // empties the message queue; 1 when a quit message was polled
  // The stop flags the window sets between polls; the procedure sets the
  // abort flag itself on a quit message or a payload it cannot seek in.
  int32_t* cancelRequested;
  int32_t* abortRequested;
  const char16_t* statusFormat;  // the status line, "%s" standing for the file's name
};

InstallResult InstallUpdateFrom(const char16_t* folder, const InstallSources& sources);
