#include "install/install.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "install/checksum.h"
#include "install/install_plan.h"
#include "lists/uninstall_list.h"
#include "lists/version_list.h"
#include "payload/file.h"
#include "payload/filesystem.h"
#include "payload/held_folder.h"
#include "payload/payload.h"
#include "text/path_buffer.h"
#include "text/text.h"

namespace {

constexpr uint32_t FileBarMaximum = 65535;

// The names one entry is staged, installed and backed up under, formed once.
struct EntryPaths {
  std::u16string staging, final, backup;
};

bool FormPath(const char16_t* folder, const std::u16string& name, const char16_t* suffix, std::u16string* path) {
  PathBuffer<> buffer;
  if (!buffer.Format(u"%s\\%s%s", folder, name.c_str(), suffix)) return false;
  *path = buffer.c_str();
  return true;
}

// A folder of the game that `name` passes through and that is a link would
// carry the update's files somewhere else.
bool PassesThroughALink(const char16_t* folder, const std::u16string& name) {
  std::vector<std::u16string_view> components = SplitComponents<char16_t>(name);
  for (size_t i = 0; i + 1 < components.size(); ++i) {
    size_t end = static_cast<size_t>(components[i].data() - name.data()) + components[i].size();
    PathBuffer<> path;
    if (!path.Format(u"%s\\%s", folder, name.substr(0, end).c_str())) continue;
    uint32_t attributes = GetPathAttributes(path.c_str());
    if (attributes != InvalidFileAttributes && (attributes & FileAttributeReparsePoint)) return true;
  }
  return false;
}

// A row goes only when its file is known to be gone: one whose path cannot be
// formed, or that lies behind a folder the install does not follow (players
// move big data folders to another drive through a link), stays.
bool RowFileMayExist(const char16_t* folder, const VersionEntry& row) {
  PathBuffer<> file;
  return !file.Format(u"%s\\%s", folder, NarrowToWide(row.name.c_str()).c_str()) || !PathIsAbsent(file.c_str());
}

class Installation {
 public:
  Installation(const char16_t* folder, const InstallSources& sources) : folder_(folder), sources_(sources) {}
  InstallResult Run();

 private:
  // Removes what the run leaves beside the game's files, however it ends.
  struct CleanUpOnExit {
    Installation* installation;
    ~CleanUpOnExit() { installation->CleanUp(); }
  };

  InstallResult Install();
  InstallResult ReadIndex();
  const char* WhyIndexUnreadable();
  InstallResult ReadShippedList();
  void StartProgress();
  InstallResult Plan();
  InstallResult Stage();
  InstallResult StageEntry(size_t i);
  InstallResult CopyEntry(const ArchiveEntry& entry, const EntryPlan& plan, CFileDX* staging);
  InstallResult FlushStaged();
  bool LinkBackup(const EntryPaths& paths, bool* hadOld);
  InstallResult Commit();
  // An entry the commit moved into place, and how to put it back.
  struct MovedEntry {
    size_t index;
    bool hadOld;          // it replaced a file, which its backup holds
    bool reset;           // the read-only attribute of that file was reset
    uint32_t attributes;  // what that file had before
  };
  void RollBack(const std::vector<MovedEntry>& moved);
  void UpdateVersionList();
  void CleanUp();

  void SetStatus(const std::u16string& name);
  void SetBarRange(int bar, uint32_t maximum) {
    if (sources_.progress) sources_.progress->SetBarRange(bar, maximum);
  }
  void SetBarPosition(int bar, uint32_t position) {
    if (sources_.progress) sources_.progress->SetBarPosition(bar, position);
  }
  // Notes the first failure of the run for the caller (with the system's
  // reason, read at once, unless `detail` says why) and returns `result`.
  InstallResult Fail(InstallResult result, InstallStep step, const std::u16string& name, const char* detail = nullptr);
  // Polls the window; a quit message aborts the run. True when it did.
  bool PollQuits();
  bool Stopping() const { return *sources_.abortRequested || *sources_.cancelRequested; }
  InstallResult Stopped() const { return *sources_.cancelRequested ? InstallCancelled : InstallAborted; }

