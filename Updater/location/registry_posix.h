// Where the POSIX registry look-up looked, so that a game not found can be
// said to the player with the place it was looked for.
#pragma once

#include <string>

struct RegistryLookUp {
  std::string file;    // the prefix's system.reg
  bool read = false;   // false when it could not be read
  std::u16string key;  // below HKEY_LOCAL_MACHINE, as the 32-bit view has it; empty when not read
};

// What the last ReadInstalledFolder looked at.
const RegistryLookUp& LastRegistryLookUp();
