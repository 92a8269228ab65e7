// What the install does with each archive entry, decided before anything is
// written: the shipped version list that verifies the entries, the names they
// are installed under, and the rule that says which sets of names the updater
// refuses. The packing tool's `list` reads a payload the same way and the
// tool applies the same rule, so that what packs also installs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "install/install_result.h"
#include "lists/version_list.h"
#include "payload/payload.h"

// The install's own names beside each file: the staged new content, and the
// old content's second name while the commit runs.
constexpr char16_t StagingSuffix[] = u".tmp";
constexpr char16_t BackupSuffix[] = u".upd-backup";

class CFileDX;

enum class ShippedList { Absent, Read, Damaged };
// Reads the version list from the first archive entry named "vlk.hvl" (ASCII
// case ignored) of the payload open in `file`. Damaged when that entry cannot
// be sought or read as a list, or holds fewer bytes than its header claims;
// Absent (the list left empty) when no entry has that name.
ShippedList ReadShippedVersionList(CFileDX& file, const std::vector<ArchiveEntry>& entries, VersionList* list);

// What the install does with one archive entry.
struct EntryPlan {
  std::u16string name;  // relative to the game folder; the status line shows it
  int versionRow;       // the shipped row that verifies it, or -1
  bool isVersionList;   // the shipped list itself is never installed
};

// The target of each entry: the full name of its shipped row, matched by the
// row's last component, or else the entry's own name.
std::vector<EntryPlan> PlanEntries(const VersionList& shipped, const std::vector<ArchiveEntry>& entries);

// The names the plans install files under, one per plan: empty for the
// shipped list itself, which is never installed.
std::vector<std::u16string> TargetNamesOf(const std::vector<EntryPlan>& plans);

enum class TargetNameFault {
  None,
  // A name that would leave the game folder or that Windows cannot hold:
  EmptyComponent,      // absolute, or a doubled or trailing separator
  DotComponent,        // "." or ".."
  TrailingDotOrSpace,  // Windows drops it, so "a." would be "a"
  DeviceName,          // CON, NUL, COM1 ...: Windows opens the device
  ForbiddenCharacter,  // a control character or one of < > : " | ? * (so no drive)
  // A name that another name of the set would overwrite or remove:
  SameFile,            // two names for one file (ASCII case and "/" or "\" ignored)
  StagingOfOther,      // the staging or backup name of another
  ListReplacement,     // the replacement file of "vlk.hvl" or "uninst.lst"
};

struct TargetNameCheck {
  TargetNameFault fault = TargetNameFault::None;
  size_t name = 0;   // index of the refused name
  size_t other = 0;  // for the last three: the name it meets
};

// Checks every non-empty name of the set, each on its own first, then pairs.
TargetNameCheck CheckTargetNames(const std::vector<std::u16string>& names);
// Why, in a few English words, for the packing tool's messages.
const char* DescribeTargetNameFault(TargetNameFault fault);
// What the install gives for it: damaged for a name of its own, not written
// for a name that meets another.
InstallResult InstallResultOf(TargetNameFault fault);