  const char16_t* folder_;
  InstallSources sources_;
  CFileDX executable_;
  ArchiveHeader header_{};
  std::vector<ArchiveEntry> entries_;
  VersionList shipped_;
  std::vector<EntryPlan> plans_;
  std::vector<EntryPaths> paths_;
  std::vector<std::u16string> stagedNames_;  // the entries the staging reached, as the uninstall list learns them
  std::vector<bool> keepBackup_;             // a backup whose restore failed holds the only old copy
  std::vector<bool> committed_;              // moved into place: no staging file is left
  // Staged files stay open until all are written, then are flushed in one
  // pass: the disk then commits them together instead of one by one.
  std::vector<std::unique_ptr<CFileDX>> open_;
  std::unique_ptr<unsigned char[]> block_;
};

InstallResult Installation::Fail(InstallResult result, InstallStep step, const std::u16string& name,
                                 const char* detail) {
  InstallReport* report = sources_.report;
  if (report && report->failedStep == InstallStep::None) {
    report->failedStep = step;
    report->failedName = name;
    report->systemError = detail ? 0 : LastFileError();
    report->detail = detail ? detail : "";
  }
  return result;
}

InstallResult Installation::Run() {
  InstallResult result = Install();
  // Cancel wins over abort, and both over every other outcome.
  if (*sources_.abortRequested) result = InstallAborted;
  if (*sources_.cancelRequested) result = InstallCancelled;
  return result;
}

InstallResult Installation::Install() {
  if (InstallResult read = ReadIndex(); read != InstallSucceeded) return read;
  if (InstallResult read = ReadShippedList(); read != InstallSucceeded) return read;
  StartProgress();
  if (InstallResult planned = Plan(); planned != InstallSucceeded) return planned;
  // From here on a folder of the game swapped for a link is not followed;
  // nothing, not even a list, is written in a folder that cannot be held.
  HeldFolderScope held(folder_);
  if (!held.ok()) return Fail(InstallWriteFailed, InstallStep::HoldFolder, folder_);
  CleanUpOnExit cleanUp{this};
  if (InstallResult staged = Stage(); staged != InstallSucceeded) return staged;
  if (InstallResult flushed = FlushStaged(); flushed != InstallSucceeded) return flushed;
  if (InstallResult committed = Commit(); committed != InstallSucceeded) return committed;
  UpdateVersionList();
  ClearLastFileError();
  const char* why = "";
  if (UpdateUninstallList(folder_, stagedNames_.data(), stagedNames_.size(), &why)) return InstallSucceeded;
  return Fail(InstallUninstallListFailed, InstallStep::RewriteList, UninstallListFileName, *why ? why : nullptr);
}

InstallResult Installation::ReadIndex() {
  ClearLastFileError();
  executable_.OpenRead(sources_.payloadPath);  // a failed open reads as a file whose reads fail
  if (executable_.GetSize() < ArchiveOffset)
    return Fail(InstallDamaged, InstallStep::ReadIndex, sources_.payloadPath, "the file ends before the archive");
  executable_.Seek(ArchiveOffset, 0);
  if (!ReadArchiveIndex(&header_, &entries_, &executable_))
    return Fail(InstallIndexUnreadable, InstallStep::ReadIndex, sources_.payloadPath, WhyIndexUnreadable());
  if (header_.count > MaxArchiveEntries)
    return Fail(InstallDamaged, InstallStep::ReadIndex, sources_.payloadPath, "more than 256 entries");
  return InstallSucceeded;
}

// The index's header read again, to say why the index could not be read;
// null when the system gave a reason.
const char* Installation::WhyIndexUnreadable() {
  if (LastFileError() != 0) return nullptr;
  ArchiveHeader header;
  if (!executable_.Seek(ArchiveOffset, 0) || executable_.Read(&header, sizeof header) != sizeof header)
    return "the file ends inside the archive header";
  for (ArchiveLayout layout : {ArchiveLayout::Arc20, ArchiveLayout::PackFile})
    if (std::memcmp(header.magic, FieldsOf(layout).magic, sizeof header.magic) == 0)
      return "the archive index is cut short, or too large for the memory there is";
  return "no archive index of either layout";
}

// Without a list every entry goes unverified under its own name; a list that
// is there but damaged is a damaged update.
InstallResult Installation::ReadShippedList() {
  if (ReadShippedVersionList(executable_, entries_, &shipped_) != ShippedList::Damaged) return InstallSucceeded;
  return Fail(InstallDamaged, InstallStep::ReadShippedList, ShippedVersionListName,
              "not a whole version list");
}

void Installation::StartProgress() {
  SetBarRange(FileBarId, FileBarMaximum);
  SetBarPosition(FileBarId, 0);
  SetBarRange(EntriesBarId, header_.count);
  SetBarPosition(EntriesBarId, 0);
  PollQuits();
  block_.reset(new (std::nothrow) unsigned char[CopyBlockSize]());
}

// Chooses every entry's target and refuses, before anything is written, names
// the updater cannot install, paths that do not fit and names through a link.
InstallResult Installation::Plan() {
  plans_ = PlanEntries(shipped_, entries_);
  std::vector<std::u16string> targets = TargetNamesOf(plans_);
  if (TargetNameCheck check = CheckTargetNames(targets); check.fault != TargetNameFault::None)
    return Fail(InstallResultOf(check.fault), InstallStep::CheckNames, targets[check.name],
                DescribeTargetNameFault(check.fault));
  paths_.resize(plans_.size());
  for (size_t i = 0; i < plans_.size(); ++i) {
    if (targets[i].empty()) continue;
    EntryPaths& paths = paths_[i];
    if (!FormPath(folder_, targets[i], StagingSuffix, &paths.staging) ||
        !FormPath(folder_, targets[i], u"", &paths.final) || !FormPath(folder_, targets[i], BackupSuffix, &paths.backup))
      return Fail(InstallWriteFailed, InstallStep::CheckNames, targets[i], "the path is too long");
    if (PassesThroughALink(folder_, targets[i]))
      return Fail(InstallWriteFailed, InstallStep::CheckNames, targets[i], "a folder on the way is a link");
  }
  stagedNames_.resize(plans_.size());
  keepBackup_.resize(plans_.size());
  committed_.resize(plans_.size());
  open_.resize(plans_.size());
  return InstallSucceeded;
}

void Installation::SetStatus(const std::u16string& name) {
  PathBuffer<PathCapacity + 64> status;
  if (sources_.progress && status.Format(sources_.statusFormat, name.c_str()))
    sources_.progress->SetStatusText(status.c_str());
}

bool Installation::PollQuits() {
  if (!sources_.poll()) return false;
  *sources_.abortRequested = 1;
  return true;
}

InstallResult Installation::Stage() {
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (Stopping()) return Stopped();
    if (!SeekTo(executable_, ArchiveOffset + entries_[i].position)) {
      *sources_.abortRequested = 1;
      return InstallAborted;
    }
    stagedNames_[i] = plans_[i].name;
    SetStatus(stagedNames_[i]);
    SetBarPosition(FileBarId, 0);
    if (PollQuits()) return Stopped();
    if (plans_[i].isVersionList) stagedNames_[i].clear();
    if (!stagedNames_[i].empty()) {
      if (InstallResult staged = StageEntry(i); staged != InstallSucceeded) return staged;
    }
    SetBarPosition(EntriesBarId, static_cast<uint32_t>(i + 1));
    if (PollQuits()) return Stopped();
  }
  return Stopping() ? Stopped() : InstallSucceeded;
}

