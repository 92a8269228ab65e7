#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "install/checksum.h"
#include "lists/version_list.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {
// Test paths are UTF-8 on every platform, also where the narrow code page is not.
fs::path U8Path(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
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
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
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
  ASSERT_TRUE(out.good()) << path;
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
  EXPECT_EQ(error, "");
  return path;
}

std::string VersionListBytes(const std::vector<UpdateFile>& files, int listFormat) {
  VersionList list;
  std::memcpy(list.header.magic, listFormat == 2 ? VersionListMagic2 : VersionListMagic1, 8);
  for (const UpdateFile& file : files) {
    ContentChecksum sum{};
    UpdateContentChecksumReference(&sum, file.content.data(), static_cast<uint32_t>(file.content.size()));
    list.entries.push_back({file.name, {ChecksumWord0(sum), ChecksumWord1(sum)}});
  }
  list.header.count = static_cast<uint32_t>(list.entries.size());
  std::string bytes;
  EXPECT_TRUE(EncodeVersionList(list, &bytes));
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
