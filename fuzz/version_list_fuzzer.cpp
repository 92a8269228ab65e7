// The game folder's "vlk.hvl" (and the shipped "VLK.hvl"): read, looked up,
// written back and read again.
#include <cstring>

#include "fuzz_support.h"
#include "lists/version_list.h"
#include "payload/file.h"
#include "text/text.h"

namespace {

VersionList Sentinel() {
  VersionList list;
  std::memcpy(list.header.magic, "SENTINEL", 8);
  list.header.reserved = 0x5A5A5A5A;
  list.header.count = 1;
  list.entries.push_back({"untouched", {1, 2}});
  return list;
}

bool SameRecords(const VersionList& a, const VersionList& b) {
  if (std::memcmp(a.header.magic, b.header.magic, 8) != 0 || a.header.reserved != b.header.reserved ||
      a.header.count != b.header.count || a.entries.size() != b.entries.size())
    return false;
  for (size_t i = 0; i < a.entries.size(); ++i) {
    if (a.entries[i].checksum[0] != b.entries[i].checksum[0] || a.entries[i].checksum[1] != b.entries[i].checksum[1])
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return -1;
  static const std::string path = ScratchFolder() + "/vlk.hvl";
  static const std::u16string widePath = Wide(path);
  WriteFileAt(path, 0, data, size);

  VersionList list = Sentinel();
  bool read;
  {
    CFileDX file;
    FUZZ_CHECK(file.OpenRead(widePath.c_str()));
    read = ReadVersionList(&file, &list);
  }
  if (!read) {
    VersionList before = Sentinel();
    FUZZ_CHECK(SameRecords(list, before) && list.entries[0].name == "untouched");
    return 0;
  }
  const uint32_t recordSize = std::memcmp(list.header.magic, VersionListMagic2, 8) == 0 ? 256 : 64;
  FUZZ_CHECK(recordSize == 256 || std::memcmp(list.header.magic, VersionListMagic1, 8) == 0);
  FUZZ_CHECK(list.entries.size() == list.header.count);
  FUZZ_CHECK(16 + uint64_t{list.header.count} * recordSize <= size);

  for (const VersionEntry& entry : list.entries) {
    int row = FindVersionEntryForFile(list, entry.name.c_str());
    FUZZ_CHECK(row >= -1 && row < static_cast<int>(list.header.count));
  }
  FUZZ_CHECK(FindVersionEntryForFile(list, "") >= -1);

  // What the updater writes back reads as the same records, but for those
  // whose name has no Shift-JIS form that fits its field.
  VersionList kept = list;
  PruneVersionList(&kept, [&](const VersionEntry& row) {
    char field[256];
    return ConvertNarrow(field, recordSize - 8, row.name.c_str(), TargetShiftJis);
  });
  kept.header.count = static_cast<uint32_t>(kept.entries.size());
  std::string bytes;
  FUZZ_CHECK(EncodeVersionList(list, &bytes));
  FUZZ_CHECK(bytes.size() == 16 + uint64_t{kept.header.count} * recordSize);
  FUZZ_CHECK(SaveVersionList(list, widePath.c_str()));
  FUZZ_CHECK(ReadFile(path) == bytes);
  VersionList again;
  FUZZ_CHECK(LoadVersionList(widePath.c_str(), &again));
  FUZZ_CHECK(SameRecords(kept, again));
  return 0;
}
