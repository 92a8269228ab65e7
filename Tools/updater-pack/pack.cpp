#include "pack.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "file_io.h"
#include "game_check.h"
#include "install/checksum.h"
#include "install/install_plan.h"
#include "lists/version_list.h"
#include "payload/payload.h"
#include "program_image.h"
#include "text/codepage.h"
#include "text/text.h"
#include "update_folder.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t CopyBlockSize = 1 << 20;
constexpr size_t MaxFiles = 255;  // the version list takes the 256th entry
constexpr unsigned long long FourGiB = 1ull << 32;

// The UTF-16 form of a UTF-8 text; false when the text is not valid UTF-8.
bool FromUtf8(const std::string& utf8, std::u16string* wide) {
  int units = CodePageToWide(CodePageUtf8, utf8.c_str(), -1, nullptr, 0);
  if (units < 1) return false;
  wide->assign(static_cast<size_t>(units), u'\0');
  CodePageToWide(CodePageUtf8, utf8.c_str(), -1, wide->data(), units);
  wide->resize(static_cast<size_t>(units) - 1);
  return WideToNarrow(wide->c_str(), TargetUtf8) == utf8;
}

// The Shift-JIS form of a UTF-8 text; false when the text is not UTF-8 or holds
// a character that code page 932 has no form for.
bool ToShiftJis(const std::string& utf8, std::string* sjis) {
  std::u16string wide;
  if (!FromUtf8(utf8, &wide)) return false;
  std::string narrow = WideToNarrow(wide.c_str(), TargetShiftJis);
  int back = CodePageToWide(CodePageShiftJis, narrow.c_str(), -1, nullptr, 0);
  std::u16string roundTrip(static_cast<size_t>(back > 0 ? back : 1), u'\0');
  CodePageToWide(CodePageShiftJis, narrow.c_str(), -1, roundTrip.data(), back);
  roundTrip.pop_back();  // the terminator
  if (roundTrip != wide) return false;
  *sjis = narrow;
  return true;
}

// The name the updater reads from stored bytes: valid UTF-8 as UTF-8, any
// other bytes as Shift-JIS.
std::string ReadBack(const std::string& stored) { return ConvertNarrow(stored.c_str(), TargetUtf8); }

std::string ChecksumOfFile(const SourceFile& file, uint32_t words[2], std::vector<char>& block, ByteProgress* progress) {
  InputFile in = OpenForReading(file.path);
  if (!in) return Cannot("open", file.path);
  ContentChecksum sum{};
  unsigned long long total = 0;
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), in.get())) > 0) {
    UpdateContentChecksum(&sum, block.data(), static_cast<uint32_t>(got));
    total += got;
    AddProgressBytes(progress, got);
  }
  if (std::ferror(in.get())) return Cannot("read", file.path);
  if (total != file.size) return file.path + ": changed while it was being packed";
  words[0] = ChecksumWord0(sum);
  words[1] = ChecksumWord1(sum);
  return "";
}

std::string CopyEntry(std::FILE* out, const std::string& outName, const PackEntry& entry, std::vector<char>& block,
                      ByteProgress* progress) {
  if (entry.sourceFile.empty()) {
    if (!entry.content.empty() && std::fwrite(entry.content.data(), 1, entry.content.size(), out) != entry.content.size())
      return Cannot("write", outName);
    return "";
  }
  InputFile in = OpenForReading(entry.sourceFile);
  if (!in) return Cannot("open", entry.sourceFile);
  unsigned long long total = 0;
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), in.get())) > 0) {
    total += got;
    if (total > entry.size) break;
    if (std::fwrite(block.data(), 1, got, out) != got) return Cannot("write", outName);
    AddProgressBytes(progress, got);
  }
  if (std::ferror(in.get())) return Cannot("read", entry.sourceFile);
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

