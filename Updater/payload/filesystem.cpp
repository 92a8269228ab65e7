#include "payload/filesystem.h"

#include "payload/file.h"
#include "text/path_buffer.h"

bool ReplaceFileContents(const char16_t* path, const void* data, size_t size) {
  uint32_t attributes = GetPathAttributes(path);
  if (attributes != InvalidFileAttributes && (attributes & (FileAttributeReadOnly | FileAttributeDirectory)))
    return false;
  PathBuffer<> fresh;
  if (!fresh.Format(u"%s%s", path, ReplacementSuffix) || size > UINT32_MAX) return false;

  CFileDX file;
  if (!file.OpenWrite(fresh.c_str(), OpenWriteCreateNew)) {
    RemoveFile(fresh.c_str());  // a leftover of an interrupted run
    if (!file.OpenWrite(fresh.c_str(), OpenWriteCreateNew)) return false;
  }
  uint32_t count = static_cast<uint32_t>(size);
  bool written = file.Write(data, count) == count && file.Flush();
  file.Close();
  if (!written || !MoveFileKeepingAttributes(fresh.c_str(), path)) {
    RemoveFile(fresh.c_str());
    return false;
  }
  FlushFolderOf(path);
  return true;
}
