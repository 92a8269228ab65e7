#include "lists/uninstall_list.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "payload/file.h"
#include "payload/filesystem.h"
#include "text/text.h"

namespace {

void AddUnique(UninstallLines* group, const char* line) {
  for (const std::string& existing : *group) {
    if (CompareText(existing.c_str(), line) == 0) return;
  }
  group->emplace_back(line);
}

}  // namespace

void ParseUninstallList(const char* text, UninstallLines* plain, UninstallLines* dollar) {
  const char* cursor = text;
  while (*cursor) {
    while (*cursor == ' ' || *cursor == '\t') ++cursor;
    const char* cr = FindChar(cursor, '\r');
    const char* lf = FindChar(cursor, '\n');
    const char* end = cr && lf ? std::min(cr, lf) : cr ? cr : lf ? lf : cursor + std::strlen(cursor);
    size_t length = static_cast<size_t>(end - cursor);

    char raw[NameCapacity];
    char line[NameCapacity];
    if (length > 0 && length <= MaxUninstallLineBytes) {
      std::memcpy(raw, cursor, length);
      raw[length] = 0;
      if (ConvertNarrow(line, NameCapacity, raw, TargetUtf8)) {
        LowerText(line);
        AddUnique(line[0] == '$' ? dollar : plain, line);
      }
    }
    cursor = end;
    while (*cursor == '\r' || *cursor == '\n') ++cursor;
  }
}

bool WriteUninstallList(const char16_t* path, UninstallLines* plain, UninstallLines* dollar) {
  std::string text;
  text.reserve(65536);
  for (UninstallLines* group : {plain, dollar}) {
    for (const std::string& line : *group) {
      text += line;
      text += '\n';
    }
    group->clear();
  }
  text += '\0';  // the list ends with one NUL byte
  return ReplaceFileContents(path, text.data(), text.size());
}

bool UpdateUninstallList(const char16_t* folder, const std::u16string* names, size_t count) {
  char16_t path[PathCapacity];
  if (FormatWide(path, PathCapacity, u"%s\\%s", folder, u"uninst.lst") < 0) return false;

  CFileDX file;
  if (!file.OpenRead(path)) return false;
  uint32_t size = file.GetSize();
  if (size == 0 || size == InvalidFileSize) return false;
  std::unique_ptr<char[]> text(new (std::nothrow) char[size + uint64_t{1}]);
  if (!text || file.Read(text.get(), size) != size) return false;
  text[size] = 0;
  file.Close();

  UninstallLines plain, dollar;
  ParseUninstallList(text.get(), &plain, &dollar);
  text.reset();

  for (size_t i = 0; i < count; ++i) {
    if (names[i].empty()) continue;
    char name[NameCapacity];
    if (!WideToNarrow(name, NameCapacity, names[i].c_str(), TargetUtf8)) continue;  // longer than a line may be
    AddUnique(&plain, LowerText(name));
  }
  return WriteUninstallList(path, &plain, &dollar);
}
