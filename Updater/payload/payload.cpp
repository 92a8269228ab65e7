#include "payload/payload.h"

#include <cstring>
#include <memory>
#include <new>

#include "payload/byte_fields.h"
#include "payload/file.h"
#include "payload/own_executable.h"
#include "text/path_buffer.h"
#include "text/text.h"

namespace {

constexpr ArchiveLayoutFields Arc20Fields = {"VELKAN ARC20", 128, 96};
constexpr ArchiveLayoutFields PackFileFields = {"PackFile    ", 32, 16};

}  // namespace

const ArchiveLayoutFields& FieldsOf(ArchiveLayout layout) {
  return layout == ArchiveLayout::PackFile ? PackFileFields : Arc20Fields;
}

ArchiveLayout LayoutOf(const ArchiveHeader& header) {
  return std::memcmp(header.magic, PackFileFields.magic, 12) == 0 ? ArchiveLayout::PackFile : ArchiveLayout::Arc20;
}

int ReadPayloadTitle(char16_t* title, size_t capacity) {
  PathBuffer<> path;
  if (!GetOwnExecutablePath(path.data(), path.capacity())) return 0;
  return ReadPayloadTitleFromFile(path.c_str(), title, capacity);
}

int ReadPayloadTitleFromFile(const char16_t* executablePath, char16_t* title, size_t capacity) {
  CFileDX file;
  if (!file.OpenRead(executablePath)) return 0;
  uint64_t size = file.GetSize();
  if (size == InvalidFileSize || size < PayloadHeaderOffset) return 0;
  file.Seek(PayloadHeaderOffset, 0);
  unsigned char header[PayloadHeaderSize];
  if (file.Read(header, PayloadHeaderSize) != PayloadHeaderSize) return 0;
  // A title that fills the whole field has no terminator; it is taken as it
  // stands and fails below only if it does not fit the caller's buffer.
  std::string text = FieldText(header, PayloadHeaderSize);
  std::u16string wide = NarrowToWide(text.c_str());
  if (wide.size() + 1 > capacity) return 0;
  std::memcpy(title, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  return 1;
}

int ReadArchiveIndex(ArchiveHeader* header, std::vector<ArchiveEntry>* entries, CFileDX* file) {
  unsigned char raw[sizeof(ArchiveHeader)];
  if (file->Read(raw, sizeof raw) != sizeof raw) return 0;

  const ArchiveLayoutFields* layout = nullptr;
  for (const ArchiveLayoutFields* known : {&Arc20Fields, &PackFileFields})
    if (std::memcmp(raw, known->magic, 12) == 0) layout = known;
  if (!layout) return 0;
  const uint32_t entrySize = layout->entrySize, nameSize = layout->nameSize;

  uint32_t count = Load32(raw + 12);
  // An index larger than the whole file cannot be read in full; refusing it here
  // keeps a damaged count from asking for gigabytes.
  uint64_t indexSize = uint64_t{count} * entrySize;
  uint64_t fileSize = file->GetSize();
  if (fileSize == InvalidFileSize || indexSize > fileSize) return 0;

  std::unique_ptr<unsigned char[]> index(new (std::nothrow) unsigned char[indexSize + 1]());
  if (!index) return 0;
  if (indexSize && file->Read(index.get(), static_cast<uint32_t>(indexSize)) != indexSize) return 0;

  // Entries too many for the memory there is read as an index that cannot be read.
  std::vector<ArchiveEntry> fresh;
  try {
    fresh.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
      const unsigned char* record = index.get() + uint64_t{i} * entrySize;
      std::string name = FieldText(record, nameSize);
      fresh[i].name = ConvertNarrow(name.c_str(), TargetUtf8);
      // 32-bit sum, as stored positions are: archives stay below 4 GiB.
      fresh[i].position = static_cast<uint32_t>(Load32(record + nameSize) + 16 + count * entrySize);
      fresh[i].size = Load32(record + nameSize + 4);
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }

  std::memcpy(header->magic, raw, 12);
  header->count = count;
  *entries = std::move(fresh);
  return 1;
}

bool EncodeArchiveIndex(ArchiveLayout layout, const std::vector<ArchiveIndexRecord>& records, std::string* bytes) {
  const ArchiveLayoutFields& fields = FieldsOf(layout);
  std::string out(sizeof(ArchiveHeader) + records.size() * fields.entrySize, '\0');
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  std::memcpy(p, fields.magic, 12);
  Store32(p + 12, static_cast<uint32_t>(records.size()));
  for (size_t i = 0; i < records.size(); ++i) {
    unsigned char* record = p + sizeof(ArchiveHeader) + i * fields.entrySize;
    if (!StoreFieldText(record, fields.nameSize, records[i].storedName)) return false;
    Store32(record + fields.nameSize, records[i].offset);
    Store32(record + fields.nameSize + 4, records[i].size);
  }
  *bytes = std::move(out);
  return true;
}

bool EncodePayloadHeader(const std::string& title, std::string* header) {
  std::string out(PayloadHeaderSize, '\0');
  if (!StoreFieldText(reinterpret_cast<unsigned char*>(out.data()), PayloadHeaderSize, title)) return false;
  *header = std::move(out);
  return true;
}
