// The result of the install procedure, also the program's exit code.
#pragma once

#include <cstdint>

using InstallResult = uint32_t;
constexpr InstallResult InstallSucceeded = 0;
constexpr InstallResult InstallDamaged = 0x80000001;          // short payload, bad entry, checksum mismatch
constexpr InstallResult InstallIndexUnreadable = 0x80000002;
constexpr InstallResult InstallNotProduced = 0x80000003;
constexpr InstallResult InstallWriteFailed = 0x80000004;      // a file not written or not moved into place
constexpr InstallResult InstallUninstallListFailed = 0x80000005;
constexpr InstallResult InstallCancelled = 0x80000006;
constexpr InstallResult InstallAborted = 0x80000007;