// Why the packed updater could not store `file`'s name or the updater would
// read it back as another, or "".
std::string RefusalOfName(const PackOptions& options, const SourceFile& file) {
  const size_t archiveNameLimit = FieldsOf(options.packFileLayout ? ArchiveLayout::PackFile : ArchiveLayout::Arc20).nameSize - 1;
  const size_t listNameLimit = options.listFormat == 2 ? 247 : 55;
  std::string bare = BareName(file), storedName, rowSjis;
  if (EqualIgnoringAsciiCase<char16_t>(NarrowToWide(bare.c_str()), VersionListFileName))
    return "the name vlk.hvl is reserved for the version list";
  // A backslash is a name's own character here, but a separator to Windows.
  if (file.relative.find('\\') != std::string::npos) return "the name holds a backslash";
  if (!ToShiftJis(bare, &storedName) || !ToShiftJis(RowName(file), &rowSjis))
    return "the name is not UTF-8 or has no Shift-JIS form";
  // Shift-JIS bytes that also form UTF-8 would install the file under another name.
  if (ReadBack(rowSjis) != RowName(file) || ReadBack(storedName) != bare)
    return "stored in Shift-JIS, the name reads back as " +
           (ReadBack(rowSjis) != RowName(file) ? ReadBack(rowSjis) : ReadBack(storedName)) +
           " (its bytes are UTF-8 as well); rename the file";
  if (storedName.size() > archiveNameLimit)
    return "the name is longer than " + std::to_string(archiveNameLimit) + " bytes";
  if (rowSjis.size() > listNameLimit)
    return "the path is longer than " + std::to_string(listNameLimit) + " bytes in Shift-JIS";
  if (file.size >= FourGiB) return "4 GiB or larger";
  return "";
}

// Refuses, before anything is read or written, every name the packed updater
// could not store or the updater would not install: one line for each such
// file, naming it and why, so that one run shows all there is to fix.
std::string CheckNames(const PackOptions& options, const std::vector<SourceFile>& files) {
  std::string refusals;
  auto refuse = [&](size_t i, const std::string& why) {
    refusals += (refusals.empty() ? "" : "\n") + files[i].path + ": " + why;
  };
  std::vector<std::u16string> targets(files.size());  // empty for a file refused already
  std::vector<size_t> named;                           // the files whose bare names are taken
  for (size_t i = 0; i < files.size(); ++i) {
    if (std::string why = RefusalOfName(options, files[i]); !why.empty()) {
      refuse(i, why);
      continue;
    }
    // The updater finds a file's row by its bare name, whatever its case.
    auto same = std::find_if(named.begin(), named.end(),
                             [&](size_t other) { return LowerText(BareName(files[other])) == LowerText(BareName(files[i])); });
    if (same != named.end()) {
      refuse(i, "has the same name as " + files[*same].path + " (the updater ignores folders and case here)");
      continue;
    }
    named.push_back(i);
    targets[i] = NarrowToWide(RowName(files[i]).c_str());
  }
  // The updater's own rule, which names the first fault only: each refused
  // name leaves the set until none is left.
  for (TargetNameCheck check; (check = CheckTargetNames(targets)).fault != TargetNameFault::None;) {
    std::string why = DescribeTargetNameFault(check.fault);
    refuse(check.name, check.other != check.name ? why + " (" + files[check.other].path + ")" : why);
    targets[check.name].clear();
  }
  return refusals;
}

// The title's bytes as the header stores them; "" or why the updater could
// not show it as given.
std::string EncodeTitle(const PackOptions& options, std::string* bytes) {
  constexpr char UseUtf8[] = "; give --title-encoding utf8 to store it in UTF-8";
  std::u16string wide;
  if (options.title.empty()) return "--title: empty; give the update's title, the caption of every window";
  if (!FromUtf8(options.title, &wide)) return "--title: not UTF-8";
  *bytes = options.title;
  if (!options.titleUtf8 && !ToShiftJis(options.title, bytes))
    return std::string("--title: holds a character that Shift-JIS cannot represent") + UseUtf8;
  if (NarrowToWide(bytes->c_str()) != wide)
    return "--title: stored in Shift-JIS, it reads back as \"" + ReadBack(*bytes) + "\" (its bytes are UTF-8 as well)" +
           UseUtf8;
  if (bytes->size() > PayloadHeaderSize - 1) return "--title: longer than 1023 bytes";
  return "";
}

// "" unless `--out` names what build cannot replace with the packed updater.
std::string CheckOutputFile(const PackOptions& options) {
  std::error_code error;
  if (fs::is_directory(options.out, error))
    return "--out " + options.out + ": a folder; give the file to write, as in --out " +
           (fs::path(options.out) / "LumenTrailUpdate.exe").string();
  if (fs::equivalent(options.out, options.stub, error))
    return "--out " + options.out + ": the stub itself, which the build would replace; write to another file";
  return "";
}

}  // namespace

