// Reading a packed updater back: `list` and `check`.
#include <algorithm>
#include <filesystem>

#include "file_io.h"
#include "game_check.h"
#include "install/checksum.h"
#include "install/install.h"
#include "install/install_plan.h"
#include "lists/version_list.h"
#include "pack.h"
#include "payload/file.h"
#include "payload/payload.h"
#include "program_image.h"
#include "text/text.h"

namespace {

struct PackedUpdater {
  std::string title;  // UTF-8
  ArchiveHeader header{};
  std::vector<ArchiveEntry> entries;
  VersionList list;
  ShippedList listState = ShippedList::Absent;
  std::vector<EntryPlan> plans;  // what the updater would do with each entry
};

// "" or why `path` cannot be read as a packed updater; `file` is left open on it.
std::string ReadPackedUpdater(const std::string& path, CFileDX* file, PackedUpdater* packed) {
  if (std::string error = CheckReadable(path); !error.empty()) return error;
  std::u16string widePath = NarrowToWide(path.c_str());
  char16_t title[TitleCapacity];
  if (!ReadPayloadTitleFromFile(widePath.c_str(), title, TitleCapacity))
    return path + ": not a packed updater (no payload title at 0x70000)";
  if (!file->OpenRead(widePath.c_str()) || !file->Seek(ArchiveOffset, 0) ||
      !ReadArchiveIndex(&packed->header, &packed->entries, file))
    return path + ": the archive index at 0x70400 cannot be read";
  packed->title = WideToNarrow(title, TargetUtf8);
  packed->listState = ReadShippedVersionList(*file, packed->entries, &packed->list);
  packed->plans = PlanEntries(packed->list, packed->entries);
  return "";
}

// The updater installs nothing from a payload whose list does not read.
constexpr char DamagedList[] =
    "its version list VLK.hvl is damaged (not a whole version list): the updater installs nothing and says "
    "\"The installer may be damaged.\"";

// Prints which program players run: the updater, and for which platform, or
// another program; false for another.
bool ReportProgram(std::string_view image, std::FILE* out) {
  if (!CarriesUpdaterMark(image)) {
    std::fprintf(out, "program: NOT A BUILD OF THE UPDATER: players would run another program\n");
    return false;
  }
  std::fprintf(out, "program: the updater for %s\n", PlatformOf(ReadProgramHeaders(image)).c_str());
  return true;
}

// Prints whether the file carries an Authenticode signature, which is not
// verified here: a tampered file shows the same table. A signature covers
// the payload only when its certificate table follows the archive and ends the
// file; false when a table lies anywhere else.
bool ReportSignature(const std::string& path, std::string_view image, const PackedUpdater& packed, std::FILE* out) {
  ProgramHeaders headers = ReadProgramHeaders(image);
  if (headers.kind != ProgramKind::Windows || headers.certificateSize == 0) {
    std::fprintf(out, "signature: none\n");
    return true;
  }
  uint64_t archiveEnd = ArchiveOffset;
  for (const ArchiveEntry& entry : packed.entries)
    archiveEnd = std::max<uint64_t>(archiveEnd, ArchiveOffset + entry.position + entry.size);
  std::error_code error;
  uint64_t fileSize = std::filesystem::file_size(path, error);
  bool placed = !error && headers.certificateOffset >= archiveEnd &&
                uint64_t{headers.certificateOffset} + headers.certificateSize == fileSize;
  std::fprintf(out,
               "signature: Authenticode, a certificate table of %u bytes at 0x%X%s; not verified: updater-pack does "
               "not check signatures (osslsigncode verify does)\n",
               headers.certificateSize, headers.certificateOffset,
               placed ? "" : ", MISPLACED: not after the payload (sign after packing)");
  return placed;
}

}  // namespace

