#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "payload/file_faults.h"
#include "payload/filesystem.h"
#include "payload/held_folder_posix.h"

namespace {

bool CopyFileContents(const PosixPlace& from, const PosixPlace& to) {
  int in = openat(from.folder, from.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return false;
  int out = openat(to.folder, to.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  bool ok = out >= 0;
  char buffer[1 << 16];
  ssize_t n;
  while (ok && (n = read(in, buffer, sizeof buffer)) != 0) {
    ok = n > 0 && write(out, buffer, static_cast<size_t>(n)) == n;
  }
  ok = ok && fsync(out) == 0;
  close(in);
  if (out >= 0) close(out);
  if (!ok && out >= 0) unlinkat(to.folder, to.name.c_str(), 0);
  return ok;
}

}  // namespace

uint32_t LastFileError() { return static_cast<uint32_t>(errno); }
void ClearLastFileError() { errno = 0; }

uint32_t GetPathAttributes(const char16_t* path) {
  PosixPlace place;
  struct stat st;
  if (!ResolveWindowsPlace(path, &place) || fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return InvalidFileAttributes;
  uint32_t link = S_ISLNK(st.st_mode) ? FileAttributeReparsePoint : 0;
  if (link && fstatat(place.folder, place.name.c_str(), &st, 0) != 0) return InvalidFileAttributes;  // a dangling link names nothing
  uint32_t attributes = link | (S_ISDIR(st.st_mode) ? FileAttributeDirectory : 0x80);  // FILE_ATTRIBUTE_NORMAL
  if (!(st.st_mode & S_IWUSR)) attributes |= FileAttributeReadOnly;
  return attributes;
}

bool PathIsAbsent(const char16_t* path) {
  PosixPlace place;
  struct stat st;
  if (ResolveWindowsPlace(path, &place) && fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
    return false;
  // A link where the held folder allows none is ELOOP: not known.
  return errno == ENOENT || errno == ENOTDIR;
}

bool ResetPathAttributes(const char16_t* path) {
  NoteFileSystemChange();
  PosixPlace place;
  struct stat st;
  if (!ResolveWindowsPlace(path, &place) || fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(st.st_mode))
    return false;
  return (st.st_mode & S_IWUSR) || fchmodat(place.folder, place.name.c_str(), st.st_mode | S_IWUSR, 0) == 0;
}

bool MoveFileReplacing(const char16_t* from, const char16_t* to) {
  NoteFileSystemChange();
  if (!MoveAllowed()) return false;
  PosixPlace source, target;
  if (!ResolveWindowsPlace(from, &source) || !ResolveWindowsPlace(to, &target)) return false;
  struct stat st;
  // Windows refuses to replace a folder with a file.
  if (fstatat(target.folder, target.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return false;
  }
  return renameat(source.folder, source.name.c_str(), target.folder, target.name.c_str()) == 0;
}

bool MoveFileKeepingAttributes(const char16_t* replacement, const char16_t* replaced) {
  {
    PosixPlace from, to;
    struct stat st;
    if (ResolveWindowsPlace(replacement, &from) && ResolveWindowsPlace(replaced, &to) &&
        fstatat(to.folder, to.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      // The owner first: changing it clears the set-ID bits that the mode then restores.
      fchownat(from.folder, from.name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
      if (fchmodat(from.folder, from.name.c_str(), st.st_mode & 07777, 0) != 0) return false;
    }
  }
  return MoveFileReplacing(replacement, replaced);
}

bool RemoveFile(const char16_t* path) {
  NoteFileSystemChange();
  PosixPlace place;
  return ResolveWindowsPlace(path, &place) && unlinkat(place.folder, place.name.c_str(), 0) == 0;
}

bool LinkOrCopyFile(const char16_t* existing, const char16_t* link) {
  NoteFileSystemChange();
  PosixPlace from, to;
  if (!ResolveWindowsPlace(existing, &from) || !ResolveWindowsPlace(link, &to)) return false;
  if (linkat(from.folder, from.name.c_str(), to.folder, to.name.c_str(), 0) == 0) return true;
  if (errno == EEXIST) return false;
  return CopyFileContents(from, to);
}

bool FlushFolderOf(const char16_t* path) {
  PosixPlace place;
  if (!ResolveWindowsPlace(path, &place)) return false;
  int fd;
  if (place.folder != AT_FDCWD) {
    fd = dup(place.folder);
  } else {
    const std::string& p = place.name;
    size_t slash = p.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
    fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}
