// For now the POSIX program only shows what its own payload holds.
#include <cstdio>
#include <string>
#include <vector>

#include "payload/file.h"
#include "payload/own_executable.h"
#include "payload/payload.h"
#include "text/text.h"

int main() {
  char16_t title[TitleCapacity];
  if (!ReadPayloadTitle(title, TitleCapacity)) {
    std::fprintf(stderr, "Failed to get version information.\n");
    return 251;
  }
  std::printf("%s\n", WideToNarrow(title, TargetUtf8).c_str());

  char16_t path[PathCapacity];
  CFileDX self;
  ArchiveHeader header;
  std::vector<ArchiveEntry> entries;
  if (!GetOwnExecutablePath(path, PathCapacity) || !self.OpenRead(path) || !self.Seek(ArchiveOffset, 0) ||
      !ReadArchiveIndex(&header, &entries, &self)) {
    std::fprintf(stderr, "The installer may be damaged.\n");
    return 2;
  }
  for (const ArchiveEntry& entry : entries) {
    std::printf("%s\t%llu\t%u\n", entry.name.c_str(), static_cast<unsigned long long>(entry.position), entry.size);
  }
  return 0;
}
