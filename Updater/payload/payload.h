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

constexpr char ArchiveMagicArc20[] = "VELKAN ARC20";
constexpr char ArchiveMagicPackFile[] = "PackFile    ";
constexpr uint32_t Arc20EntrySize = 128;
constexpr uint32_t Arc20NameSize = 96;
constexpr uint32_t PackFileEntrySize = 32;
constexpr uint32_t PackFileNameSize = 16;

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