int ListPayload(const std::string& path, std::FILE* out) {
  CFileDX file;
  PackedUpdater packed;
  if (std::string error = ReadPackedUpdater(path, &file, &packed); !error.empty()) {
    std::fprintf(stderr, "updater-pack: %s\n", error.c_str());
    return 2;
  }
  std::fprintf(out, "title: %s\n", packed.title.c_str());
  std::string image(PayloadHeaderOffset, '\0');
  InputFile imageFile = OpenForReading(path);
  image.resize(imageFile ? std::fread(image.data(), 1, image.size(), imageFile.get()) : 0);
  bool programOk = ReportProgram(image, out);
  std::fprintf(out, "layout: %s, %u entries\n", LayoutOf(packed.header) == ArchiveLayout::PackFile ? "packfile" : "arc20",
               packed.header.count);
  bool signatureOk = ReportSignature(path, image, packed, out);
  for (const ArchiveEntry& entry : packed.entries)
    std::fprintf(out, "entry: %s position %llu size %u\n", entry.name.c_str(),
                 static_cast<unsigned long long>(entry.position), entry.size);
  if (packed.listState == ShippedList::Damaged) {
    std::fprintf(out, "cannot install: %s\n", DamagedList);
    return 1;
  }

  const VersionList& list = packed.list;
  if (packed.listState == ShippedList::Absent)
    std::fprintf(out, "version list: none; the updater installs every entry unverified, under its own name\n");
  else
    std::fprintf(out, "version list: format %d, %u rows\n", list.header.magic[4] == 'V' ? 2 : 1, list.header.count);
  // Each row is checked against the entry the updater would verify with it.
  std::vector<const ArchiveEntry*> matches(list.entries.size(), nullptr);
  uint64_t total = 0;
  for (size_t i = 0; i < packed.entries.size(); ++i) {
    int row = packed.plans[i].versionRow;
    if (row >= 0 && !packed.plans[i].isVersionList && !matches[row]) {
      matches[row] = &packed.entries[i];
      total += packed.entries[i].size;
    }
  }
  std::vector<bool> rowOk(list.entries.size(), false);
  std::vector<char> block(CopyBlockSize);
  ByteProgress progress = StartByteProgress("checking", total);
  for (size_t r = 0; r < list.entries.size(); ++r) {
    const ArchiveEntry* match = matches[r];
    ContentChecksum sum{};
    bool readable = match && SeekTo(file, ArchiveOffset + match->position);
    for (uint32_t done = 0; readable && done < match->size;) {
      uint32_t length = std::min<uint32_t>(CopyBlockSize, match->size - done);
      readable = file.Read(block.data(), length) == length;
      UpdateContentChecksum(&sum, block.data(), length);
      AddProgressBytes(&progress, length);
      done += length;
    }
    rowOk[r] = readable && ChecksumWord0(sum) == list.entries[r].checksum[0] &&
               ChecksumWord1(sum) == list.entries[r].checksum[1];
  }
  EndByteProgress(&progress);
  for (size_t r = 0; r < list.entries.size(); ++r) {
    const VersionEntry& row = list.entries[r];
    std::fprintf(out, "row: %s %08X %08X %s\n", row.name.c_str(), row.checksum[0], row.checksum[1],
                 !matches[r] ? "missing" : rowOk[r] ? "ok" : "MISMATCH");
  }
  bool allMatch = std::find(rowOk.begin(), rowOk.end(), false) == rowOk.end();
  std::vector<std::u16string> targets = TargetNamesOf(packed.plans);
  if (TargetNameCheck check = CheckTargetNames(targets); check.fault != TargetNameFault::None) {
    std::fprintf(out, "cannot install: %s: %s\n", WideToNarrow(targets[check.name].c_str(), TargetUtf8).c_str(),
                 DescribeTargetNameFault(check.fault));
    return 1;
  }
  return allMatch && programOk && signatureOk && packed.listState == ShippedList::Read ? 0 : 1;
}

int CheckPayloadInGame(const std::string& path, const std::string& game, std::FILE* out) {
  CFileDX file;
  PackedUpdater packed;
  std::string refusal = ReadPackedUpdater(path, &file, &packed);
  std::vector<std::string> names;
  for (const std::u16string& name : TargetNamesOf(packed.plans)) names.push_back(WideToNarrow(name.c_str(), TargetUtf8));
  if (refusal.empty() && packed.listState == ShippedList::Damaged) refusal = path + ": " + DamagedList;
  if (refusal.empty()) refusal = CheckNamesInGame(names, game, out);
  if (!refusal.empty()) {
    PrintRefusals(refusal);
    return 2;
  }
  ReportVersionRows(packed.list, names, game, out);
  return 0;
}

int ListVersionFile(const std::string& path, std::FILE* out) {
  VersionList list;
  if (std::string error = CheckReadable(path); !error.empty()) {
    std::fprintf(stderr, "updater-pack: %s\n", error.c_str());
    return 2;
  }
  if (!LoadVersionList(NarrowToWide(path.c_str()).c_str(), &list)) {
    std::fprintf(stderr, "updater-pack: %s: not a readable version list\n", path.c_str());
    return 2;
  }
  std::fprintf(out, "version list: format %d, %u rows\n", list.header.magic[4] == 'V' ? 2 : 1, list.header.count);
  for (const VersionEntry& row : list.entries)
    std::fprintf(out, "row: %s %08X %08X\n", row.name.c_str(), row.checksum[0], row.checksum[1]);
  return 0;
}
