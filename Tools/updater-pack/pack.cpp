#include "pack.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "install/checksum.h"
#include "install/install_plan.h"
#include "lists/version_list.h"
#include "payload/file.h"
#include "payload/payload.h"
#include "text/codepage.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t CopyBlockSize = 1 << 20;
constexpr size_t MaxFiles = 255;  // the version list takes the 256th entry
constexpr unsigned long long FourGiB = 1ull << 32;

// The Shift-JIS form of a UTF-8 text; false when the text is not UTF-8 or holds
// a character that code page 932 has no form for.
bool ToShiftJis(const std::string& utf8, std::string* sjis) {
  int units = CodePageToWide(CodePageUtf8, utf8.c_str(), -1, nullptr, 0);
  if (units < 1) return false;
  std::u16string wide(static_cast<size_t>(units), u'\0');
  CodePageToWide(CodePageUtf8, utf8.c_str(), -1, wide.data(), units);
  if (WideToNarrow(wide.c_str(), TargetUtf8) != utf8) return false;  // not valid UTF-8
  std::string narrow = WideToNarrow(wide.c_str(), TargetShiftJis);
  int back = CodePageToWide(CodePageShiftJis, narrow.c_str(), -1, nullptr, 0);
  std::u16string roundTrip(static_cast<size_t>(back > 0 ? back : 1), u'\0');
  CodePageToWide(CodePageShiftJis, narrow.c_str(), -1, roundTrip.data(), back);
  if (roundTrip != wide) return false;
  *sjis = narrow;
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *bytes = buffer.str();
  return !in.bad();
}

struct SourceFile {
  std::string relative;  // UTF-8, "/" separated
  std::string path;
  unsigned long long size;
};

std::string CollectFiles(const std::string& folder, std::vector<SourceFile>* files) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) return folder + ": no such folder";
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    SourceFile file;
    file.path = it->path().string();
    file.relative = fs::relative(it->path(), folder, error).generic_string();
    file.size = it->file_size(error);
    if (error) break;
    files->push_back(file);
  }
  if (error) return folder + ": " + error.message();
  if (files->empty()) return folder + ": holds no files";
  std::sort(files->begin(), files->end(), [](auto& a, auto& b) { return a.relative < b.relative; });
  return "";
}

std::string ChecksumOfFile(const SourceFile& file, uint32_t words[2]) {
  std::ifstream in(file.path, std::ios::binary);
  if (!in) return file.path + ": cannot be read";
  std::unique_ptr<char[]> block(new char[CopyBlockSize]);
  ContentChecksum sum{};
  unsigned long long total = 0;
  while (in) {
    in.read(block.get(), CopyBlockSize);
    std::streamsize got = in.gcount();
    if (got <= 0) break;
    UpdateContentChecksum(&sum, block.get(), static_cast<uint32_t>(got));
    total += static_cast<unsigned long long>(got);
  }
  if (in.bad() || total != file.size) return file.path + ": changed while it was being packed";
  words[0] = ChecksumWord0(sum);
  words[1] = ChecksumWord1(sum);
  return "";
}

std::string CopyEntry(std::FILE* out, const PackEntry& entry, std::vector<char>& block) {
  if (entry.sourceFile.empty()) {
    if (!entry.content.empty() && std::fwrite(entry.content.data(), 1, entry.content.size(), out) != entry.content.size())
      return "write failed";
    return "";
  }
  std::FILE* in = std::fopen(entry.sourceFile.c_str(), "rb");
  if (!in) return entry.sourceFile + ": cannot be read";
  unsigned long long total = 0;
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), in)) > 0) {
    total += got;
    if (total > entry.size || std::fwrite(block.data(), 1, got, out) != got) break;
  }
  std::fclose(in);
  if (total != entry.size) return entry.sourceFile + ": changed while it was being packed";
  return "";
}

std::string BareName(const SourceFile& file) { return fs::path(file.relative).filename().string(); }

