// Temporary folders, whole-file reads and writes, version lists and payloads
// made with the project's own packing code, for the tests. A failure throws,
// which fails the test.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "pack.h"

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& relative) const { return path_ + "/" + relative; }
  // The same as a UTF-16 path for CFileDX and the other Windows-style interfaces.
  std::u16string Wide(const std::string& relative = "") const;

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool FileExists(const std::string& path);
std::u16string ToWide(const std::string& utf8);

// A packed updater at `path` holding `entries` in order (names stored as given),
// behind a small stub. Returns the path.
std::string MakePayloadFile(const std::string& path, std::vector<PackEntry> entries,
                            const std::string& title = "Test Update", bool packFileLayout = false);
PackEntry MemoryEntry(const std::string& storedName, const std::string& content);

// One file of an update: its path relative to the game folder ("\" separated)
// and its content. The archive stores the bare name.
struct UpdateFile {
  std::string name;
  std::string content;
};

// A packed update like the vendor's tool makes: "VLK.hvl" first with a row and
// the checksum of every file, then the files. `listFormat` 2 or 1.
std::string MakeUpdatePayload(const std::string& path, const std::vector<UpdateFile>& files, int listFormat = 2);
// The bytes of a version list with these rows (names stored as given) and the
// checksums of their contents.
std::string VersionListBytes(const std::vector<UpdateFile>& files, int listFormat = 2);

// The game before an update: a file outside the update, three it replaces (one
// in data/), and both lists. Its version list has a row of a file since removed
// and a second row for Game.pak in other letters.
std::map<std::string, std::string> OldGame();
// Writes each file below `folder`, making the folders on the way.
void WriteFiles(const std::string& folder, const std::map<std::string, std::string>& files);

// How many files, folders and other handles the process has open (on POSIX
// its descriptors), to tell that an operation left none open.
size_t OpenHandles();
