#include "payload/filesystem.h"

#include "payload/file.h"
#include "text/text.h"

bool ReplaceFileContents(const char16_t* path, const void* data, size_t size) {
  uint32_t attributes = GetPathAttributes(path);
  if (attributes != InvalidFileAttributes && (attributes & (FileAttributeReadOnly | FileAttributeDirectory)))
    return false;
  char16_t fresh[PathCapacity];
  if (FormatWide(fresh, PathCapacity, u"%s.upd-new", path) < 0 || size > UINT32_MAX) return false;

  RemoveFile(fresh);  // a leftover of an interrupted run
  CFileDX file;
  if (!file.OpenWrite(fresh, OpenWriteCreateNew)) return false;
  uint32_t count = static_cast<uint32_t>(size);
  bool written = file.Write(data, count) == count && file.Flush();
  file.Close();
  if (!written || !MoveFileReplacing(fresh, path)) {
    RemoveFile(fresh);
    return false;
  }
  FlushFolderOf(path);
  return true;
}