// The file's row in the version list: its path below the update folder.
std::string RowName(const SourceFile& file) {
  std::string name = file.relative;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

// Refuses, before anything is read or written, every name the packed updater
// could not store or the updater would not install, naming the file and why.
std::string CheckNames(const PackOptions& options, const std::vector<SourceFile>& files) {
  const size_t archiveNameLimit = FieldsOf(options.packFileLayout ? ArchiveLayout::PackFile : ArchiveLayout::Arc20).nameSize - 1;
  const size_t listNameLimit = options.listFormat == 2 ? 247 : 55;
  std::vector<std::u16string> targets;
  std::vector<std::string> bareNames;
  for (const SourceFile& file : files) {
    std::string bare = BareName(file), storedName, rowSjis;
    if (EqualIgnoringAsciiCase<char16_t>(NarrowToWide(bare.c_str()), VersionListFileName))
      return file.path + ": the name vlk.hvl is reserved for the version list";
    // A backslash is a name's own character here, but a separator to Windows.
    if (file.relative.find('\\') != std::string::npos) return file.path + ": the name holds a backslash";
    if (!ToShiftJis(bare, &storedName) || !ToShiftJis(RowName(file), &rowSjis))
      return file.path + ": the name is not UTF-8 or has no Shift-JIS form";
    if (storedName.size() > archiveNameLimit)
      return file.path + ": the name is longer than " + std::to_string(archiveNameLimit) + " bytes";
    if (rowSjis.size() > listNameLimit)
      return file.path + ": the path is longer than " + std::to_string(listNameLimit) + " bytes in Shift-JIS";
    // The updater finds a file's row by its bare name, whatever its case.
    for (size_t other = 0; other < bareNames.size(); ++other) {
      if (LowerText(bareNames[other]) == LowerText(bare))
        return file.path + ": has the same name as " + files[other].path + " (the updater ignores folders and case here)";
    }
    bareNames.push_back(bare);
    if (file.size >= FourGiB) return file.path + ": 4 GiB or larger";
    targets.push_back(NarrowToWide(RowName(file).c_str()));
  }
  TargetNameCheck check = CheckTargetNames(targets);
  if (check.fault == TargetNameFault::None) return "";
  std::string message = files[check.name].path + ": " + DescribeTargetNameFault(check.fault);
  if (check.other != check.name) message += " (" + files[check.other].path + ")";
  return message;
}

}  // namespace

std::string WritePayload(const std::string& stubBytes, const std::string& titleBytes, bool packFileLayout,
                         std::vector<PackEntry>& entries, const std::string& out) {
  std::vector<ArchiveIndexRecord> records;
  unsigned long long offset = 0;
  for (PackEntry& entry : entries) {
    if (entry.sourceFile.empty()) entry.size = entry.content.size();
    records.push_back({entry.storedName, static_cast<uint32_t>(offset), static_cast<uint32_t>(entry.size)});
    offset += entry.size;
  }
  std::string index, header;
  if (!EncodeArchiveIndex(packFileLayout ? ArchiveLayout::PackFile : ArchiveLayout::Arc20, records, &index))
    return out + ": a name does not fit its index field";
  if (!EncodePayloadHeader(titleBytes, &header)) return "--title: longer than 1023 bytes";
  if (index.size() + offset >= FourGiB) return out + ": the archive would reach 4 GiB";

  std::string temporary = out + ".tmp-" + std::to_string(std::random_device{}());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return out + ": cannot be created";
  std::string padding(PayloadHeaderOffset - stubBytes.size(), '\0');
  std::string error;
  for (const std::string* part : {&stubBytes, static_cast<const std::string*>(&padding), static_cast<const std::string*>(&header), static_cast<const std::string*>(&index)}) {
    if (error.empty() && std::fwrite(part->data(), 1, part->size(), file) != part->size()) error = out + ": write failed";
  }
  std::vector<char> block(CopyBlockSize);
  for (const PackEntry& entry : entries) {
    if (error.empty()) error = CopyEntry(file, entry, block);
  }
  if (std::fclose(file) != 0 && error.empty()) error = out + ": write failed";

  std::error_code failure;
  if (error.empty()) {
    fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, failure);  // the packed updater is a program
    fs::rename(temporary, out, failure);
    if (failure) error = out + ": cannot be created";
  }
  if (!error.empty()) fs::remove(temporary, failure);
  return error;
}

std::string BuildPayload(const PackOptions& options) {
  std::string titleBytes = options.title;
  if (!options.titleUtf8 && !ToShiftJis(options.title, &titleBytes))
    return "--title: not UTF-8, or holds a character that Shift-JIS cannot represent";
  if (titleBytes.size() > PayloadHeaderSize - 1) return "--title: longer than 1023 bytes";

  std::string stubBytes;
  if (!ReadWholeFile(options.stub, &stubBytes)) return options.stub + ": cannot be read";
  if (stubBytes.size() >= PayloadHeaderOffset) return options.stub + ": the program image reaches 0x70000";

  std::vector<SourceFile> files;
  if (std::string error = CollectFiles(options.from, &files); !error.empty()) return error;
  if (files.size() > MaxFiles) return options.from + ": more than 255 files";

  std::string error = CheckNames(options, files);
  if (!error.empty()) return error;

  VersionList list;
  std::memcpy(list.header.magic, options.listFormat == 2 ? VersionListMagic2 : VersionListMagic1, 8);
  list.header.count = static_cast<uint32_t>(files.size());
  std::vector<PackEntry> entries(1);
  entries[0].storedName = WideToNarrow(ShippedVersionListName, TargetUtf8);
  for (const SourceFile& file : files) {
    VersionEntry row;
    row.name = RowName(file);
    error = ChecksumOfFile(file, row.checksum);
    if (!error.empty()) return error;
    list.entries.push_back(row);

    PackEntry entry;
    ToShiftJis(BareName(file), &entry.storedName);
    entry.sourceFile = file.path;
    entry.size = file.size;
    entries.push_back(entry);
  }

  if (!EncodeVersionList(list, &entries[0].content)) return options.from + ": the version list cannot be encoded";
  return WritePayload(stubBytes, titleBytes, options.packFileLayout, entries, options.out);
}

