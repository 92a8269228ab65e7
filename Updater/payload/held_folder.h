// Holding a folder: while a folder is held, every file operation on a path
// below it (filesystem.h, and every CFileDX open) reaches its file only through
// folders that are in it and are not links. A folder below it that is a link,
// or is swapped for one meanwhile, makes the operation fail instead of acting
// somewhere else, and a path that is not below it is refused. The install
// holds the game folder while it runs. One folder at a time; the walk below it
// is written once, here, for both platforms.
#pragma once

#include <string_view>
#include <vector>

#include "text/text.h"

bool HoldFolder(const char16_t* folder);
void ReleaseHeldFolder();
// True when `folder` is the folder held now, spelt as it was given to
// HoldFolder (trailing separators aside): it was resolved when it was held,
// and is not looked up by its name again.
bool IsHeldFolder(const char16_t* folder);
// Locks the held folder against every other updater that holds it, whatever
// their environment (POSIX: flock on its descriptor; on Windows the named
// mutex does this). False when another holds the lock.
bool LockHeldFolder();

// Holds a folder for as long as it lives; a folder held already by the caller
// stays held, and is not looked up again.
class HeldFolderScope {
 public:
  explicit HeldFolderScope(const char16_t* folder)
      : owned_(!IsHeldFolder(folder)), held_(!owned_ || HoldFolder(folder)) {}
  ~HeldFolderScope() {
    if (owned_ && held_) ReleaseHeldFolder();
  }
  HeldFolderScope(const HeldFolderScope&) = delete;
  HeldFolderScope& operator=(const HeldFolderScope&) = delete;
  bool ok() const { return held_; }

 private:
  bool owned_;
  bool held_;
};

// The folder as HoldFolder keeps it: without trailing separators.
template <typename Char>
std::basic_string_view<Char> WithoutTrailingSeparators(std::basic_string_view<Char> folder) {
  while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) folder.remove_suffix(1);
  return folder;
}

enum class PlaceInFolder { Outside, TheFolder, Below, Refused };

// Where `path` lies against the held folder `root` (both spelt by the same
// platform: resolved POSIX paths, or Windows paths), and for Below the
// components from the folder down to the file. Empty and "." components are
// dropped; ".." is refused, as Windows folds it away before it opens anything
// and so would climb out.
template <typename Char>
PlaceInFolder ComponentsBelow(std::basic_string_view<Char> root, std::basic_string_view<Char> path,
                              std::vector<std::basic_string_view<Char>>* below) {
  auto separator = [](Char c) { return c == '\\' || c == '/'; };
  bool rootEndsInSeparator = !root.empty() && separator(root.back());
  if (path.size() <= root.size() || path.substr(0, root.size()) != root ||
      !(rootEndsInSeparator || separator(path[root.size()])))
    return path == root ? PlaceInFolder::TheFolder : PlaceInFolder::Outside;
  below->clear();
  for (std::basic_string_view<Char> component : SplitComponents(path.substr(root.size()))) {
    if (component.size() == 2 && component[0] == '.' && component[1] == '.') return PlaceInFolder::Refused;
    if (!component.empty() && !(component.size() == 1 && component[0] == '.')) below->push_back(component);
  }
  return below->empty() ? PlaceInFolder::TheFolder : PlaceInFolder::Below;
}
