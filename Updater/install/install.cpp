#include "install/install.h"

#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/app_state.h"
#include "app/messages.h"
#include "app/progress.h"
#include "install/checksum.h"
#include "lists/uninstall_list.h"
#include "lists/version_list.h"
#include "payload/file.h"
#include "payload/filesystem.h"
#include "payload/own_executable.h"
#include "payload/payload.h"
#include "text/text.h"

namespace {

constexpr char VersionListName[] = "vlk.hvl";
constexpr uint32_t FileBarMaximum = 65535;

std::string Lowered(const std::string& text) {
  std::string copy = text;
  LowerText(copy.data());
  return copy;
}

// Windows opens a device, not a file, for these names, whatever their extension.
bool IsDeviceName(const std::u16string& component) {
  std::u16string base = component.substr(0, component.find(u'.'));
  for (char16_t& c : base) c = c >= u'a' && c <= u'z' ? c - 32 : c;
  for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL"})
    if (base == device) return true;
  return base.size() == 4 && (base.compare(0, 3, u"COM") == 0 || base.compare(0, 3, u"LPT") == 0) &&
         base[3] >= u'1' && base[3] <= u'9';
}

// A name from the payload may only name a file inside the game folder: no
// drive, no root, no empty, "." or ".." component (nor one Windows would trim
// to such, ending in a dot or a space), no device, no character Windows forbids.
bool IsSafeRelativeName(const std::u16string& name) {
  size_t componentStart = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    char16_t c = i < name.size() ? name[i] : u'\\';
    if (c == u'\\' || c == u'/') {
      std::u16string component = name.substr(componentStart, i - componentStart);
      if (component.empty() || component.back() == u'.' || component.back() == u' ' || IsDeviceName(component))
        return false;
      componentStart = i + 1;
    } else if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*') {
      return false;
    }
  }
  return true;
}

struct StagedPaths {
  char16_t staging[PathCapacity];
  char16_t final[PathCapacity];
  char16_t backup[PathCapacity];
};

bool FormPaths(const char16_t* folder, const std::u16string& name, StagedPaths* paths) {
  return FormatWide(paths->staging, PathCapacity, u"%s\\%s.tmp", folder, name.c_str()) >= 0 &&
         FormatWide(paths->final, PathCapacity, u"%s\\%s", folder, name.c_str()) >= 0 &&
         FormatWide(paths->backup, PathCapacity, u"%s\\%s.upd-backup", folder, name.c_str()) >= 0;
}

// What the procedure decided for one archive entry before writing anything.
struct EntryPlan {
  std::u16string name;  // relative target name, shown on the status line
  int versionRow;       // the shipped row that verifies it, or -1
  bool isVersionList;   // the shipped list itself is never copied
};

class Installation {
 public:
  Installation(const char16_t* folder, const InstallSources& sources) : folder_(folder), sources_(sources) {}
  InstallResult Run();

 private:
  bool ReadIndex();
  void ReadShippedList();
  InstallResult PlanEntries();
  void SetStatus(const std::u16string& name);
  bool Poll();
  void Stage();
  bool CopyEntry(const ArchiveEntry& entry, const EntryPlan& plan, CFileDX* staging);
  bool Commit();
  void MergeVersionList();
  void PruneVersionList();
  void CleanUp();
  void SetBarRange(int bar, uint32_t maximum) {
    if (sources_.progress) sources_.progress->SetBarRange(bar, maximum);
  }
  void SetBarPosition(int bar, uint32_t position) {
    if (sources_.progress) sources_.progress->SetBarPosition(bar, position);
  }
  bool Stopping() const { return AbortRequested || CancelRequested; }

  const char16_t* folder_;
  InstallSources sources_;
  InstallResult pending_ = InstallDamaged;
  CFileDX executable_;
  ArchiveHeader header_{};
  std::vector<ArchiveEntry> entries_;
  VersionList shipped_;
  std::vector<EntryPlan> plans_;
  std::vector<std::u16string> stagedNames_;
  std::vector<bool> keepBackup_;  // a backup whose restore failed holds the only old copy
  std::unique_ptr<unsigned char[]> block_;
  bool stagedAll_ = false;
};

