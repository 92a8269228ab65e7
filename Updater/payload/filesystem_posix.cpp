#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "payload/fault_injection.h"
#include "payload/filesystem.h"
#include "payload/windows_path_posix.h"

namespace {

std::string Posix(const char16_t* path) {
  std::string resolved;
  ResolveWindowsPath(path, &resolved);
  return resolved;
}

bool CopyFileContents(const std::string& from, const std::string& to) {
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return false;
  int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  bool ok = out >= 0;
  char buffer[1 << 16];
  ssize_t n;
  while (ok && (n = read(in, buffer, sizeof buffer)) != 0) {
    ok = n > 0 && write(out, buffer, static_cast<size_t>(n)) == n;
  }
  ok = ok && fsync(out) == 0;
  close(in);
  if (out >= 0) close(out);
  if (!ok && out >= 0) unlink(to.c_str());
  return ok;
}

}  // namespace

uint32_t GetPathAttributes(const char16_t* path) {
  std::string p = Posix(path);
  struct stat st;
  if (lstat(p.c_str(), &st) != 0) return InvalidFileAttributes;
  uint32_t link = S_ISLNK(st.st_mode) ? FileAttributeReparsePoint : 0;
  if (link && stat(p.c_str(), &st) != 0) return InvalidFileAttributes;  // a dangling link names nothing
  uint32_t attributes = link | (S_ISDIR(st.st_mode) ? FileAttributeDirectory : 0x80);  // FILE_ATTRIBUTE_NORMAL
  if (!(st.st_mode & S_IWUSR)) attributes |= FileAttributeReadOnly;
  return attributes;
}

bool ResetPathAttributes(const char16_t* path) {
  NoteFileSystemChange();
  std::string p = Posix(path);
  struct stat st;
  if (lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return chmod(p.c_str(), st.st_mode | S_IWUSR) == 0;
}

bool MoveFileReplacing(const char16_t* from, const char16_t* to) {
  NoteFileSystemChange();
  if (!MoveAllowed()) return false;
  std::string target = Posix(to);
  struct stat st;
  // Windows refuses to replace a folder with a file.
  if (lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
  return std::rename(Posix(from).c_str(), target.c_str()) == 0;
}

bool RemoveFile(const char16_t* path) {
  NoteFileSystemChange();
  return unlink(Posix(path).c_str()) == 0;
}

bool LinkOrCopyFile(const char16_t* existing, const char16_t* link) {
  NoteFileSystemChange();
  std::string from = Posix(existing), to = Posix(link);
  if (::link(from.c_str(), to.c_str()) == 0) return true;
  if (errno == EEXIST) return false;
  return CopyFileContents(from, to);
}

bool FlushFolderOf(const char16_t* path) {
  std::string p = Posix(path);
  size_t slash = p.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : p.substr(0, slash);
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}
