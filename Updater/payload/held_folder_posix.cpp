#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <unordered_map>

#include "payload/held_folder.h"
#include "payload/held_folder_posix.h"
#include "payload/windows_path_posix.h"
#include "text/text.h"

namespace {

// A folder below the held one: its names by their ASCII-folded spelling.
using Spellings = std::unordered_map<std::string, std::string>;

// The held folder: its Windows path as given, its resolved path and a
// descriptor opened when it was held, so that a later swap of the folder
// itself changes nothing either.
struct HeldFolder {
  std::u16string windowsPath;
  std::string path;
  int descriptor = -1;
  // The names of each folder below it (by its path from it), read once, at
  // the first name looked up there that is not spelt as it stands. The install
  // spells its own new names (staging, backup) the same way each time, so they
  // are found as they stand and need not be added; a name that went since is
  // not found under the spelling kept, as if it had never been.
  std::unordered_map<std::string, Spellings> spellings;
  // Each folder below it, opened once at the first path through it and kept
  // open while it is held (by the path as asked): as on Windows, a folder
  // swapped for another later changes nothing, and a run over many files in
  // one folder does not open it again for each.
  struct OpenFolder {
    int descriptor;
    std::string key;  // its path from the held folder, as spelt there
  };
  std::unordered_map<std::string, OpenFolder> folders;
};
HeldFolder held;

std::string Folded(std::string name) {
  for (char& c : name) c = FoldAscii(c);
  return name;
}

// Where several names differ only in case (which Windows does not allow), the
// first in byte order wins, so that the choice does not depend on the order
// of the folder's entries.
Spellings ReadSpellings(int folder) {
  Spellings spellings;
  int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* dir = listing >= 0 ? fdopendir(listing) : nullptr;
  if (!dir) {
    if (listing >= 0) close(listing);
    return spellings;
  }
  while (dirent* entry = readdir(dir)) {
    auto [kept, added] = spellings.try_emplace(Folded(entry->d_name), entry->d_name);
    if (!added && kept->second > entry->d_name) kept->second = entry->d_name;
  }
  closedir(dir);
  return spellings;
}

// The spelling under which `name` stands in the open folder `folder` (whose
// path from the held folder is `key`), as Windows matches names: the name as
// it stands, else the one it names whatever its ASCII case, else as it stands.
std::string SpellingIn(int folder, const std::string& key, const std::string& name) {
  struct stat st;
  if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return name;
  auto [spellings, added] = held.spellings.try_emplace(key);
  if (added) spellings->second = ReadSpellings(folder);
  auto found = spellings->second.find(Folded(name));
  return found == spellings->second.end() ? name : found->second;
}

// The components of `path` below the held folder, in UTF-8. A path spelt from
// the held folder's own text (as the install forms every path) is split
// without touching the disk; any other is resolved from its start first.
// Refused sets errno: EACCES for a climb out with "..", EILSEQ for a name no
// file can have.
PlaceInFolder ComponentsBelowHeld(const char16_t* path, std::vector<std::string>* below) {
  std::vector<std::u16string_view> wide;
  PlaceInFolder where = ComponentsBelow<char16_t>(held.windowsPath, path, &wide);
  if (where == PlaceInFolder::Refused) errno = EACCES;
  if (where == PlaceInFolder::Below) {
    for (std::u16string_view component : wide) {
      std::string narrow = WideToNarrow(std::u16string(AsWin32Name(component)).c_str(), TargetUtf8);
      if (narrow.empty()) {
        errno = EILSEQ;  // a name no file can have
        return PlaceInFolder::Refused;
      }
      below->push_back(narrow);
    }
    return where;
  }
  std::string resolved;
  if (!ResolveWindowsPath(path, &resolved)) {
    errno = EILSEQ;
    return PlaceInFolder::Refused;
  }
  std::vector<std::string_view> narrow;
  where = ComponentsBelow<char>(held.path, resolved, &narrow);
  if (where == PlaceInFolder::Refused) errno = EACCES;
  for (std::string_view component : narrow) below->emplace_back(component);
  return where;
}

}  // namespace

bool HoldFolder(const char16_t* folder) {
  ReleaseHeldFolder();
  std::string path;
  if (!ResolveWindowsPath(folder, &path)) return false;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  held = {std::u16string(WithoutTrailingSeparators<char16_t>(folder)), path, descriptor, {}, {}};
  return true;
}

bool IsHeldFolder(const char16_t* folder) {
  return held.descriptor >= 0 && WithoutTrailingSeparators<char16_t>(folder) == held.windowsPath;
}

bool LockHeldFolder() { return held.descriptor >= 0 && flock(held.descriptor, LOCK_EX | LOCK_NB) == 0; }

void ReleaseHeldFolder() {
  for (auto& entry : held.folders) close(entry.second.descriptor);
  if (held.descriptor >= 0) close(held.descriptor);
  held = {};
}

bool ResolveWindowsPlace(const char16_t* path, PosixPlace* place) {
  if (held.descriptor < 0) {
    if (ResolveWindowsPath(path, &place->name)) return true;
    errno = EILSEQ;  // a name no file can have
    return false;
  }
  std::vector<std::string> below;
  PlaceInFolder where = ComponentsBelowHeld(path, &below);
  if (where == PlaceInFolder::Refused) return false;
  if (where == PlaceInFolder::Outside) {
    errno = EACCES;  // while a folder is held, nothing outside it is touched
    return false;
  }
  if (where != PlaceInFolder::Below) {
    if (ResolveWindowsPath(path, &place->name)) return true;
    errno = EILSEQ;
    return false;
  }
  int folder = held.descriptor;
  std::string key, asked;
  for (size_t i = 0; i + 1 < below.size(); ++i) {
    asked += "/" + below[i];
    auto opened = held.folders.find(asked);
    if (opened == held.folders.end()) {
      std::string component = SpellingIn(folder, key, below[i]);
      int next = openat(folder, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) {
        int error = errno;
        struct stat st;
        if (fstatat(folder, component.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
          error = ELOOP;  // reported as on Windows: access denied
        errno = error;
        return false;
      }
      opened = held.folders.emplace(asked, HeldFolder::OpenFolder{next, key + "/" + component}).first;
    }
    folder = opened->second.descriptor;
    key = opened->second.key;
  }
  place->folder = folder;
  place->name = SpellingIn(folder, key, below.back());
  place->held = true;
  place->key = key;
  return true;
}

void NoteNameAdded(const PosixPlace& place) {
  auto spellings = place.held ? held.spellings.find(place.key) : held.spellings.end();
  if (spellings == held.spellings.end()) return;  // not read yet: it will be read as it is then
  auto [kept, added] = spellings->second.try_emplace(Folded(place.name), place.name);
  if (!added && kept->second > place.name) kept->second = place.name;
}

void NoteNameRemoved(const PosixPlace& place) {
  auto spellings = place.held ? held.spellings.find(place.key) : held.spellings.end();
  if (spellings == held.spellings.end()) return;
  auto kept = spellings->second.find(Folded(place.name));
  if (kept != spellings->second.end() && kept->second == place.name) spellings->second.erase(kept);
}