bool Installation::ReadIndex() {
  executable_.OpenRead(sources_.payloadPath);  // a failed open reads as a file whose reads fail
  if (executable_.GetSize() < ArchiveOffset) return false;
  executable_.Seek(ArchiveOffset, 0);
  if (!ReadArchiveIndex(&header_, &entries_, &executable_)) {
    pending_ = InstallIndexUnreadable;
    return false;
  }
  return header_.count <= MaxArchiveEntries;
}

void Installation::ReadShippedList() {
  for (const ArchiveEntry& entry : entries_) {
    if (Lowered(entry.name) != VersionListName) continue;
    uint64_t at = ArchiveOffset + entry.position;
    if (executable_.Seek(static_cast<uint32_t>(at), static_cast<uint32_t>(at >> 32)))
      ReadVersionList(&executable_, &shipped_);
    return;
  }
}

// The game folder's entries that `name` passes through: a folder that is a
// link would carry the update's files somewhere else.
bool PassesThroughALink(const char16_t* folder, const std::u16string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != u'\\' && name[i] != u'/') continue;
    char16_t path[PathCapacity];
    std::u16string part = name.substr(0, i);
    uint32_t attributes = FormatWide(path, PathCapacity, u"%s\\%s", folder, part.c_str()) >= 0
                              ? GetPathAttributes(path)
                              : InvalidFileAttributes;
    if (attributes != InvalidFileAttributes && (attributes & FileAttributeReparsePoint)) return true;
  }
  return false;
}

// Chooses every entry's target name and refuses, before anything is written,
// names that would leave the game folder, paths that do not fit, and two
// entries aimed at one file or at each other's staging or backup names.
InstallResult Installation::PlanEntries() {
  std::vector<std::string> targets;
  for (const ArchiveEntry& entry : entries_) {
    EntryPlan plan;
    plan.versionRow = FindVersionEntryForFile(shipped_, entry.name.c_str());
    const std::string& chosen = plan.versionRow >= 0 ? shipped_.entries[plan.versionRow].name : entry.name;
    plan.name = NarrowToWide(chosen.c_str());
    plan.isVersionList = Lowered(chosen) == VersionListName;
    if (!plan.isVersionList && !plan.name.empty()) {
      if (!IsSafeRelativeName(plan.name)) return InstallDamaged;
      StagedPaths paths;
      if (!FormPaths(folder_, plan.name, &paths) || PassesThroughALink(folder_, plan.name)) return InstallWriteFailed;
      std::string target = Lowered(WideToNarrow(plan.name.c_str(), TargetUtf8));
      for (char& c : target) c = c == '/' ? '\\' : c;
      targets.push_back(target);
    }
    plans_.push_back(plan);
  }
  for (const std::string& target : targets) {
    // The lists' rewrites go through these names, and would remove such a file.
    if (target == "vlk.hvl.upd-new" || target == "uninst.lst.upd-new") return InstallWriteFailed;
    for (const std::string& other : targets) {
      if (&other != &target && (other == target || other == target + ".tmp" || other == target + ".upd-backup"))
        return InstallWriteFailed;
    }
  }
  return InstallSucceeded;
}

void Installation::SetStatus(const std::u16string& name) {
  if (!sources_.progress) return;
  char16_t status[PathCapacity + 64];
  if (FormatWide(status, sizeof status / sizeof status[0], GetMessageText(MessageInstallingFormat), name.c_str()) >= 0)
    sources_.progress->SetStatusText(status);
}

bool Installation::Poll() {
  if (!sources_.poll()) return false;
  AbortRequested = 1;
  return true;
}

