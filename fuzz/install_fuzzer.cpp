// The whole install from a damaged or hostile payload into the tests' old game.
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
#include <filesystem>
#include <map>

#include "app/app_state.h"
#include "fuzz_support.h"
#include "install/install.h"
#include "lists/version_list.h"
#include "payload/file.h"
#include "payload/payload.h"
#include "support/file_faults_injected.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {

int quitAtPoll = 0, polls = 0;
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
std::string Stamp(const std::string& path, bool withContent) {
  struct stat st {};
  FUZZ_CHECK(lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode));
  return (withContent ? ReadBytes(path) : "") + std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) +
         "." + std::to_string(st.st_mtim.tv_nsec) + " " + std::to_string(st.st_ctim.tv_sec) + "." +
         std::to_string(st.st_ctim.tv_nsec);
}

bool Mentions(const uint8_t* data, size_t size, const char* what) {
  auto folded = [](char a, char b) { return (a | 0x20) == (b | 0x20); };
  return std::search(data, data + size, what, what + std::strlen(what), folded) != data + size;
}

std::string Lowered(std::string name) { return LowerText(name); }

// The files the install is expected to have written: every archive entry but
// the version list, under the name of its row in the shipped list when it has
// one, else its own. The lists (and their new copies) are rewritten afterwards.
std::map<std::u16string, std::string> ExpectedFiles(const std::u16string& payload) {
  std::map<std::u16string, std::string> files;
  CFileDX file;
  ArchiveHeader header;
  std::vector<ArchiveEntry> entries;
  VersionList shipped;
  if (!file.OpenRead(payload.c_str()) || !file.Seek(ArchiveOffset, 0) || !ReadArchiveIndex(&header, &entries, &file))
    return files;
  auto seekTo = [&](const ArchiveEntry& entry) {
    uint64_t at = ArchiveOffset + entry.position;
    return file.Seek(static_cast<uint32_t>(at), static_cast<uint32_t>(at >> 32));
  };
  for (const ArchiveEntry& entry : entries) {
    if (Lowered(entry.name) != "vlk.hvl") continue;
    if (seekTo(entry)) ReadVersionList(&file, &shipped);
    break;
  }
  for (const ArchiveEntry& entry : entries) {
    int row = FindVersionEntryForFile(shipped, entry.name.c_str());
    std::string name = row >= 0 ? shipped.entries[row].name : entry.name, lowered = Lowered(name);
    if (name.empty() || lowered == "vlk.hvl" || lowered == "uninst.lst" || lowered == "vlk.hvl.upd-new" ||
        lowered == "uninst.lst.upd-new")
      continue;
    std::string content(entry.size, '\0');
    FUZZ_CHECK(seekTo(entry) && file.Read(content.data(), entry.size) == entry.size);
    files[NarrowToWide(name.c_str())] = content;
  }
  return files;
}

void CheckNoLeftovers(const std::string& folder) {
  for (auto& entry : fs::recursive_directory_iterator(folder)) {
    std::string name = Lowered(entry.path().filename());
    for (std::string suffix : {".tmp", ".upd-backup", ".upd-new"})
      FUZZ_CHECK(name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0);
  }
}

}  // namespace

const size_t MaxInputSize = 1 << 16;

void FuzzOne(const uint8_t* data, size_t size) {
  if (size < 1) return;
  static const std::string root = ScratchFolder() + "/run";
  const std::string game = root + "/game", outside = root + "/outside/keep.pak", payload = root + "/payload.exe";
  fs::remove_all(root);
  WriteFiles(game, OldGame());
  WriteFiles(root, {{"outside/keep.pak", "outside the game"}});
  const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  FUZZ_CHECK(utimensat(AT_FDCWD, outside.c_str(), past, 0) == 0);
  WriteFileAt(payload, ArchiveOffset, data + 1, size - 1);
  // The payload is mostly a hole: its times and size tell whether it was written.
  const std::string outsideBefore = Stamp(outside, true), payloadBefore = Stamp(payload, false);

  CancelRequested = AbortRequested = 0;
  InjectedFileFaults = FileFaults{};
  polls = 0;
  quitAtPoll = data[0];
  CheckedProgress progress;
  const std::u16string widePayload = ToWide(payload), wideGame = ToWide(game);
  InstallResult result = InstallUpdateFrom(
      wideGame.c_str(), {widePayload.c_str(), &progress, Poll, &CancelRequested, &AbortRequested, u"%s", nullptr});
  FUZZ_CHECK(result == InstallSucceeded || (result >= InstallDamaged && result <= InstallAborted));
  FUZZ_CHECK(InjectedFileFaults.movesBeforeFlush == 0);

  FUZZ_CHECK(FolderNames(root) == (std::vector<std::string>{"game", "outside", "payload.exe"}));
  FUZZ_CHECK(FolderNames(root + "/outside") == std::vector<std::string>{"keep.pak"});
  FUZZ_CHECK(Stamp(outside, true) == outsideBefore && Stamp(payload, false) == payloadBefore);
  // An archive may itself name files like the temporary ones.
  if (!Mentions(data, size, ".tmp") && !Mentions(data, size, ".upd-")) CheckNoLeftovers(game);
  if (result == InstallSucceeded) {
    for (const auto& [name, content] : ExpectedFiles(widePayload)) {
      CFileDX file;
      std::string bytes(content.size() + 1, '\0');
      FUZZ_CHECK(file.OpenRead((wideGame + u"\\" + name).c_str()) && file.GetSize() == content.size() &&
                 file.Read(bytes.data(), static_cast<uint32_t>(content.size())) == content.size());
      FUZZ_CHECK(bytes.substr(0, content.size()) == content);
    }
  }
}
