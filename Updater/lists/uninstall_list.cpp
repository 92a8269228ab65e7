#include "lists/uninstall_list.h"

#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>

#include "payload/file.h"
#include "payload/filesystem.h"
#include "text/path_buffer.h"
#include "text/text.h"

namespace {

// Lines already listed, so that each new one costs one lookup however long
// the list is.
using SeenLines = std::unordered_set<std::string>;

void AddUnique(UninstallLines* group, SeenLines* seen, const char* line) {
  if (seen->insert(line).second) group->emplace_back(line);
}

// `seen` holds every line of both groups, before and after.
void ParseLines(const char* text, UninstallLines* plain, UninstallLines* dollar, SeenLines* seen) {
  const char* cursor = text;
  while (*cursor) {
    while (*cursor == ' ' || *cursor == '\t') ++cursor;
    // CR and LF bytes are line ends in either encoding (no Shift-JIS or UTF-8
    // sequence holds one), so the end is found without decoding; FindChar would
    // examine the whole rest of the text for its encoding on every line.
    const char* end = cursor + std::strcspn(cursor, "\r\n");
    size_t length = static_cast<size_t>(end - cursor);

    char raw[NameCapacity];
    char line[NameCapacity];
    if (length > 0 && length <= MaxUninstallLineBytes) {
      std::memcpy(raw, cursor, length);
      raw[length] = 0;
    }
    if (length > 0 && length <= MaxUninstallLineBytes && ConvertNarrow(line, NameCapacity, raw, TargetUtf8)) {
      LowerText(line);
      AddUnique(line[0] == '$' ? dollar : plain, seen, line);
    } else if (length > 0) {
      std::string asItStands(cursor, length);
      AddUnique(asItStands[0] == '$' ? dollar : plain, seen, asItStands.c_str());
    }
    cursor = end;
    while (*cursor == '\r' || *cursor == '\n') ++cursor;
  }
}

}  // namespace

void ParseUninstallList(const char* text, UninstallLines* plain, UninstallLines* dollar) {
  SeenLines seen(plain->begin(), plain->end());
  seen.insert(dollar->begin(), dollar->end());
  ParseLines(text, plain, dollar, &seen);
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
  PathBuffer<> path;
  if (!path.Format(u"%s\\%s", folder, UninstallListFileName)) return false;

  CFileDX file;
  if (!file.OpenRead(path.c_str())) return false;
  uint32_t size = file.GetSize();
  if (size == 0 || size == InvalidFileSize) return false;
  std::unique_ptr<char[]> text(new (std::nothrow) char[size + uint64_t{1}]);
  if (!text || file.Read(text.get(), size) != size) return false;
  text[size] = 0;
  file.Close();

  // A list too large for the memory there is stays as it is: the install
  // reports that it could not extend it.
  try {
    UninstallLines plain, dollar;
    SeenLines seen;
    ParseLines(text.get(), &plain, &dollar, &seen);
    text.reset();

    for (size_t i = 0; i < count; ++i) {
      if (names[i].empty()) continue;
      char name[NameCapacity];
      if (!WideToNarrow(name, NameCapacity, names[i].c_str(), TargetUtf8)) continue;  // longer than a line may be
      AddUnique(&plain, &seen, LowerText(name));
    }
    seen.clear();
    return WriteUninstallList(path.c_str(), &plain, &dollar);
  } catch (const std::bad_alloc&) {
    return false;
  }
}
