#include "lists/version_list.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#include "payload/byte_fields.h"
#include "payload/file.h"
#include "payload/filesystem.h"
#include "text/text.h"

namespace {

struct RecordFormat {
  uint32_t recordSize;
  uint32_t nameSize;  // the checksum words follow the name field
};

bool FormatOf(const char* magic, RecordFormat* format) {
  if (std::memcmp(magic, VersionListMagic2, 8) == 0) {
    *format = {256, 248};
  } else if (std::memcmp(magic, VersionListMagic1, 8) == 0) {
    *format = {64, 56};
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ReadVersionList(CFileDX* file, VersionList* list) {
  unsigned char raw[sizeof(VersionListHeader)];
  if (file->Read(raw, sizeof raw) != sizeof raw) return false;
  RecordFormat format;
  if (!FormatOf(reinterpret_cast<const char*>(raw), &format)) return false;

  uint32_t count = Load32(raw + 12);
  uint64_t blockSize = uint64_t{count} * format.recordSize;
  // More records than the file holds cannot be read; this also bounds the allocation.
  uint64_t fileSize = file->GetSize();
  if (fileSize == InvalidFileSize || blockSize > fileSize) return false;
  std::unique_ptr<unsigned char[]> block(new (std::nothrow) unsigned char[blockSize + 1]());
  if (!block) return false;
  if (blockSize && file->Read(block.get(), static_cast<uint32_t>(blockSize)) != blockSize) return false;

  // Rows too many for the memory there is read as a list that cannot be read.
  std::vector<VersionEntry> entries;
  try {
    entries.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
      const unsigned char* record = block.get() + uint64_t{i} * format.recordSize;
      // A name that fills its field without a NUL is cut at the field's end.
      entries[i].name = ConvertNarrow(FieldText(record, format.nameSize).c_str(), TargetUtf8);
      entries[i].checksum[0] = Load32(record + format.nameSize);
      entries[i].checksum[1] = Load32(record + format.nameSize + 4);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }

  std::memcpy(list->header.magic, raw, 8);
  list->header.reserved = Load32(raw + 8);
  list->header.count = count;
  list->entries = std::move(entries);
  return true;
}

bool LoadVersionList(const char16_t* path, VersionList* list) {
  CFileDX file;
  if (!file.OpenRead(path)) return false;
  return ReadVersionList(&file, list);
}

uint64_t EncodedVersionListSize(const VersionListHeader& header) {
  RecordFormat format;
  if (!FormatOf(header.magic, &format)) return 0;
  return sizeof(VersionListHeader) + uint64_t{header.count} * format.recordSize;
}

bool EncodeVersionList(const VersionList& list, std::string* bytes) {
  RecordFormat format;
  if (!FormatOf(list.header.magic, &format)) return false;
  uint32_t count = list.header.count;
  if (list.entries.size() < count) return false;

  std::string out(sizeof(VersionListHeader) + uint64_t{count} * format.recordSize, '\0');
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  std::memcpy(p, list.header.magic, 8);
  Store32(p + 8, list.header.reserved);
  uint32_t written = 0;
  for (uint32_t i = 0; i < count; ++i) {
    unsigned char* record = p + sizeof(VersionListHeader) + uint64_t{written} * format.recordSize;
    if (!ConvertNarrow(reinterpret_cast<char*>(record), format.nameSize, list.entries[i].name.c_str(),
                       TargetShiftJis))
      continue;  // a name too long for the field: that row alone is left out
    Store32(record + format.nameSize, list.entries[i].checksum[0]);
    Store32(record + format.nameSize + 4, list.entries[i].checksum[1]);
    ++written;
  }
  Store32(p + 12, written);
  out.resize(sizeof(VersionListHeader) + uint64_t{written} * format.recordSize);
  *bytes = std::move(out);
  return true;
}

bool SaveVersionList(const VersionList& list, const char16_t* path) {
  std::string bytes;
  if (!EncodeVersionList(list, &bytes) || bytes.size() > UINT32_MAX) return false;
  CFileDX file;
  auto size = static_cast<uint32_t>(bytes.size());
  return file.OpenWrite(path, OpenWriteTruncate) && file.Write(bytes.data(), size) == size;
}

int FindVersionEntryForFile(const VersionList& list, const char* archiveName) {
  char wanted[NameCapacity];
  if (!CopyText(wanted, NameCapacity, archiveName)) return -1;
  LowerText(wanted);
  size_t count = std::min<size_t>(list.header.count, list.entries.size());
  for (size_t i = 0; i < count; ++i) {
    char name[NameCapacity], extension[NameCapacity], joined[NameCapacity];
    SplitPathUtf8(nullptr, nullptr, name, extension, list.entries[i].name.c_str());
    if (FormatNarrow(joined, NameCapacity, "%s%s", name, extension) < 0) continue;
    if (CompareText(LowerText(joined), wanted) == 0) return static_cast<int>(i);
  }
  return -1;
}

bool EditVersionList(const char16_t* path, const std::function<void(VersionList*)>& edit) {
  try {
    return RewriteFile(path, [&](CFileDX& file, std::string* bytes) {
      VersionList list;
      if (!ReadVersionList(&file, &list)) return false;
      edit(&list);
      list.header.count = static_cast<uint32_t>(list.entries.size());
      return EncodeVersionList(list, bytes);
    });
  } catch (const std::bad_alloc&) {
    return false;  // a list too large for the memory there is stays as it was
  }
}

void MergeVersionList(VersionList* installed, const VersionList& shipped) {
  std::unordered_map<std::string, size_t> firstRow;
  for (size_t i = installed->entries.size(); i-- > 0;) firstRow[LowerText(installed->entries[i].name)] = i;
  for (const VersionEntry& row : shipped.entries) {
    auto match = firstRow.find(LowerText(row.name));
    if (match == firstRow.end()) {
      installed->entries.push_back(row);
    } else {
      installed->entries[match->second].checksum[0] = row.checksum[0];
      installed->entries[match->second].checksum[1] = row.checksum[1];
    }
  }
}

void PruneVersionList(VersionList* list, const std::function<bool(const VersionEntry&)>& keep) {
  std::vector<VersionEntry> kept;
  for (VersionEntry& row : list->entries)
    if (keep(row)) kept.push_back(std::move(row));
  list->entries = std::move(kept);
}