InstallResult Installation::StageEntry(size_t i) {
  const char16_t* staging = paths_[i].staging.c_str();
  open_[i] = std::make_unique<CFileDX>();
  CFileDX& file = *open_[i];
  if (!file.OpenWrite(staging, OpenWriteCreateNew)) {
    // A leftover of an interrupted run, or a link planted in its place.
    ResetPathAttributes(staging);
    RemoveFile(staging);
    if (!file.OpenWrite(staging, OpenWriteCreateNew)) return Fail(InstallWriteFailed, InstallStep::Open, plans_[i].name);
  }
  InstallResult copied = CopyEntry(entries_[i], plans_[i], &file);
  return Stopping() ? Stopped() : copied;
}

InstallResult Installation::CopyEntry(const ArchiveEntry& entry, const EntryPlan& plan, CFileDX* staging) {
  ContentChecksum checksum{};
  for (uint32_t done = 0; done < entry.size;) {
    if (Stopping()) return Stopped();
    uint32_t length = std::min(entry.size - done, CopyBlockSize);
    ClearLastFileError();
    if (!block_ || executable_.Read(block_.get(), length) != length)
      return Fail(InstallDamaged, InstallStep::Read, plan.name,
                  !block_ ? "no memory for the copy" : LastFileError() ? nullptr : "the update ends early");
    UpdateContentChecksum(&checksum, block_.get(), length);
    if (staging->Write(block_.get(), length) != length) return Fail(InstallWriteFailed, InstallStep::Write, plan.name);
    // The disk takes each block while the next is copied, instead of all of
    // them at the Flush below, and pages long written leave the cache for
    // the next blocks to reuse (bench/RESULTS.md).
    staging->WriteBehind(done, length);
    done += length;
    SetBarPosition(FileBarId, static_cast<uint32_t>(uint64_t{done} * FileBarMaximum / entry.size));
    if (PollQuits()) return Stopped();
  }
  if (plan.versionRow < 0) return InstallSucceeded;  // no row: installed unverified
  const VersionEntry& row = shipped_.entries[plan.versionRow];
  if (ChecksumWord0(checksum) == row.checksum[0] && ChecksumWord1(checksum) == row.checksum[1]) return InstallSucceeded;
  return Fail(InstallDamaged, InstallStep::Verify, plan.name, "the content differs from its checksum");
}

