// The install procedure: stages every payload file beside its target, verifies
// it, commits all of them by rename only when all are good, then brings the
// game's version list and uninstall list up to date.
#pragma once

#include <cstdint>

class ProgressControls;

using InstallResult = uint32_t;
constexpr InstallResult InstallSucceeded = 0;
constexpr InstallResult InstallDamaged = 0x80000001;          // short payload, bad entry, checksum mismatch
constexpr InstallResult InstallIndexUnreadable = 0x80000002;
constexpr InstallResult InstallNotProduced = 0x80000003;
constexpr InstallResult InstallWriteFailed = 0x80000004;      // a file not written or not moved into place
constexpr InstallResult InstallUninstallListFailed = 0x80000005;
constexpr InstallResult InstallCancelled = 0x80000006;
constexpr InstallResult InstallAborted = 0x80000007;

constexpr uint32_t MaxArchiveEntries = 256;
constexpr uint32_t CopyBlockSize = 0x100000;

// Where the procedure takes its payload, its window and its message poll from.
struct InstallSources {
  const char16_t* payloadPath;  // the packed updater
  ProgressControls* progress;   // null: no window, every update skipped
  int (*poll)();                // 1 when a quit message was polled
};

// Installs from the running program's own payload, with its progress window.
InstallResult InstallUpdate(const char16_t* folder);
InstallResult InstallUpdateFrom(const char16_t* folder, const InstallSources& sources);
