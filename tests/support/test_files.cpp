#include "support/test_files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "install/checksum.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {
// Test paths are UTF-8 on every platform, also where the narrow code page is not.
fs::path U8Path(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Le32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
  return bytes;
}
}  // namespace

TempFolder::TempFolder() {
  std::random_device random;
  fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate = base / ("updater-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      path_ = candidate.generic_string();
      break;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only leftovers must not keep the folder alive.
  for (fs::recursive_directory_iterator it(path_, ignored), end; !ignored && it != end; it.increment(ignored)) {
    if (!it->is_symlink(ignored)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  ignored.clear();
  fs::remove_all(path_, ignored);
}

std::u16string TempFolder::Wide(const std::string& relative) const {
  return ToWide(relative.empty() ? path_ : path_ + "/" + relative);
}

std::u16string ToWide(const std::string& utf8) { return NarrowToWide(utf8.c_str()); }

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(U8Path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.good()) throw std::runtime_error("cannot write " + path);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(U8Path(path), std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(U8Path(path), ignored));
}

PackEntry MemoryEntry(const std::string& storedName, const std::string& content) {
  PackEntry entry;
  entry.storedName = storedName;
  entry.content = content;
  return entry;
}

std::string MakePayloadFile(const std::string& path, std::vector<PackEntry> entries, const std::string& title,
                            bool packFileLayout) {
  std::string error = WritePayload("MZ test stub", title, packFileLayout, entries, path);
  if (!error.empty()) throw std::runtime_error(error);
  return path;
}

std::string VersionListBytes(const std::vector<UpdateFile>& files, int listFormat) {
  const size_t nameField = listFormat == 2 ? 248 : 56;
  std::string bytes = (listFormat == 2 ? "VHV_V2__" : "VHV_____") + Le32(0) + Le32(static_cast<uint32_t>(files.size()));
  for (const UpdateFile& file : files) {
    ContentChecksum sum{};
    UpdateContentChecksumReference(&sum, file.content.data(), static_cast<uint32_t>(file.content.size()));
    bytes += file.name.substr(0, nameField) + std::string(nameField - std::min(nameField, file.name.size()), '\0') +
             Le32(ChecksumWord0(sum)) + Le32(ChecksumWord1(sum));
  }
  return bytes;
}

std::string MakeUpdatePayload(const std::string& path, const std::vector<UpdateFile>& files, int listFormat) {
  std::vector<PackEntry> entries = {MemoryEntry("VLK.hvl", VersionListBytes(files, listFormat))};
  for (const UpdateFile& file : files) {
    std::string bare = file.name.substr(file.name.find_last_of('\\') + 1);
    entries.push_back(MemoryEntry(ConvertNarrow(bare.c_str(), TargetShiftJis), file.content));
  }
  return MakePayloadFile(path, entries);
}

std::map<std::string, std::string> OldGame() {
  return {{"LUMENTRAIL.exe", "game program"},
          {"Game.pak", "old game"},
          {"data/Map.pak", "old map"},
          {"data/sound.pak", "old sound"},
          {"Keep.pak", "not in the update"},
          {"vlk.hvl", VersionListBytes({{"Game.pak", "old game"},
                                        {"DATA\\Map.pak", "old map"},
                                        {"data\\sound.pak", "old sound"},
                                        {"Removed.pak", "gone since"},
                                        {"GAME.PAK", "old game"}})},
          {"uninst.lst", "LUMENTRAIL.exe\r\nGame.pak\r\nData\\Map.pak\r\n$Dir data\r\n"}};
}

void WriteFiles(const std::string& folder, const std::map<std::string, std::string>& files) {
  for (auto& [name, bytes] : files) {
    fs::create_directories(U8Path(folder + "/" + name).parent_path());
    WriteBytes(folder + "/" + name, bytes);
  }
}
