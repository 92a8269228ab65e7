// The packed updater's own payload: the input is everything from the title
// header at 0x70000 on (so the archive starts 1024 bytes into it); the program
// image before it is a hole of zeros.
#include <cstring>

#include "fuzz_support.h"
#include "payload/file.h"
#include "payload/payload.h"

const size_t MaxInputSize = 1 << 20;

void FuzzOne(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFolder() + "/payload.exe";
  static const std::u16string widePath = ToWide(path);
  WriteFileAt(path, PayloadHeaderOffset, data, size);
  CheckFill<char16_t>({1, 2, 40, 1023, TitleCapacity, TitleCapacity + 1}, [&](char16_t* title, size_t capacity) {
    return ReadPayloadTitleFromFile(widePath.c_str(), title, capacity);
  });

  CFileDX file;
  FUZZ_CHECK(file.OpenRead(widePath.c_str()) && file.Seek(ArchiveOffset, 0));
  ArchiveHeader header, before;
  std::memset(&header, 0x5A, sizeof header);
  std::memset(&before, 0x5A, sizeof before);
  std::vector<ArchiveEntry> entries(1, ArchiveEntry{"untouched", 7, 7});
  int result = ReadArchiveIndex(&header, &entries, &file);
  FUZZ_CHECK(result == 0 || result == 1);
  if (result == 0) {
    FUZZ_CHECK(std::memcmp(&header, &before, sizeof header) == 0 && entries.size() == 1 && entries[0].position == 7);
    return;
  }
  // The whole index was read from the file; positions are 32-bit, as stored.
  const ArchiveLayoutFields& layout = FieldsOf(LayoutOf(header));
  FUZZ_CHECK(std::memcmp(header.magic, layout.magic, 12) == 0 && entries.size() == header.count);
  FUZZ_CHECK(ArchiveOffset + 16 + uint64_t{header.count} * layout.entrySize <= PayloadHeaderOffset + size);
  for (const ArchiveEntry& entry : entries)
    FUZZ_CHECK(entry.position <= UINT32_MAX && entry.name.find('\0') == std::string::npos);
}
