// Sets of target names that the updater refuses to install, with its answer.
// The install tests feed each set to the updater; the packing tool's tests
// check that the tool refuses each set that can stand in an update folder,
// naming the file and the reason, and that `list` says a payload holding one
// cannot install.
#pragma once

#include <string>
#include <vector>

#include "install/install_result.h"

struct RefusedNames {
  std::vector<std::string> names;  // relative to the game folder, "\" separated
  InstallResult result;
  const char* reason;  // a few words of the tool's message
  bool canBeFiles;     // every name can be a file below a Linux folder
};

inline std::vector<RefusedNames> RefusedNameTable() {
  std::vector<RefusedNames> table = {
      {{"..\\escape.pak"}, InstallDamaged, "", false},
      {{"sub\\..\\..\\x.pak"}, InstallDamaged, "", false},
      {{".\\dot.pak"}, InstallDamaged, "", false},
      {{"\\root.pak"}, InstallDamaged, "", false},
      {{"a\\\\b.pak"}, InstallDamaged, "", false},
      {{"C:\\abs.pak"}, InstallDamaged, "", false},
      {{"stream.pak:ads"}, InstallDamaged, "character", true},
      {{"bad|name.pak"}, InstallDamaged, "character", true},
      {{"ctl\x01.pak"}, InstallDamaged, "character", true},
      {{"trail."}, InstallDamaged, "dot or a space", true},
      {{"sub...\\x.pak"}, InstallDamaged, "dot or a space", true},
      {{"trail \\x.pak"}, InstallDamaged, "dot or a space", true},
      {{"data\\com1"}, InstallDamaged, "device name", true},
      {{"a", "a.tmp"}, InstallWriteFailed, "staging", true},
      {{"A.UPD-BACKUP", "a"}, InstallWriteFailed, "staging", true},
      {{"vlk.hvl.upd-new"}, InstallWriteFailed, "rewritten", true},
      {{"UNINST.LST.UPD-NEW"}, InstallWriteFailed, "rewritten", true},
      {{"data\\Map.pak", "DATA\\map.pak"}, InstallWriteFailed, "same", false},
  };
  for (std::string device : {"aux", "Con", "NUL.pak", "PRN.txt"}) table.push_back({{device}, InstallDamaged, "device name", true});
  for (char digit = '1'; digit <= '9'; ++digit)
    for (std::string device : {"COM", "lpt"}) table.push_back({{device + digit + ".pak"}, InstallDamaged, "device name", true});
  return table;
}
