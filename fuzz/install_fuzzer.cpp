// The whole install from a damaged or hostile payload into a small game folder.
// Input: one byte that picks the poll at which a quit message arrives (0: none),
// then the archive as it stands at 0x70400 of the packed updater.
//
// Whatever the payload holds, nothing outside the game folder changes: not the
// payload, not a sibling folder's file (content and time), and no new entry
// appears beside the game folder. The progress bars stay within their ranges,
// the install leaves none of its temporary files behind (unless the archive
// names such files itself), and a reported success means every archive entry
// is in place with its own content.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <map>

#include "app/app_state.h"
#include "app/progress.h"
#include "fuzz_support.h"
#include "install/install.h"
#include "lists/version_list.h"
#include "support/file_faults_injected.h"
#include "payload/file.h"
#include "payload/payload.h"
#include "text/text.h"

namespace {

int quitAtPoll = 0;
int polls = 0;

int Poll() { return ++polls == quitAtPoll; }

struct CheckedProgress : ProgressControls {
  std::map<int, uint32_t> maximum;
  void SetStatusText(const char16_t* text) override { FUZZ_CHECK(text != nullptr); }
  void SetBarRange(int bar, uint32_t value) override { maximum[bar] = value; }
  void SetBarPosition(int bar, uint32_t position) override {
    FUZZ_CHECK(maximum.count(bar) && position <= maximum[bar]);
  }
};

// What a write, a new link or a change of mode would change.
struct Stamp {
  std::string content;
  off_t size;
  timespec modified, changed;
  bool operator==(const Stamp& other) const {
    return content == other.content && size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && changed.tv_sec == other.changed.tv_sec &&
           changed.tv_nsec == other.changed.tv_nsec;
  }
};

Stamp StampOf(const std::string& path, bool withContent) {
  struct stat st {};
  FUZZ_CHECK(lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode));
  return {withContent ? ReadFile(path) : std::string(), st.st_size, st.st_mtim, st.st_ctim};
}

const char kOldList[] =
    "VHV_____\0\0\0\0\2\0\0\0"
    "Game.pak\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
    "\1\0\0\0\2\0\0\0"
    "data\\Map.pak\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
    "\3\0\0\0\4\0\0\0";

void MakeGame(const std::string& game) {
  MakeFolder(game);
  MakeFolder(game + "/data");
  WriteFile(game + "/LUMENTRAIL.exe", "game program");
  WriteFile(game + "/Game.pak", "old game");
  WriteFile(game + "/data/Map.pak", "old map");
  WriteFile(game + "/vlk.hvl", std::string(kOldList, sizeof kOldList - 1));
  WriteFile(game + "/uninst.lst", "LUMENTRAIL.exe\r\nGame.pak\r\n$Dir data\r\n");
}

bool Mentions(const uint8_t* data, size_t size, const char* what) {
  const size_t n = std::strlen(what);
  for (size_t i = 0; i + n <= size; ++i) {
    size_t k = 0;
    while (k < n && (data[i + k] | 0x20) == (what[k] | 0x20)) ++k;
    if (k == n) return true;
  }
  return false;
}

bool SeekTo(CFileDX* file, const ArchiveEntry& entry) {
  uint64_t at = ArchiveOffset + entry.position;
  return file->Seek(static_cast<uint32_t>(at), static_cast<uint32_t>(at >> 32));
}

