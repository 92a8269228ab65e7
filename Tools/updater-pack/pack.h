// The vendor's packing tool: builds a packed updater from a stub program and a
// folder of files, lists what a packed updater holds and checks an update
// against a copy of the installed game.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "progress.h"

struct PackOptions {
  std::string stub;
  std::string from;
  std::string title;  // UTF-8 as given on the command line
  std::string out;
  std::string game;             // a copy of the installed game to check the update against, or ""
  bool followLinks = false;     // store what a link in the update folder points to, under the link's name
  bool packFileLayout = false;  // the older "PackFile    " layout
  int listFormat = 2;           // version list with 256-byte (2) or 64-byte (1) records
  bool titleUtf8 = false;       // title stored in UTF-8 rather than Shift-JIS
};

// One archive entry as it is to be stored: the name bytes of its index field
// and either its content in memory or the file to copy it from.
struct PackEntry {
  std::string storedName;
  std::string content;
  std::string sourceFile;
  unsigned long long size = 0;
};

// Builds the packed updater and prints one line that says what it holds on
// `report`, after the report of a game folder's check. Returns "" on success,
// else what is wrong, one line for each file refused, naming it and the reason;
// OUT is then left as it was.
std::string BuildPayload(const PackOptions& options, std::FILE* report);

// Writes stub + zero padding + title header + archive of `entries` to `out`
// (through a temporary file renamed at the end). The caller has validated names.
std::string WritePayload(const std::string& stubBytes, const std::string& titleBytes, bool packFileLayout,
                         std::vector<PackEntry>& entries, const std::string& out, ByteProgress* progress = nullptr);

// Prints the rows of a version-list file (a game's "vlk.hvl"): 0 when it reads.
int ListVersionFile(const std::string& file, std::FILE* out);

// Prints title, layout, signature, entries and version-list rows of a packed
// updater. 0 when the payload reads, every row's checksum matches its entry and
// the updater would install every name; 1 when not; 2 when it cannot be read.
int ListPayload(const std::string& file, std::FILE* out);

// Holds a packed updater against a copy of the installed game (see
// game_check.h): 0 when it would install there, 2 when not or unreadable.
int CheckPayloadInGame(const std::string& file, const std::string& game, std::FILE* out);
