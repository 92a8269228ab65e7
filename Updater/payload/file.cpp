#include "payload/file.h"

#include "text/text.h"

CFileDX::CFileDX() = default;

CFileDX::~CFileDX() { Close(); }

int CFileDX::OpenRead(const char* path) {
  char16_t wide[PathCapacity];
  if (!NarrowToWide(wide, PathCapacity, path)) return 0;
  return OpenRead(wide);
}

int CFileDX::OpenWrite(const char* path, uint32_t mode) {
  char16_t wide[PathCapacity];
  if (!NarrowToWide(wide, PathCapacity, path)) return 0;
  return OpenWrite(wide, mode);
}

int SeekTo(CFileDX& file, uint64_t position) {
  return file.Seek(static_cast<uint32_t>(position), static_cast<uint32_t>(position >> 32));
}

void SystemTimeFromDosDateTime(SystemTime* time, uint16_t dosDate, uint16_t dosTime) {
  time->wYear = static_cast<uint16_t>((dosDate >> 9) + 1980);
  time->wMonth = static_cast<uint16_t>((dosDate >> 5) & 15);
  time->wDay = static_cast<uint16_t>(dosDate & 31);
  time->wHour = static_cast<uint16_t>(dosTime >> 11);
  time->wMinute = static_cast<uint16_t>((dosTime >> 5) & 63);
  time->wSecond = static_cast<uint16_t>((dosTime & 31) * 2);
}
