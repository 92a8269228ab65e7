#include "game_check.h"

#include <filesystem>

#include "file_io.h"
#include "location/install_folder.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {

// The name of the entry of `folder` that the updater reaches as `name`: names
// match whatever their ASCII case. "" when none.
std::string FindInFolder(const fs::path& folder, const std::string& name) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::string entry = it->path().filename().string();
    if (EqualIgnoringAsciiCase<char>(entry, name)) return entry;
  }
  return "";
}

// A name component as Windows looks it up, without its trailing dots and
// spaces ("LUMENTRAIL.exe." is LUMENTRAIL.exe).
std::string WindowsComponent(std::string_view component) {
  size_t end = component.find_last_not_of(". ");
  return std::string(component.substr(0, end == std::string_view::npos ? 0 : end + 1));
}

// One spelling for all the names by which Windows finds one file.
std::string WindowsKey(const std::string& name) {
  std::string key;
  for (std::string_view component : SplitComponents<char>(name)) key += WindowsComponent(component) + "\\";
  for (char& c : key) c = FoldAscii(c);
  return key;
}

// Whether the updater, which drops the rows of the game's vlk.hvl whose files
// are gone once it has installed `installs`, finds the file of `row` gone. A
// row stays unless that is known: one behind a folder that is a link stays, as
// does one that leads out of the game folder or has a component of dots alone.
bool RowFileIsGone(const std::string& row, const std::vector<std::string>& installs, const std::string& game) {
  for (const std::string& name : installs)
    if (!name.empty() && WindowsKey(name) == WindowsKey(row)) return false;
  std::vector<std::string> parts;  // the path as Windows resolves it, below the game folder
  for (std::string_view component : SplitComponents<char>(row)) {
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
      continue;
    }
    parts.push_back(WindowsComponent(component));
    if (parts.back().empty()) return false;
  }
  fs::path at = game;
  for (size_t k = 0; k < parts.size(); ++k) {
    std::string entry = FindInFolder(at, parts[k]);
    if (entry.empty()) return true;
    at /= entry;
    std::error_code error;
    fs::file_status status = fs::symlink_status(at, error);
    bool last = k + 1 == parts.size();
    if (!last && fs::is_symlink(status)) return false;
    if (!last && !fs::is_directory(status)) return true;
  }
  return false;
}

// Why the updater could not write `name` into the game at `game`, or "" with
// `line` saying which game file it replaces or that it is new.
std::string CheckNameInGame(const std::string& name, const std::string& game, std::string* line) {
  std::vector<std::string_view> parts = SplitComponents<char>(name);
  fs::path at = game;
  std::string spelled;
  for (size_t k = 0; k < parts.size(); ++k) {
    bool last = k + 1 == parts.size();
    std::string entry = FindInFolder(at, std::string(parts[k]));
    spelled += (k ? "\\" : "") + (entry.empty() ? std::string(parts[k]) : entry);
    if (entry.empty() && !last) return name + ": the game has no folder " + spelled + ", and the updater creates none";
    if (entry.empty()) {
      *line = "new: " + name;
      return "";
    }
    at /= entry;
    std::error_code error;
    fs::file_status status = fs::symlink_status(at, error);
    if (!last && fs::is_symlink(status))
      return name + ": the game's folder " + spelled + " is a link, and the updater writes through none";
    if (!last && !fs::is_directory(status)) return name + ": the game's " + spelled + " is a file, not a folder";
    if (last && fs::is_directory(status)) return name + ": the game's " + spelled + " is a folder";
  }
  *line = "replaces: " + name + (spelled == name ? "" : " (the game's " + spelled + ")");
  return "";
}

}  // namespace

std::string CheckNamesInGame(const std::vector<std::string>& names, const std::string& game, std::FILE* out) {
  std::error_code error;
  fs::file_status status = fs::status(game, error);
  if (error) return Cannot("open", game, error);
  if (!fs::is_directory(status)) return game + ": not a folder";
  std::string executable = WideToNarrow(GameExecutableName, TargetUtf8);
  if (FindInFolder(game, executable).empty()) return game + ": holds no " + executable + "; give a copy of the installed game";

  std::string report, refusals;  // the report is printed only when every name can be written
  for (const std::string& name : names) {
    std::string line;
    std::string refusal = name.empty() ? "" : CheckNameInGame(name, game, &line);
    if (!refusal.empty()) refusals += (refusals.empty() ? "" : "\n") + refusal;
    if (!line.empty()) report += line + "\n";
  }
  if (refusals.empty()) std::fputs(report.c_str(), out);
  return refusals;
}

void ReportVersionRows(const VersionList& shipped, const std::vector<std::string>& installs, const std::string& game,
                       std::FILE* out) {
  std::string listName = FindInFolder(game, WideToNarrow(VersionListFileName, TargetUtf8));
  if (listName.empty()) {
    std::fprintf(out, "vlk.hvl: the game has none, and the updater makes none: it records no row\n");
    return;
  }
  VersionList installed;
  if (!LoadVersionList(NarrowToWide((fs::path(game) / listName).string().c_str()).c_str(), &installed)) {
    std::fprintf(out, "vlk.hvl: the game's %s is not a version list; the updater leaves it as it is and records no row\n",
                 listName.c_str());
    return;
  }
  for (const VersionEntry& row : shipped.entries) {
    const VersionEntry* old = nullptr;
    for (const VersionEntry& candidate : installed.entries)
      if (!old && EqualIgnoringAsciiCase<char>(candidate.name, row.name)) old = &candidate;
    if (!old)
      std::fprintf(out, "vlk.hvl adds: %s %08X %08X\n", row.name.c_str(), row.checksum[0], row.checksum[1]);
    else if (old->checksum[0] != row.checksum[0] || old->checksum[1] != row.checksum[1])
      std::fprintf(out, "vlk.hvl changes: %s %08X %08X to %08X %08X\n", old->name.c_str(), old->checksum[0],
                   old->checksum[1], row.checksum[0], row.checksum[1]);
    else
      std::fprintf(out, "vlk.hvl keeps: %s %08X %08X (the same content)\n", old->name.c_str(), row.checksum[0],
                   row.checksum[1]);
  }
  MergeVersionList(&installed, shipped);
  for (const VersionEntry& row : installed.entries) {
    if (RowFileIsGone(row.name, installs, game))
      std::fprintf(out, "vlk.hvl drops: %s %08X %08X (the game has no such file)\n", row.name.c_str(), row.checksum[0],
                   row.checksum[1]);
  }
}
