// Finding the game folder: the registry value the game's installer wrote, or a
// folder the user picks that holds the game's executable.
#pragma once

#include <cstddef>

#include "install/install_result.h"

constexpr char16_t GameExecutableName[] = u"LUMENTRAIL.exe";

// Copies the registered folder, unchanged, into `folder` (capacity in UTF-16
// units): 1 when found; 0 (folder untouched) when missing, empty, not REG_SZ,
// larger than 8192 bytes or too long for `folder`.
int ReadInstalledFolder(char16_t* folder, size_t capacity, const char16_t* vendor, const char16_t* product);

// What the folder choice shows, in the caller's language.
struct FolderChoiceTexts {
  const char16_t* browserCaption;   // caption of the fallback folder browser
  const char16_t* selectFolder;     // title of the pickers
  const char16_t* gameNotInFolder;  // warned after a folder without the game
  const char16_t* cancelling;       // said when the user gives up
  void (*warn)(const char16_t* text);
  void (*inform)(const char16_t* text);
};

// Holds `folder` (payload/held_folder.h) when the game's executable is a file
// directly in it, looked up in the held folder: the game folder the updater
// writes in is the one the game was found in, whatever is put at its name
// later. False, with nothing held, when the game is not there.
bool HoldGameFolder(const char16_t* folder);

// Lets the user pick folders until one holds the game's executable (0, the
// folder without a trailing separator in `folder`, held by HoldGameFolder) or
// the user gives up (InstallCancelled, after telling so).
InstallResult SelectInstallFolder(char16_t* folder, size_t capacity, const FolderChoiceTexts& texts);
