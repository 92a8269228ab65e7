// The game folder's "vlk.hvl" (and the shipped "VLK.hvl"): read, looked up,
// written back and read again.
#include <cstring>

#include "fuzz_support.h"
#include "lists/version_list.h"
#include "payload/file.h"
#include "text/text.h"

namespace {

bool SameRecords(const VersionList& a, const VersionList& b) {
  if (std::memcmp(&a.header, &b.header, sizeof a.header) != 0 || a.entries.size() != b.entries.size()) return false;
  for (size_t i = 0; i < a.entries.size(); ++i)
    if (std::memcmp(a.entries[i].checksum, b.entries[i].checksum, sizeof a.entries[i].checksum) != 0) return false;
  return true;
}

}  // namespace

const size_t MaxInputSize = 1 << 20;

void FuzzOne(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFolder() + "/vlk.hvl";
  static const std::u16string widePath = ToWide(path);
  WriteFileAt(path, 0, data, size);

  VersionList sentinel;
  std::memcpy(sentinel.header.magic, "SENTINEL", 8);
  sentinel.entries.push_back({"untouched", {1, 2}});
  VersionList list = sentinel;
  CFileDX file;
  FUZZ_CHECK(file.OpenRead(widePath.c_str()));
  if (!ReadVersionList(&file, &list)) {
    FUZZ_CHECK(SameRecords(list, sentinel) && list.entries[0].name == "untouched");
    return;
  }
  file.Close();
  const bool format2 = std::memcmp(list.header.magic, VersionListMagic2, 8) == 0;
  const uint32_t recordSize = format2 ? 256 : 64;
  FUZZ_CHECK(format2 || std::memcmp(list.header.magic, VersionListMagic1, 8) == 0);
  FUZZ_CHECK(list.entries.size() == list.header.count && 16 + uint64_t{list.header.count} * recordSize <= size);
  for (const VersionEntry& entry : list.entries) {
    int row = FindVersionEntryForFile(list, entry.name.c_str());
    FUZZ_CHECK(row >= -1 && row < static_cast<int>(list.header.count));
  }

  // What the updater writes back reads as the same records, but for those
  // whose name has no Shift-JIS form that fits its field.
  VersionList kept = list;
  PruneVersionList(&kept, [&](const VersionEntry& row) {
    char field[256];
    return ConvertNarrow(field, recordSize - 8, row.name.c_str(), TargetShiftJis);
  });
  kept.header.count = static_cast<uint32_t>(kept.entries.size());
  std::string bytes;
  FUZZ_CHECK(EncodeVersionList(list, &bytes) && bytes.size() == 16 + uint64_t{kept.header.count} * recordSize);
  FUZZ_CHECK(SaveVersionList(list, widePath.c_str()) && ReadBytes(path) == bytes);
  VersionList again;
  FUZZ_CHECK(LoadVersionList(widePath.c_str(), &again) && SameRecords(kept, again));
}