// Nothing is committed whose content is not on the disk.
InstallResult Installation::FlushStaged() {
  for (size_t i = 0; i < open_.size(); ++i) {
    if (!open_[i]) continue;
    bool flushed = open_[i]->Flush();
    if (!flushed) return Fail(InstallWriteFailed, InstallStep::Flush, plans_[i].name);
    open_[i].reset();
    if (sources_.report) sources_.report->staged.push_back(plans_[i].name);
  }
  return InstallSucceeded;
}

// Gives the file to be replaced a second name, the backup; a file that is not
// there yet has none. A backup left by an interrupted run is never installed:
// it is replaced.
bool Installation::LinkBackup(const EntryPaths& paths, bool* hadOld) {
  *hadOld = true;
  if (LinkOrCopyFile(paths.final.c_str(), paths.backup.c_str())) return true;
  if (PathIsAbsent(paths.final.c_str())) {
    *hadOld = false;
    return true;
  }
  RemoveFile(paths.backup.c_str());
  return LinkOrCopyFile(paths.final.c_str(), paths.backup.c_str());
}

// Moves every staged file over its target. Each replaced file first gets a
// second name (a hard link, or a copy) so that, should a later move fail, every
// file can be put back, attributes and all, and the folder holds only old files
// again. The new file takes the old one's attributes but read-only, which is
// reset first (mode and owner on POSIX): a player's file stays the player's
// after an administrator's run.
InstallResult Installation::Commit() {
  std::vector<MovedEntry> moved;
  bool ok = true;
  for (size_t i = 0; i < stagedNames_.size() && ok; ++i) {
    if (stagedNames_[i].empty()) continue;
    const EntryPaths& paths = paths_[i];
    MovedEntry entry{i, false, false, 0};
    entry.reset = ResetPathAttributes(paths.final.c_str(), &entry.attributes);
    TakeAttributesOf(paths.final.c_str(), paths.staging.c_str());  // none to take from a new file
    ok = LinkBackup(paths, &entry.hadOld) && MoveFileReplacing(paths.staging.c_str(), paths.final.c_str());
    if (ok) {
      moved.push_back(entry);
      committed_[i] = true;
    } else {
      if (entry.reset) RestorePathAttributes(paths.final.c_str(), entry.attributes);
      Fail(InstallWriteFailed, InstallStep::Move, stagedNames_[i]);
    }
  }
  if (!ok) RollBack(moved);
  // Each folder's renames are made durable once, after all of them.
  std::vector<std::u16string> folders;
  for (size_t i = 0; i < stagedNames_.size(); ++i) {
    if (stagedNames_[i].empty()) continue;
    std::u16string folder = paths_[i].final.substr(0, paths_[i].final.find_last_of(u"\\/"));
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
    folders.push_back(folder);
    FlushFolderOf(paths_[i].final.c_str());
  }
  return ok ? InstallSucceeded : InstallWriteFailed;
}

