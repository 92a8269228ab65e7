// What the terminal port's own files in app/ share.
#pragma once

#include <signal.h>

#include <string>

#include "app/app_state.h"

// Signals stand in for the progress window's messages. Their handlers only
// note them; the poll (progress_posix.cpp) and a question asked while the
// window is open (message_box_posix.cpp) act on them.
extern volatile sig_atomic_t PendingCancel;  // SIGINT: the Cancel button
extern volatile sig_atomic_t PendingClose;   // SIGTERM, SIGHUP: the window is closed
extern volatile sig_atomic_t PendingQuit;    // SIGQUIT: a quit message
extern volatile sig_atomic_t PendingResize;  // SIGWINCH: the terminal's size changed
// The set of those signals.
sigset_t WindowSignals();

// Set when a lock file could not be used and that was said on standard error,
// so that the outcome is not said a second time as another copy running.
extern bool LockProblemReported;
// Why the run could not go on, said after its outcome: the process that runs
// the game or holds the lock. Empty when none was found.
extern std::string OutcomeCause;
// The same for the lock another updater holds on the game folder.
std::string FolderLockHolder(const char16_t* folder);

// A text of the terminal port's own in the UI language.
inline std::string InUiLanguage(const char* english, const char* japanese) {
  return IsJapanese() ? japanese : english;
}