// The files the install is expected to have written: every archive entry but
// the version list, under the name of its row in the shipped list when it has
// one, else its own. Lists rewritten after the copy are left out.
std::map<std::u16string, std::string> ExpectedFiles(const std::u16string& payload) {
  std::map<std::u16string, std::string> files;
  CFileDX file;
  ArchiveHeader header;
  std::vector<ArchiveEntry> entries;
  if (!file.OpenRead(payload.c_str()) || !file.Seek(ArchiveOffset, 0) ||
      !ReadArchiveIndex(&header, &entries, &file))
    return files;
  VersionList shipped;
  for (const ArchiveEntry& entry : entries) {
    std::string lowered = entry.name;
    LowerText(lowered.data());
    if (lowered != "vlk.hvl") continue;
    if (SeekTo(&file, entry)) ReadVersionList(&file, &shipped);
    break;
  }
  for (const ArchiveEntry& entry : entries) {
    int row = FindVersionEntryForFile(shipped, entry.name.c_str());
    std::string name = row >= 0 ? shipped.entries[row].name : entry.name;
    std::string lowered = name;
    LowerText(lowered.data());
    // The lists are rewritten after the copy, and so are their temporary names.
    if (name.empty() || lowered == "vlk.hvl" || lowered == "uninst.lst" || lowered == "vlk.hvl.upd-new" ||
        lowered == "uninst.lst.upd-new")
      continue;
    std::string content(entry.size, '\0');
    FUZZ_CHECK(SeekTo(&file, entry));
    FUZZ_CHECK(file.Read(content.data(), entry.size) == entry.size);
    files[NarrowToWide(name.c_str())] = content;
  }
  return files;
}

std::string Contents(const std::u16string& path) {
  CFileDX file;
  if (!file.OpenRead(path.c_str())) return "(missing)";
  std::string bytes(file.GetSize(), '\0');
  if (file.Read(bytes.data(), static_cast<uint32_t>(bytes.size())) != bytes.size()) return "(unreadable)";
  return bytes;
}

void CheckNoLeftovers(const std::string& folder) {
  for (const std::string& name : FolderNames(folder)) {
    std::string lowered = name;
    LowerText(lowered.data());
    for (const char* suffix : {".tmp", ".upd-backup", ".upd-new"}) {
      size_t n = std::strlen(suffix);
      FUZZ_CHECK(lowered.size() < n || lowered.compare(lowered.size() - n, n, suffix) != 0);
    }
    struct stat st {};
    if (lstat((folder + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode)) CheckNoLeftovers(folder + "/" + name);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return -1;
  static const std::string root = ScratchFolder() + "/run";
  const std::string game = root + "/game", outside = root + "/outside", payload = root + "/payload.exe";
  RemoveTree(root);
  MakeFolder(root);
  MakeGame(game);
  MakeFolder(outside);
  WriteFile(outside + "/keep.pak", "outside the game");
  const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  FUZZ_CHECK(utimensat(AT_FDCWD, (outside + "/keep.pak").c_str(), past, 0) == 0);
  WriteFileAt(payload, ArchiveOffset, data + 1, size - 1);
  // The payload is mostly a hole: its times and size tell whether it was written.
  const Stamp outsideBefore = StampOf(outside + "/keep.pak", true), payloadBefore = StampOf(payload, false);

  CancelRequested = AbortRequested = 0;
  InjectedFileFaults = FileFaults{};
  polls = 0;
  quitAtPoll = data[0];
  CheckedProgress progress;
  const std::u16string widePayload = Wide(payload), wideGame = Wide(game);
  InstallResult result =
      InstallUpdateFrom(wideGame.c_str(), {widePayload.c_str(), &progress, Poll, &CancelRequested, &AbortRequested, u"%s", nullptr});
  FUZZ_CHECK(result == InstallSucceeded || (result >= InstallDamaged && result <= InstallAborted));

  FUZZ_CHECK(FolderNames(root) == (std::vector<std::string>{"game", "outside", "payload.exe"}));
  FUZZ_CHECK(FolderNames(outside) == std::vector<std::string>{"keep.pak"});
  FUZZ_CHECK(StampOf(outside + "/keep.pak", true) == outsideBefore);
  FUZZ_CHECK(StampOf(payload, false) == payloadBefore);
  // An archive may itself name files like the temporary ones.
  if (!Mentions(data, size, ".tmp") && !Mentions(data, size, ".upd-")) CheckNoLeftovers(game);
  if (result == InstallSucceeded) {
    for (const auto& [name, content] : ExpectedFiles(widePayload)) {
      FUZZ_CHECK(Contents(wideGame + u"\\" + name) == content);
    }
  }
  return 0;
}
