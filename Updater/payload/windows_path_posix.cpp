#include "payload/windows_path_posix.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The spelling under which `name` exists in `folder`, or an empty string. Several
// candidates differing only in case cannot exist on Windows; here the first in
// byte order wins, so the choice does not depend on directory order.
std::string FindInFolder(const std::string& folder, std::string_view name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::vector<std::string> matches;
  while (dirent* entry = readdir(dir)) {
    if (EqualIgnoringAsciiCase<char>(name, entry->d_name)) matches.emplace_back(entry->d_name);
  }
  closedir(dir);
  if (matches.empty()) return {};
  return *std::min_element(matches.begin(), matches.end());
}

}  // namespace

std::string WinePrefixFolder() {
  const char* prefix = std::getenv("WINEPREFIX");
  if (prefix && *prefix) return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.wine";
}

bool ResolveWindowsPath(const char16_t* path, std::string* posixPath) {
  std::string text = WideToNarrow(path, TargetUtf8);
  if (text.empty() && path[0] != 0) return false;

  std::string resolved;
  std::string_view rest = text;
  if (text.size() >= 2 && text[1] == ':' && FoldAscii(text[0]) >= 'a' && FoldAscii(text[0]) <= 'z') {
    resolved = WinePrefixFolder() + "/dosdevices/" + FoldAscii(text[0]) + ":";
    rest.remove_prefix(2);
  }
  bool matching = true;
  bool first = true;
  for (std::string_view component : SplitComponents(rest)) {
    component = AsWin32Name(component);
    if (!first) resolved += '/';
    first = false;
    if (matching && !component.empty() && component != "." && component != ".." &&
        !Exists(resolved + std::string(component))) {
      std::string found = FindInFolder(resolved.empty() ? "." : resolved, component);
      matching = !found.empty();  // nothing below a missing entry can exist
      if (matching) {
        resolved += found;
        continue;
      }
    }
    resolved += component;
  }
  *posixPath = resolved;
  return true;
}
