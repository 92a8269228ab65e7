#include "payload/windows_path_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "payload/filesystem.h"
#include "text/text.h"

namespace {

bool SameIgnoringAsciiCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The spelling under which `name` exists in `folder`, or an empty string. Several
// candidates differing only in case cannot exist on Windows; here the first in
// byte order wins, so the choice does not depend on directory order.
std::string FindInFolder(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::vector<std::string> matches;
  while (dirent* entry = readdir(dir)) {
    if (SameIgnoringAsciiCase(name, entry->d_name)) matches.emplace_back(entry->d_name);
  }
  closedir(dir);
  if (matches.empty()) return {};
  return *std::min_element(matches.begin(), matches.end());
}

// The held folder: its resolved path and a descriptor opened when it was held,
// so that a later swap of the folder itself changes nothing either.
struct HeldFolder {
  std::string path;
  int descriptor = -1;
};
HeldFolder held;

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
  std::replace(text.begin(), text.end(), '\\', '/');

  std::string resolved;
  size_t pos = 0;
  if (text.size() >= 2 && text[1] == ':' && ((text[0] | 0x20) >= 'a' && (text[0] | 0x20) <= 'z')) {
    resolved = WinePrefixFolder() + "/dosdevices/" + static_cast<char>(text[0] | 0x20) + ":";
    pos = 2;
  }

  bool matching = true;
  while (pos < text.size()) {
    if (text[pos] == '/') {
      resolved += '/';
      ++pos;
      continue;
    }
    size_t end = text.find('/', pos);
    if (end == std::string::npos) end = text.size();
    std::string component = text.substr(pos, end - pos);
    pos = end;
    if (matching && component != "." && component != ".." && !Exists(resolved + component)) {
      std::string folder = resolved.empty() ? "." : resolved;
      std::string found = FindInFolder(folder, component);
      if (found.empty()) {
        matching = false;  // nothing below a missing entry can exist
      } else {
        component = found;
      }
    }
    resolved += component;
  }
  *posixPath = resolved;
  return true;
}

bool HoldFolder(const char16_t* folder) {
  ReleaseHeldFolder();
  std::string path;
  if (!ResolveWindowsPath(folder, &path)) return false;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  int descriptor = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  held = {path, descriptor};
  return true;
}

void ReleaseHeldFolder() {
  if (held.descriptor >= 0) close(held.descriptor);
  held = {};
}

PosixPlace::~PosixPlace() {
  if (ownsFolder) close(folder);
}

bool ResolveWindowsPlace(const char16_t* path, PosixPlace* place) {
  std::string resolved;
  if (!ResolveWindowsPath(path, &resolved)) {
    errno = ENOTDIR;  // a name no file can have
    return false;
  }
  const std::string& root = held.path;
  bool below = held.descriptor >= 0 && resolved.size() > root.size() && resolved.compare(0, root.size(), root) == 0 &&
               (root == "/" || resolved[root.size()] == '/');
  if (!below) {
    place->name = resolved;
    return true;
  }
  std::vector<std::string> components;
  for (size_t pos = root.size(); pos < resolved.size();) {
    size_t end = resolved.find('/', pos);
    if (end == std::string::npos) end = resolved.size();
    std::string component = resolved.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      errno = EACCES;
      return false;
    }
    components.push_back(component);
  }
  if (components.empty()) {
    place->name = resolved;  // the held folder itself
    return true;
  }
  int folder = held.descriptor;
  for (size_t i = 0; i + 1 < components.size(); ++i) {
    int next = openat(folder, components[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    struct stat st;
    if (next < 0 && fstatat(folder, components[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
      error = ELOOP;  // reported as on Windows: access denied
    if (folder != held.descriptor) close(folder);
    if (next < 0) {
      errno = error;
      return false;
    }
    folder = next;
  }
  place->folder = folder;
  place->ownsFolder = folder != held.descriptor;
  place->name = components.back();
  return true;
}
