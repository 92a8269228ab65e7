// The packed updater's own payload: the input is everything from the title
// header at 0x70000 on (so the archive starts 1024 bytes into it); the program
// image before it is a hole of zeros.
#include <cstring>

#include "fuzz_support.h"
#include "payload/file.h"
#include "payload/payload.h"

namespace {

void CheckTitle(const std::u16string& path) {
  std::u16string fitted;
  bool fittedAlready = false;
  // A buffer too small is refused untouched; once the title fits, every larger
  // buffer gets the same title.
  for (size_t capacity : {size_t{1}, size_t{2}, size_t{40}, size_t{1023}, TitleCapacity, TitleCapacity + 1}) {
    ExactBuffer<char16_t> title(capacity);
    int result = ReadPayloadTitleFromFile(path.c_str(), title.get(), capacity);
    FUZZ_CHECK(result == 0 || result == 1);
    if (result == 0) {
      FUZZ_CHECK(title.Untouched());
      FUZZ_CHECK(!fittedAlready);
      continue;
    }
    std::u16string text;
    FUZZ_CHECK(title.Text(&text));
    if (fittedAlready) FUZZ_CHECK(text == fitted);
    fitted = text;
    fittedAlready = true;
  }
}

void CheckIndex(const std::u16string& path, uint32_t fileSize) {
  CFileDX file;
  FUZZ_CHECK(file.OpenRead(path.c_str()));
  FUZZ_CHECK(file.Seek(ArchiveOffset, 0));
  ArchiveHeader header;
  std::memset(&header, 0x5A, sizeof header);
  std::vector<ArchiveEntry> entries(1, ArchiveEntry{"untouched", 7, 7});
  int result = ReadArchiveIndex(&header, &entries, &file);
  FUZZ_CHECK(result == 0 || result == 1);
  if (result == 0) {
    ArchiveHeader before;
    std::memset(&before, 0x5A, sizeof before);
    FUZZ_CHECK(std::memcmp(&header, &before, sizeof header) == 0);
    FUZZ_CHECK(entries.size() == 1 && entries[0].name == "untouched" && entries[0].position == 7);
    return;
  }
  const ArchiveLayoutFields& layout = FieldsOf(LayoutOf(header));
  FUZZ_CHECK(std::memcmp(header.magic, layout.magic, 12) == 0);
  FUZZ_CHECK(entries.size() == header.count);
  // The whole index was read from the file.
  const uint64_t indexSize = uint64_t{header.count} * layout.entrySize;
  FUZZ_CHECK(ArchiveOffset + 16 + indexSize <= fileSize);
  for (const ArchiveEntry& entry : entries) {
    FUZZ_CHECK(entry.position <= UINT32_MAX);  // positions are 32-bit, as the format stores them
    FUZZ_CHECK(entry.name.find('\0') == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return -1;
  static const std::string path = ScratchFolder() + "/payload.exe";
  static const std::u16string widePath = Wide(path);
  WriteFileAt(path, PayloadHeaderOffset, data, size);
  CheckTitle(widePath);
  CheckIndex(widePath, static_cast<uint32_t>(PayloadHeaderOffset + size));
  return 0;
}
