#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "payload/held_folder.h"
#include "payload/held_folder_posix.h"
#include "payload/windows_path_posix.h"

namespace {

// The held folder: its resolved path and a descriptor opened when it was held,
// so that a later swap of the folder itself changes nothing either.
struct HeldFolder {
  std::string path;
  int descriptor = -1;
};
HeldFolder held;

}  // namespace

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
    errno = EILSEQ;  // a name no file can have
    return false;
  }
  std::vector<std::string_view> below;
  PlaceInFolder where = held.descriptor < 0 ? PlaceInFolder::Outside
                                            : ComponentsBelow<char>(held.path, resolved, &below);
  // While a folder is held, nothing outside it is touched.
  if (where == PlaceInFolder::Refused || (held.descriptor >= 0 && where == PlaceInFolder::Outside)) {
    errno = EACCES;
    return false;
  }
  if (where != PlaceInFolder::Below) {
    place->name = resolved;
    return true;
  }
  int folder = held.descriptor;
  for (size_t i = 0; i + 1 < below.size(); ++i) {
    std::string component(below[i]);
    int next = openat(folder, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int error = errno;
    struct stat st;
    if (next < 0 && fstatat(folder, component.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
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
  place->name = below.back();
  return true;
}