// Puts back, newest first, every file the commit moved, with the attributes it had.
void Installation::RollBack(const std::vector<MovedEntry>& moved) {
  for (size_t k = moved.size(); k-- > 0;) {
    const MovedEntry& entry = moved[k];
    const EntryPaths& paths = paths_[entry.index];
    bool restored = entry.hadOld ? MoveFileReplacing(paths.backup.c_str(), paths.final.c_str())
                                 : RemoveFile(paths.final.c_str());
    if (restored && entry.hadOld && entry.reset) RestorePathAttributes(paths.final.c_str(), entry.attributes);
    if (!restored && entry.hadOld) keepBackup_[entry.index] = true;
    committed_[entry.index] = false;
  }
}

// The shipped rows go into the game's "vlk.hvl", then the rows whose files are
// gone leave it. A list that cannot be read stays as it is; neither changes the
// result.
// Written once with both applied: its bytes are those of a merge saved and
// then pruned, and a crash leaves the old list or the new one.
void Installation::UpdateVersionList() {
  PathBuffer<> path;
  if (!path.Format(u"%s\\%s", folder_, VersionListFileName)) return;
  EditVersionList(path.c_str(), [this](VersionList* list) {
    MergeVersionList(list, shipped_);
    PruneVersionList(list, [this](const VersionEntry& row) { return RowFileMayExist(folder_, row); });
  });
}

void Installation::CleanUp() {
  open_.clear();  // a staged file open on Windows cannot be removed
  for (size_t i = 0; i < stagedNames_.size(); ++i) {
    if (stagedNames_[i].empty()) continue;
    if (!committed_[i]) RemoveFile(paths_[i].staging.c_str());
    if (!keepBackup_[i]) RemoveFile(paths_[i].backup.c_str());
  }
}

}  // namespace

const char* DescribeInstallStep(InstallStep step) {
  switch (step) {
    case InstallStep::None: return "";
    case InstallStep::ReadIndex: return "archive index read";
    case InstallStep::ReadShippedList: return "version list read";
    case InstallStep::CheckNames: return "name check";
    case InstallStep::HoldFolder: return "folder open";
    case InstallStep::Open: return "open";
    case InstallStep::Read: return "read";
    case InstallStep::Write: return "write";
    case InstallStep::Flush: return "flush";
    case InstallStep::Verify: return "verification";
    case InstallStep::Move: return "move into place";
    case InstallStep::RewriteList: return "list rewrite";
  }
  return "";
}

InstallResult InstallUpdateFrom(const char16_t* folder, const InstallSources& sources) {
  Installation installation(folder, sources);
  return installation.Run();
}
