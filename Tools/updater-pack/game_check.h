// An update held against a copy of the installed game, before it ships: what
// would fail on every player's machine is refused, the rest is reported.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "lists/version_list.h"

// Checks that the updater can write each of `names` (relative to the game
// folder, "\" separated, UTF-8; empty ones skipped) into the copy of the game
// at `game`: every folder on the way exists there, as a folder and not as a
// link (the updater creates none and writes through none), and no name stands
// where the game has a folder. Prints on `out` which game file each name
// replaces, in the game's spelling when its letter case differs, or that it is
// new, once all of them passed. "" or the refusals, one line for each name.
std::string CheckNamesInGame(const std::vector<std::string>& names, const std::string& game, std::FILE* out);

// Prints on `out` the rows of the game's "vlk.hvl" that `shipped` changes or
// adds, as the updater merges them, and those it then drops because their
// files are gone from the game once `installs` (the update's names) are in.
void ReportVersionRows(const VersionList& shipped, const std::vector<std::string>& installs, const std::string& game,
                       std::FILE* out);