bool Installation::CopyEntry(const ArchiveEntry& entry, const EntryPlan& plan, CFileDX* staging) {
  ContentChecksum checksum{};
  for (uint32_t done = 0; done < entry.size;) {
    if (Stopping()) return true;
    uint32_t length = entry.size - done < CopyBlockSize ? entry.size - done : CopyBlockSize;
    if (!block_ || executable_.Read(block_.get(), length) != length) return false;  // stays InstallDamaged
    UpdateContentChecksum(&checksum, block_.get(), length);
    if (staging->Write(block_.get(), length) != length) {
      pending_ = InstallWriteFailed;
      return false;
    }
    // The disk takes each block while the next is copied, instead of all of
    // them at the Flush below, and pages long written leave the cache for
    // the next blocks to reuse (bench/RESULTS.md).
    staging->WriteBehind(done, length);
    done += length;
    SetBarPosition(FileBarId, static_cast<uint32_t>(uint64_t{done} * FileBarMaximum / entry.size));
    if (Poll()) return true;
  }
  // Nothing is committed whose content is not on the disk.
  if (!staging->Flush()) {
    pending_ = InstallWriteFailed;
    return false;
  }
  if (Stopping() || plan.versionRow < 0) return true;
  const VersionEntry& row = shipped_.entries[plan.versionRow];
  return ChecksumWord0(checksum) == row.checksum[0] && ChecksumWord1(checksum) == row.checksum[1];
}

void Installation::Stage() {
  uint32_t count = header_.count;
  uint32_t i = 0;
  for (; i < count; ++i) {
    if (Stopping()) break;
    const ArchiveEntry& entry = entries_[i];
    uint64_t at = ArchiveOffset + entry.position;
    if (!executable_.Seek(static_cast<uint32_t>(at), static_cast<uint32_t>(at >> 32))) {
      AbortRequested = 1;
      break;
    }
    stagedNames_[i] = plans_[i].name;
    SetStatus(stagedNames_[i]);
    SetBarPosition(FileBarId, 0);
    if (Poll()) break;
    if (plans_[i].isVersionList) stagedNames_[i].clear();

    if (!stagedNames_[i].empty()) {
      StagedPaths paths;
      FormPaths(folder_, stagedNames_[i], &paths);
      ResetPathAttributes(paths.staging);
      RemoveFile(paths.staging);  // a leftover, or a link planted in its place
      CFileDX staging;
      if (!staging.OpenWrite(paths.staging, OpenWriteCreateNew)) {
        pending_ = InstallWriteFailed;
        break;
      }
      bool good = CopyEntry(entry, plans_[i], &staging);
      staging.Close();
      if (Stopping() || !good) break;
    }

    SetBarPosition(EntriesBarId, i + 1);
    if (Poll()) break;
  }
  stagedAll_ = i == count && !Stopping();
}

// Moves every staged file over its target. Each replaced file first gets a
// second name (a hard link, or a copy) so that, should a later move fail, every
// file can be put back and the folder holds only old files again.
bool Installation::Commit() {
  struct Done {
    size_t index;
    bool replacedOld;
  };
  std::vector<Done> done;
  bool ok = true;
  for (size_t i = 0; i < stagedNames_.size() && ok; ++i) {
    if (stagedNames_[i].empty()) continue;
    StagedPaths paths;
    FormPaths(folder_, stagedNames_[i], &paths);
    ResetPathAttributes(paths.final);
    RemoveFile(paths.backup);  // a backup of an interrupted run is never installed
    bool hadOld = GetPathAttributes(paths.final) != InvalidFileAttributes;
    if (hadOld && !LinkOrCopyFile(paths.final, paths.backup)) {
      ok = false;
    } else if (!MoveFileReplacing(paths.staging, paths.final)) {
      ok = false;
    } else {
      done.push_back({i, hadOld});
    }
  }
  if (!ok) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
      StagedPaths paths;
      FormPaths(folder_, stagedNames_[it->index], &paths);
      bool restored = it->replacedOld ? MoveFileReplacing(paths.backup, paths.final) : RemoveFile(paths.final);
      if (!restored && it->replacedOld) keepBackup_[it->index] = true;
    }
  }
  for (const std::u16string& name : stagedNames_) {
    StagedPaths paths;
    if (!name.empty() && FormPaths(folder_, name, &paths)) FlushFolderOf(paths.final);
  }
  return ok;
}

