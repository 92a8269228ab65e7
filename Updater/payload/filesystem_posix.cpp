#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "payload/file.h"
#include "payload/file_faults.h"
#include "payload/filesystem.h"
#include "payload/held_folder_posix.h"
#include "text/path_buffer.h"

namespace {

bool CopyFileContents(const PosixPlace& from, const PosixPlace& to) {
  int in = openat(from.folder, from.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
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
  if (ok) NoteNameAdded(to);
  return ok;
}

// The owner first: changing it clears the set-ID bits that the mode then
// restores. Only root may give a file away; for anyone else the mode alone.
bool GiveOwnerAndMode(int file, const struct stat& old) {
  static_cast<void>(fchown(file, old.st_uid, old.st_gid));
  return fchmod(file, old.st_mode & 07777) == 0;
}

// A file's own entry, a link as itself: false, with errno, when there is none.
bool StatPlace(const char16_t* path, PosixPlace* place, struct stat* st) {
  return ResolveWindowsPlace(path, place) && fstatat(place->folder, place->name.c_str(), st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

uint32_t LastFileError() { return static_cast<uint32_t>(errno); }
void ClearLastFileError() { errno = 0; }

uint32_t GetPathAttributes(const char16_t* path) {
  PosixPlace place;
  struct stat st;
  if (!StatPlace(path, &place, &st)) return InvalidFileAttributes;
  uint32_t link = S_ISLNK(st.st_mode) ? FileAttributeReparsePoint : 0;
  if (link && fstatat(place.folder, place.name.c_str(), &st, 0) != 0) return InvalidFileAttributes;  // a dangling link names nothing
  uint32_t attributes = link | (S_ISDIR(st.st_mode) ? FileAttributeDirectory : 0x80);  // FILE_ATTRIBUTE_NORMAL
  if (!(st.st_mode & S_IWUSR)) attributes |= FileAttributeReadOnly;
  return attributes;
}

bool PathIsAbsent(const char16_t* path) {
  PosixPlace place;
  struct stat st;
  if (StatPlace(path, &place, &st)) return false;
  // A link where the held folder allows none is ELOOP: not known.
  return errno == ENOENT || errno == ENOTDIR;
}

// The owner's write bit stands for the read-only attribute; `previous` is the mode.
bool ResetPathAttributes(const char16_t* path, uint32_t* previous) {
  NoteFileSystemChange();
  PosixPlace place;
  struct stat st;
  if (!StatPlace(path, &place, &st) || !S_ISREG(st.st_mode)) return false;
  if (previous) *previous = st.st_mode & 07777;
  if (st.st_mode & S_IWUSR) return true;
  if (st.st_nlink != 1) {
    errno = EMLINK;
    return false;
  }
  return fchmodat(place.folder, place.name.c_str(), st.st_mode | S_IWUSR, 0) == 0;
}

bool RestorePathAttributes(const char16_t* path, uint32_t previous) {
  NoteFileSystemChange();
  PosixPlace place;
  struct stat st;
  return StatPlace(path, &place, &st) && S_ISREG(st.st_mode) &&
         fchmodat(place.folder, place.name.c_str(), previous, 0) == 0;
}

bool TakeAttributesOf(const char16_t* replaced, const char16_t* replacement) {
  NoteFileSystemChange();
  PosixPlace from, to;
  struct stat old;
  if (!StatPlace(replaced, &from, &old) || !S_ISREG(old.st_mode) || !ResolveWindowsPlace(replacement, &to)) return false;
  int file = openat(to.folder, to.name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  bool ok = file >= 0 && GiveOwnerAndMode(file, old);
  if (file >= 0) close(file);
  return ok;
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
  if (renameat(source.folder, source.name.c_str(), target.folder, target.name.c_str()) != 0) return false;
  NoteNameRemoved(source);
  NoteNameAdded(target);
  return true;
}

bool RemoveFile(const char16_t* path) {
  NoteFileSystemChange();
  PosixPlace place;
  if (!ResolveWindowsPlace(path, &place) || unlinkat(place.folder, place.name.c_str(), 0) != 0) return false;
  NoteNameRemoved(place);
  return true;
}

bool LinkOrCopyFile(const char16_t* existing, const char16_t* link) {
  NoteFileSystemChange();
  PosixPlace from, to;
  if (!ResolveWindowsPlace(existing, &from) || !ResolveWindowsPlace(link, &to)) return false;
  if (linkat(from.folder, from.name.c_str(), to.folder, to.name.c_str(), 0) == 0) {
    NoteNameAdded(to);
    return true;
  }
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

bool RewriteFile(const char16_t* path, const Rewrite& rewrite, const char** why) {
  auto refuse = [why](const char* cause) {
    if (why) *why = cause;
    return false;
  };
  CFileDX old;
  if (!old.OpenRead(path)) {
    if (errno == ELOOP) return refuse("a link, which is not followed");
    return errno == EMLINK ? refuse("the file has another name (a hard link)") : false;
  }
  struct stat oldState;
  if (fstat(static_cast<int>(old.handle_), &oldState) != 0) return false;
  if (!(oldState.st_mode & S_IWUSR)) return refuse("the file is read-only");
  std::string content;
  if (!rewrite(old, &content)) return false;
  if (content.size() > UINT32_MAX) return refuse("the new content is too large");

  PathBuffer<> freshPath;
  PosixPlace fresh, target;
  if (!freshPath.Format(u"%s%s", path, ReplacementSuffix) || !ResolveWindowsPlace(freshPath.c_str(), &fresh) ||
      !ResolveWindowsPlace(path, &target))
    return refuse("the path is too long");
  CFileDX file;
  if (!file.OpenWrite(freshPath.c_str(), OpenWriteCreateNew)) {
    RemoveFile(freshPath.c_str());  // a leftover of an interrupted run, or a planted link
    if (!file.OpenWrite(freshPath.c_str(), OpenWriteCreateNew)) return false;
  }
  auto size = static_cast<uint32_t>(content.size());
  int descriptor = static_cast<int>(file.handle_);
  bool ok = file.Write(content.data(), size) == size && GiveOwnerAndMode(descriptor, oldState) && file.Flush();
  NoteFileSystemChange();
  // Renamed by its name in the held folder, which no link can redirect.
  ok = ok && MoveAllowed() && renameat(fresh.folder, fresh.name.c_str(), target.folder, target.name.c_str()) == 0;
  int error = errno;
  file.Close();
  if (!ok) RemoveFile(freshPath.c_str());
  NoteNameRemoved(fresh);
  errno = error;
  if (ok) FlushFolderOf(path);
  return ok;
}
