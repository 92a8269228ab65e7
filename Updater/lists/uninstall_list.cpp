#include "lists/uninstall_list.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
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

void WriteUninstallList(std::string* text, UninstallLines* plain, UninstallLines* dollar) {
  text->clear();
  text->reserve(65536);
  for (UninstallLines* group : {plain, dollar}) {
    for (const std::string& line : *group) {
      *text += line;
      *text += '\n';
    }
    group->clear();
  }
  *text += '\0';  // the list ends with one NUL byte
}

bool UpdateUninstallList(const char16_t* folder, const std::u16string* names, size_t count, const char** why) {
  PathBuffer<> path;
  const char* cause = "";
  auto extend = [&](CFileDX& file, std::string* text) {
    uint64_t size = file.GetSize();
    // Whole, in one read: a list of 4 GiB or more is left as it is.
    if (size == 0) cause = "the list is empty";
    else if (size != InvalidFileSize && size >= UINT32_MAX) cause = "the list is 4 GiB or larger";
    if (size == 0 || size >= UINT32_MAX) return false;
    std::unique_ptr<char[]> read(new (std::nothrow) char[size + 1]);
    if (!read || file.Read(read.get(), static_cast<uint32_t>(size)) != size) return false;
    read[size] = 0;

    UninstallLines plain, dollar;
    SeenLines seen;
    ParseLines(read.get(), &plain, &dollar, &seen);
    read.reset();
    for (size_t i = 0; i < count; ++i) {
      if (names[i].empty()) continue;
      char name[NameCapacity];
      if (!WideToNarrow(name, NameCapacity, names[i].c_str(), TargetUtf8)) continue;  // longer than a line may be
      AddUnique(&plain, &seen, LowerText(name));
    }
    seen.clear();
    WriteUninstallList(text, &plain, &dollar);
    return true;
  };
  bool updated = false;
  // A list too large for the memory there is stays as it is: the install
  // reports that it could not extend it.
  try {
    updated = path.Format(u"%s\\%s", folder, UninstallListFileName) && RewriteFile(path.c_str(), extend, &cause);
  } catch (const std::bad_alloc&) {
    cause = "not enough memory for the list";
  }
  if (why) *why = cause;
  return updated;
}