void Installation::MergeVersionList() {
  char16_t path[PathCapacity];
  VersionList installed;
  if (FormatWide(path, PathCapacity, u"%s\\vlk.hvl", folder_) < 0 || !LoadVersionList(path, &installed)) return;
  // The first installed row of each name; rows appended here are not searched.
  std::unordered_map<std::string, size_t> firstRow;
  for (size_t i = installed.entries.size(); i-- > 0;) firstRow[Lowered(installed.entries[i].name)] = i;
  for (const VersionEntry& row : shipped_.entries) {
    auto match = firstRow.find(Lowered(row.name));
    if (match != firstRow.end()) {
      size_t found = match->second;
      installed.entries[found].checksum[0] = row.checksum[0];
      installed.entries[found].checksum[1] = row.checksum[1];
    } else {
      installed.entries.push_back(row);
    }
  }
  installed.header.count = static_cast<uint32_t>(installed.entries.size());
  SaveVersionList(installed, path);
}

void Installation::PruneVersionList() {
  char16_t path[PathCapacity];
  VersionList installed;
  if (FormatWide(path, PathCapacity, u"%s\\vlk.hvl", folder_) < 0 || !LoadVersionList(path, &installed)) return;
  std::vector<VersionEntry> kept;
  for (VersionEntry& row : installed.entries) {
    char16_t file[PathCapacity];
    std::u16string name = NarrowToWide(row.name.c_str());
    // A row whose path cannot be formed is kept rather than lost.
    if (FormatWide(file, PathCapacity, u"%s\\%s", folder_, name.c_str()) < 0 ||
        GetPathAttributes(file) != InvalidFileAttributes)
      kept.push_back(std::move(row));
  }
  installed.entries = std::move(kept);
  installed.header.count = static_cast<uint32_t>(installed.entries.size());
  SaveVersionList(installed, path);
}

void Installation::CleanUp() {
  for (size_t i = 0; i < stagedNames_.size(); ++i) {
    StagedPaths paths;
    if (stagedNames_[i].empty() || !FormPaths(folder_, stagedNames_[i], &paths)) continue;
    RemoveFile(paths.staging);
    if (!keepBackup_[i]) RemoveFile(paths.backup);
  }
}

InstallResult Installation::Run() {
  if (ReadIndex()) {
    stagedNames_.resize(header_.count);
    keepBackup_.resize(header_.count);
    ReadShippedList();

    SetBarRange(FileBarId, FileBarMaximum);
    SetBarPosition(FileBarId, 0);
    SetBarRange(EntriesBarId, header_.count);
    SetBarPosition(EntriesBarId, 0);
    Poll();
    block_.reset(new (std::nothrow) unsigned char[CopyBlockSize]());

    InstallResult planned = PlanEntries();
    if (planned != InstallSucceeded) {
      pending_ = planned;
    } else if (!HoldFolder(folder_)) {
      pending_ = InstallWriteFailed;
    } else {
      // From here on a folder of the game swapped for a link is not followed.
      Stage();
      if (stagedAll_) {
        if (!Commit()) {
          pending_ = InstallWriteFailed;
        } else {
          // A "vlk.hvl" too large for the memory there is keeps its rows, as
          // one that cannot be read does.
          try {
            MergeVersionList();
            PruneVersionList();
          } catch (const std::bad_alloc&) {
          }
          pending_ = UpdateUninstallList(folder_, stagedNames_.data(), stagedNames_.size())
                         ? InstallSucceeded
                         : InstallUninstallListFailed;
        }
      }
      CleanUp();
      ReleaseHeldFolder();
    }
  }
  if (AbortRequested) pending_ = InstallAborted;
  if (CancelRequested) pending_ = InstallCancelled;
  return pending_;
}

}  // namespace

InstallResult InstallUpdateFrom(const char16_t* folder, const InstallSources& sources) {
  Installation installation(folder, sources);
  return installation.Run();
}

InstallResult InstallUpdate(const char16_t* folder) {
  char16_t path[PathCapacity] = {};
  GetOwnExecutablePath(path, PathCapacity);  // no path reads as a payload that cannot be opened
  return InstallUpdateFrom(folder, {path, CurrentProgressControls(), PollMessages});
}