std::string WritePayload(const std::string& stubBytes, const std::string& titleBytes, bool packFileLayout,
                         std::vector<PackEntry>& entries, const std::string& out, ByteProgress* progress) {
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
  if (!file) return Cannot("create", out);
  std::string padding(PayloadHeaderOffset - stubBytes.size(), '\0');
  std::string error;
  for (const std::string* part : {&stubBytes, static_cast<const std::string*>(&padding), static_cast<const std::string*>(&header), static_cast<const std::string*>(&index)}) {
    if (error.empty() && std::fwrite(part->data(), 1, part->size(), file) != part->size()) error = Cannot("write", out);
  }
  std::vector<char> block(CopyBlockSize);
  for (const PackEntry& entry : entries) {
    if (error.empty()) error = CopyEntry(file, out, entry, block, progress);
  }
  if (std::fclose(file) != 0 && error.empty()) error = Cannot("write", out);

  std::error_code failure;
  if (error.empty()) {
    fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, failure);  // the packed updater is a program
    fs::rename(temporary, out, failure);
    if (failure) error = Cannot("create", out, failure);
  }
  if (!error.empty()) fs::remove(temporary, failure);
  return error;
}

std::string BuildPayload(const PackOptions& options, std::FILE* report) {
  std::string titleBytes;
  if (std::string refusal = EncodeTitle(options, &titleBytes); !refusal.empty()) return refusal;
  if (std::string refusal = CheckOutputFile(options); !refusal.empty()) return refusal;

  std::string stubBytes, note;
  if (std::string error = ReadWholeFile(options.stub, &stubBytes); !error.empty()) return error;
  if (std::string refusal = CheckStub(options.stub, stubBytes, &note); !refusal.empty()) return refusal;
  if (!note.empty()) std::fprintf(stderr, "updater-pack: note: %s\n", note.c_str());
  if (std::string refusal = CheckOutputOutside(options.out, options.from); !refusal.empty()) return refusal;

  std::vector<SourceFile> files;
  if (std::string error = CollectFiles(options.from, options.followLinks, &files); !error.empty()) return error;
  if (files.size() > MaxFiles) return options.from + ": more than 255 files";
  if (std::string refusal = CheckNames(options, files); !refusal.empty()) return refusal;

  // Everything that can be refused without reading the files is, before they are read.
  const ArchiveLayout layout = options.packFileLayout ? ArchiveLayout::PackFile : ArchiveLayout::Arc20;
  unsigned long long dataSize = 0;
  for (const SourceFile& file : files) dataSize += file.size;
  unsigned long long archiveSize = sizeof(ArchiveHeader) + (files.size() + 1) * FieldsOf(layout).entrySize +
                                   sizeof(VersionListHeader) + files.size() * (options.listFormat == 2 ? 256 : 64) +
                                   dataSize;
  if (archiveSize >= FourGiB)
    return options.from + ": its files make an archive of " + std::to_string(archiveSize) + " bytes, 4 GiB or more";
  std::vector<std::string> rowNames(files.size());
  std::transform(files.begin(), files.end(), rowNames.begin(), RowName);
  if (!options.game.empty()) {
    if (std::string refusal = CheckNamesInGame(rowNames, options.game, report); !refusal.empty()) return refusal;
  }

  VersionList list;
  std::memcpy(list.header.magic, options.listFormat == 2 ? VersionListMagic2 : VersionListMagic1, 8);
  list.header.count = static_cast<uint32_t>(files.size());
  std::vector<PackEntry> entries(1);
  entries[0].storedName = WideToNarrow(ShippedVersionListName, TargetUtf8);
  std::vector<char> block(CopyBlockSize);
  ByteProgress progress = StartByteProgress("reading", dataSize);
  for (size_t i = 0; i < files.size(); ++i) {
    VersionEntry row;
    row.name = rowNames[i];
    std::string error = ChecksumOfFile(files[i], row.checksum, block, &progress);
    if (!error.empty()) {
      EndByteProgress(&progress);
      return error;
    }
    list.entries.push_back(row);

    PackEntry entry;
    ToShiftJis(BareName(files[i]), &entry.storedName);
    entry.sourceFile = files[i].path;
    entry.size = files[i].size;
    entries.push_back(entry);
  }
  EndByteProgress(&progress);
  if (!options.game.empty()) ReportVersionRows(list, rowNames, options.game, report);

  if (!EncodeVersionList(list, &entries[0].content)) return options.from + ": the version list cannot be encoded";
  progress = StartByteProgress("writing", dataSize);
  std::string error = WritePayload(stubBytes, titleBytes, options.packFileLayout, entries, options.out, &progress);
  EndByteProgress(&progress);
  if (error.empty()) {
    std::string platform = PlatformOf(ReadProgramHeaders(stubBytes));
    std::fprintf(report, "packed %zu file%s, %llu bytes, title \"%s\", for %s, into %s\n", files.size(),
                 files.size() == 1 ? "" : "s", dataSize, options.title.c_str(), platform.c_str(), options.out.c_str());
  }
  return error;
}
