// The install procedure bound to this process (its own payload, its progress
// window and message poll, its stop flags, the status line in its language),
// and what the run leaves for the player and support besides the result box.
#pragma once

#include <cstdint>
#include <string>

#include "install/install.h"

// One run of the install, as support needs to see it.
struct InstallRun {
  std::string started;  // local time, "YYYY-MM-DD hh:mm:ss"
  std::u16string folder;
  InstallReport report;
  InstallResult result = InstallSucceeded;
};

InstallRun InstallUpdate(const char16_t* folder);

// One line naming the first failure of a run that failed (not one that was
// cancelled or aborted: the user knows), e.g.
// "data\map.pak: move into place failed: Permission denied (13)"; else "".
std::string DescribeFailure(const InstallRun& run);
// The run log: start, folder, each entry staged, result and cause, UTF-8.
std::string RunLogText(const InstallRun& run);

// Tells what the result box does not: the POSIX port prints the failure's
// line on standard error; the Windows program, which shows nothing more and
// writes nothing into the game folder, rewrites its run log in %TEMP%.
void RecordInstallRun(const InstallRun& run);

// The platform's pieces: the local time as "YYYY-MM-DD hh:mm:ss", and the
// system's text for an error code (strerror, FormatMessageW) in UTF-8.
std::string LocalTimeText();
std::string SystemErrorText(uint32_t code);
