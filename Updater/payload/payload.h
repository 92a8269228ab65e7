// The payload behind the program image: a 1024-byte title header at 0x70000 and a
// flat archive at 0x70400 (header, index, data area).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFileDX;

constexpr uint32_t PayloadHeaderOffset = 0x70000;
constexpr uint32_t PayloadHeaderSize = 1024;
constexpr uint32_t ArchiveOffset = 0x70400;
constexpr size_t TitleCapacity = 1024;  // UTF-16 units, terminator included

// The two index layouts: "VELKAN ARC20" with 128-byte entries holding 96-byte
// names, the older "PackFile    " with 32-byte entries holding 16-byte names.
enum class ArchiveLayout { Arc20, PackFile };
struct ArchiveLayoutFields {
  char magic[13];
  uint32_t entrySize;
  uint32_t nameSize;  // the content's offset and size follow the name
};
const ArchiveLayoutFields& FieldsOf(ArchiveLayout layout);

// The 16 header bytes exactly as read.
struct ArchiveHeader {
  char magic[12];
  uint32_t count;
};
static_assert(sizeof(ArchiveHeader) == 16);

struct ArchiveEntry {
  std::string name;   // UTF-8
  uint64_t position;  // from the start of the archive
  uint32_t size;
};

// Reads the title from the running program's own payload into `title`
// (capacity in UTF-16 units). 1 on success; on 0 the buffer is untouched.
int ReadPayloadTitle(char16_t* title, size_t capacity);
int ReadPayloadTitleFromFile(const char16_t* executablePath, char16_t* title, size_t capacity);

// Reads the archive header and index from `file`, positioned at the archive's
// start. 1 on success (header and entries replaced); 0 leaves both untouched.
int ReadArchiveIndex(ArchiveHeader* header, std::vector<ArchiveEntry>* entries, CFileDX* file);
// The layout that a header read by ReadArchiveIndex names.
ArchiveLayout LayoutOf(const ArchiveHeader& header);

// One index entry as the packing tool stores it: its name bytes (Shift-JIS or
// UTF-8) and its content's offset from the start of the data area and size.
struct ArchiveIndexRecord {
  std::string storedName;
  uint32_t offset;
  uint32_t size;
};
// The archive header and index that ReadArchiveIndex reads back as these
// records; false when a name does not fit its field with a NUL.
bool EncodeArchiveIndex(ArchiveLayout layout, const std::vector<ArchiveIndexRecord>& records, std::string* bytes);
// The 1024-byte payload header holding `title` (narrow, as stored); false when
// the title does not fit with its NUL.
bool EncodePayloadHeader(const std::string& title, std::string* header);
