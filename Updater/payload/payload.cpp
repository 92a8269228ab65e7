#include "payload/payload.h"

#include <cstring>
#include <memory>
#include <new>

#include "payload/file.h"
#include "payload/own_executable.h"
#include "text/text.h"

namespace {

uint32_t ReadLittleEndian32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// A fixed text field: the bytes up to its first NUL, and never past its end.
std::string FieldText(const unsigned char* field, size_t size) {
  const void* nul = std::memchr(field, 0, size);
  size_t length = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - field) : size;
  return std::string(reinterpret_cast<const char*>(field), length);
}

}  // namespace

int ReadPayloadTitle(char16_t* title, size_t capacity) {
  char16_t path[PathCapacity];
  if (!GetOwnExecutablePath(path, PathCapacity)) return 0;
  return ReadPayloadTitleFromFile(path, title, capacity);
}

int ReadPayloadTitleFromFile(const char16_t* executablePath, char16_t* title, size_t capacity) {
  CFileDX file;
  if (!file.OpenRead(executablePath)) return 0;
  uint32_t size = file.GetSize();
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

  uint32_t entrySize, nameSize;
  if (std::memcmp(raw, ArchiveMagicArc20, 12) == 0) {
    entrySize = Arc20EntrySize;
    nameSize = Arc20NameSize;
  } else if (std::memcmp(raw, ArchiveMagicPackFile, 12) == 0) {
    entrySize = PackFileEntrySize;
    nameSize = PackFileNameSize;
  } else {
    return 0;
  }

  uint32_t count = ReadLittleEndian32(raw + 12);
  // An index larger than the whole file cannot be read in full; refusing it here
  // keeps a damaged count from asking for gigabytes.
  uint64_t indexSize = uint64_t{count} * entrySize;
  uint32_t fileSize = file->GetSize();
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
      fresh[i].position = static_cast<uint32_t>(ReadLittleEndian32(record + nameSize) + 16 + count * entrySize);
      fresh[i].size = ReadLittleEndian32(record + nameSize + 4);
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }

  std::memcpy(header->magic, raw, 12);
  header->count = count;
  *entries = std::move(fresh);
  return 1;
}
