// The version list: which files an update delivers and their content checksums.
// Kept in the payload as "VLK.hvl" and in the game folder as "vlk.hvl".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CFileDX;

constexpr char VersionListMagic2[] = "VHV_V2__";  // 256-byte records
constexpr char VersionListMagic1[] = "VHV_____";  // 64-byte records
// The game folder's list, and the archive entry that the packing tool writes
// (the updater finds it whatever its case).
constexpr char16_t VersionListFileName[] = u"vlk.hvl";
constexpr char16_t ShippedVersionListName[] = u"VLK.hvl";

struct VersionListHeader {
  char magic[8];
  uint32_t reserved;  // carried unchanged, never interpreted
  uint32_t count;
};
static_assert(sizeof(VersionListHeader) == 16);

struct VersionEntry {
  std::string name;  // UTF-8, relative to the game folder, "\" separated
  uint32_t checksum[2];
};

struct VersionList {
  VersionListHeader header{};
  std::vector<VersionEntry> entries;
};

// Reads a list from the file's current position. False leaves `list` unchanged.
bool ReadVersionList(CFileDX* file, VersionList* list);
bool LoadVersionList(const char16_t* path, VersionList* list);
// Writes the header's `count` records in the format its magic names, creating
// or truncating the file. A row whose name does not fit its field in code page
// 932 is left out alone, and the count written says how many rows the file
// holds. Refuses an unknown magic or fewer entries than `count`, without
// touching the file.
bool SaveVersionList(const VersionList& list, const char16_t* path);

// The bytes a well-formed list with this header holds: the header and `count`
// records of the size its magic names; 0 for an unknown magic.
uint64_t EncodedVersionListSize(const VersionListHeader& header);

// The bytes SaveVersionList writes, or false for its refusals.
bool EncodeVersionList(const VersionList& list, std::string* bytes);

// Reads the list at `path`, lets `edit` change its rows and writes it back in
// its own format with the header's count set to the rows, through the one open
// file it was read from (RewriteFile: never a link, nor a file with another
// name). False when it cannot be read (nothing is written), is too large for
// the memory there is, or cannot be written (the old list stays).
bool EditVersionList(const char16_t* path, const std::function<void(VersionList*)>& edit);
// Each shipped row updates the checksum of the first installed row of the same
// name (ASCII case ignored), whose spelling stays; a row without one is
// appended, and appended rows are not searched by later shipped rows.
void MergeVersionList(VersionList* installed, const VersionList& shipped);
// Keeps the rows for which `keep` holds, in order.
void PruneVersionList(VersionList* list, const std::function<bool(const VersionEntry&)>& keep);

// The row that describes the archive entry `archiveName` (a bare file name): the
// first among the header's `count` whose last path component equals it, ASCII
// letters compared without case. -1 when there is none.
int FindVersionEntryForFile(const VersionList& list, const char* archiveName);