int ListPayload(const std::string& path, std::FILE* out) {
  std::u16string widePath = NarrowToWide(path.c_str());
  char16_t title[TitleCapacity];
  if (!ReadPayloadTitleFromFile(widePath.c_str(), title, TitleCapacity)) {
    std::fprintf(stderr, "updater-pack: %s: no payload title at 0x70000\n", path.c_str());
    return 2;
  }
  CFileDX file;
  ArchiveHeader header;
  std::vector<ArchiveEntry> entries;
  if (!file.OpenRead(widePath.c_str()) || !file.Seek(ArchiveOffset, 0) || !ReadArchiveIndex(&header, &entries, &file)) {
    std::fprintf(stderr, "updater-pack: %s: the archive index at 0x70400 cannot be read\n", path.c_str());
    return 2;
  }
  std::fprintf(out, "title: %s\n", WideToNarrow(title, TargetUtf8).c_str());
  std::fprintf(out, "layout: %s, %u entries\n", LayoutOf(header) == ArchiveLayout::PackFile ? "packfile" : "arc20",
               header.count);
  for (const ArchiveEntry& entry : entries) {
    std::fprintf(out, "entry: %s position %llu size %u\n", entry.name.c_str(),
                 static_cast<unsigned long long>(entry.position), entry.size);
  }
  VersionList list;
  if (ReadShippedVersionList(file, entries, &list) != ShippedList::Read) {
    std::fprintf(stderr, "updater-pack: %s: no readable version list VLK.hvl\n", path.c_str());
    return 1;
  }

  std::fprintf(out, "version list: format %d, %u rows\n", list.header.magic[4] == 'V' ? 2 : 1, list.header.count);
  // Each row is checked against the entry the updater would verify with it.
  std::vector<EntryPlan> plans = PlanEntries(list, entries);
  bool allMatch = true;
  std::vector<char> block(CopyBlockSize);
  for (size_t r = 0; r < list.entries.size(); ++r) {
    const VersionEntry& row = list.entries[r];
    const ArchiveEntry* match = nullptr;
    for (size_t i = 0; i < entries.size() && !match; ++i)
      if (plans[i].versionRow == static_cast<int>(r) && !plans[i].isVersionList) match = &entries[i];
    ContentChecksum sum{};
    bool readable = match && SeekTo(file, ArchiveOffset + match->position);
    for (uint32_t done = 0; readable && done < match->size;) {
      uint32_t length = std::min<uint32_t>(CopyBlockSize, match->size - done);
      readable = file.Read(block.data(), length) == length;
      UpdateContentChecksum(&sum, block.data(), length);
      done += length;
    }
    bool ok = readable && ChecksumWord0(sum) == row.checksum[0] && ChecksumWord1(sum) == row.checksum[1];
    allMatch = allMatch && ok;
    std::fprintf(out, "row: %s %08X %08X %s\n", row.name.c_str(), row.checksum[0], row.checksum[1],
                 !match ? "missing" : ok ? "ok" : "MISMATCH");
  }
  std::vector<std::u16string> targets = TargetNamesOf(plans);
  if (TargetNameCheck check = CheckTargetNames(targets); check.fault != TargetNameFault::None) {
    std::fprintf(out, "cannot install: %s: %s\n", WideToNarrow(targets[check.name].c_str(), TargetUtf8).c_str(),
                 DescribeTargetNameFault(check.fault));
    return 1;
  }
  return allMatch ? 0 : 1;
}

int ListVersionFile(const std::string& path, std::FILE* out) {
  VersionList list;
  if (!LoadVersionList(NarrowToWide(path.c_str()).c_str(), &list)) {
    std::fprintf(stderr, "updater-pack: %s: not a readable version list\n", path.c_str());
    return 2;
  }
  std::fprintf(out, "version list: format %d, %u rows\n", list.header.magic[4] == 'V' ? 2 : 1, list.header.count);
  for (const VersionEntry& row : list.entries)
    std::fprintf(out, "row: %s %08X %08X\n", row.name.c_str(), row.checksum[0], row.checksum[1]);
  return 0;
}
