#include "pack.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "install/checksum.h"
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

std::string Lower(std::string text) {
  LowerText(text.data());
  return text;
}

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

// Names Windows cannot hold, which the updater would refuse to install.
bool HasForbiddenCharacter(const std::string& name) {
  for (unsigned char c : name) {
    if (c < 0x20 || std::strchr("<>:\"|?*\\", c)) return true;
  }
  return false;
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

void Put32(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
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

}  // namespace

std::string WritePayload(const std::string& stubBytes, const std::string& titleBytes, bool packFileLayout,
                         std::vector<PackEntry>& entries, const std::string& out) {
  const uint32_t entrySize = packFileLayout ? PackFileEntrySize : Arc20EntrySize;
  const uint32_t nameSize = packFileLayout ? PackFileNameSize : Arc20NameSize;
  const uint32_t count = static_cast<uint32_t>(entries.size());

  std::string index(16 + uint64_t{count} * entrySize, '\0');
  std::memcpy(index.data(), packFileLayout ? ArchiveMagicPackFile : ArchiveMagicArc20, 12);
  Put32(&index, 12, count);
  unsigned long long offset = 0;
  for (uint32_t i = 0; i < count; ++i) {
    PackEntry& entry = entries[i];
    if (entry.sourceFile.empty()) entry.size = entry.content.size();
    size_t at = 16 + size_t{i} * entrySize;
    std::memcpy(&index[at], entry.storedName.data(), std::min<size_t>(entry.storedName.size(), nameSize - 1));
    Put32(&index, at + nameSize, static_cast<uint32_t>(offset));
    Put32(&index, at + nameSize + 4, static_cast<uint32_t>(entry.size));
    offset += entry.size;
  }
  if (index.size() + offset >= FourGiB) return out + ": the archive would reach 4 GiB";

  std::string temporary = out + ".tmp-" + std::to_string(std::random_device{}());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) return out + ": cannot be created";
  std::string header(PayloadHeaderSize, '\0');
  std::memcpy(header.data(), titleBytes.data(), std::min<size_t>(titleBytes.size(), PayloadHeaderSize - 1));
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
  std::string error = CollectFiles(options.from, &files);
  if (!error.empty()) return error;
  if (files.size() > MaxFiles) return options.from + ": more than 255 files";

  const size_t archiveNameLimit = (options.packFileLayout ? PackFileNameSize : Arc20NameSize) - 1;
  const size_t listNameLimit = options.listFormat == 2 ? 247 : 55;
  VersionList list;
  std::memcpy(list.header.magic, options.listFormat == 2 ? VersionListMagic2 : VersionListMagic1, 8);
  list.header.count = static_cast<uint32_t>(files.size());
  std::vector<PackEntry> entries(1);
  entries[0].storedName = "VLK.hvl";
  std::vector<std::string> seen;

  for (const SourceFile& file : files) {
    std::string bare = fs::path(file.relative).filename().string();
    std::string rowName = file.relative;
    std::replace(rowName.begin(), rowName.end(), '/', '\\');
    std::string storedName, rowSjis;
    if (Lower(bare) == "vlk.hvl") return file.path + ": the name vlk.hvl is reserved for the version list";
    for (const std::string& component : {bare, file.relative}) {
      if (HasForbiddenCharacter(fs::path(component).filename().string()))
        return file.path + ": the name holds a character Windows does not allow";
    }
    if (!ToShiftJis(bare, &storedName) || !ToShiftJis(rowName, &rowSjis))
      return file.path + ": the name is not UTF-8 or has no Shift-JIS form";
    if (storedName.size() > archiveNameLimit)
      return file.path + ": the name is longer than " + std::to_string(archiveNameLimit) + " bytes";
    if (rowSjis.size() > listNameLimit)
      return file.path + ": the path is longer than " + std::to_string(listNameLimit) + " bytes in Shift-JIS";
    if (std::find(seen.begin(), seen.end(), Lower(bare)) != seen.end())
      return file.path + ": another file has the same name " + bare;
    seen.push_back(Lower(bare));
    if (file.size >= FourGiB) return file.path + ": 4 GiB or larger";

    VersionEntry row;
    row.name = rowName;
    error = ChecksumOfFile(file, row.checksum);
    if (!error.empty()) return error;
    list.entries.push_back(row);

    PackEntry entry;
    entry.storedName = storedName;
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
  bool packFile = std::memcmp(header.magic, ArchiveMagicPackFile, 12) == 0;
  std::fprintf(out, "title: %s\n", WideToNarrow(title, TargetUtf8).c_str());
  std::fprintf(out, "layout: %s, %u entries\n", packFile ? "packfile" : "arc20", header.count);
  VersionList list;
  bool haveList = false;
  for (const ArchiveEntry& entry : entries) {
    std::fprintf(out, "entry: %s position %llu size %u\n", entry.name.c_str(),
                 static_cast<unsigned long long>(entry.position), entry.size);
    uint64_t at = ArchiveOffset + entry.position;
    if (!haveList && Lower(entry.name) == "vlk.hvl" && file.Seek(static_cast<uint32_t>(at), static_cast<uint32_t>(at >> 32)))
      haveList = ReadVersionList(&file, &list);
  }
  if (!haveList) {
    std::fprintf(stderr, "updater-pack: %s: no readable version list VLK.hvl\n", path.c_str());
    return 1;
  }

  std::fprintf(out, "version list: format %d, %u rows\n", list.header.magic[4] == 'V' ? 2 : 1, list.header.count);
  bool allMatch = true;
  std::vector<char> block(CopyBlockSize);
  for (const VersionEntry& row : list.entries) {
    const ArchiveEntry* match = nullptr;
    for (const ArchiveEntry& entry : entries) {
      if (Lower(entry.name) != "vlk.hvl" && FindVersionEntryForFile(list, entry.name.c_str()) == &row - &list.entries[0]) {
        match = &entry;
        break;
      }
    }
    ContentChecksum sum{};
    bool readable = false;
    if (match) {
      uint64_t at = ArchiveOffset + match->position;
      readable = file.Seek(static_cast<uint32_t>(at), static_cast<uint32_t>(at >> 32));
      for (uint32_t done = 0; readable && done < match->size;) {
        uint32_t length = std::min<uint32_t>(CopyBlockSize, match->size - done);
        readable = file.Read(block.data(), length) == length;
        UpdateContentChecksum(&sum, block.data(), length);
        done += length;
      }
    }
    bool ok = readable && ChecksumWord0(sum) == row.checksum[0] && ChecksumWord1(sum) == row.checksum[1];
    allMatch = allMatch && ok;
    std::fprintf(out, "row: %s %08X %08X %s\n", row.name.c_str(), row.checksum[0], row.checksum[1],
                 !match ? "missing" : ok ? "ok" : "MISMATCH");
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
