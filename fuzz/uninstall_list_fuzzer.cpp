// The game folder's "uninst.lst": parsed on its own, and extended and rewritten
// in a folder; the rewritten list must read back as itself.
#include <algorithm>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "lists/uninstall_list.h"

namespace {

void CheckGroups(const UninstallLines& plain, const UninstallLines& dollar) {
  for (const UninstallLines* group : {&plain, &dollar}) {
    for (size_t i = 0; i < group->size(); ++i) {
      const std::string& line = (*group)[i];
      FUZZ_CHECK(!line.empty() && line[0] != ' ' && line[0] != '\t');
      FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
      FUZZ_CHECK((line[0] == '$') == (group == &dollar));
      for (size_t j = 0; j < i; ++j) FUZZ_CHECK((*group)[j] != line);
    }
  }
}


// Parses a written list and checks that it holds exactly these groups.
void CheckReadsBackAs(const std::string& written, const UninstallLines& plain, const UninstallLines& dollar) {
  FUZZ_CHECK(!written.empty() && written.back() == '\0');
  FUZZ_CHECK(written.find('\0') == written.size() - 1);
  UninstallLines plainAgain, dollarAgain;
  ParseUninstallList(written.c_str(), &plainAgain, &dollarAgain);
  FUZZ_CHECK(plainAgain == plain);
  FUZZ_CHECK(dollarAgain == dollar);
}

std::string Joined(const UninstallLines& plain, const UninstallLines& dollar) {
  std::string text;
  for (const UninstallLines* group : {&plain, &dollar})
    for (const std::string& line : *group) text += line + "\n";
  return text + '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return -1;
  // The text up to its first NUL, in a block of exactly that size.
  size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<char[]> text(new char[length + 1]);
  std::memcpy(text.get(), data, length);
  text[length] = 0;

  UninstallLines plain, dollar;
  ParseUninstallList(text.get(), &plain, &dollar);
  CheckGroups(plain, dollar);
  // Normalised once, the list is its own normal form.
  CheckReadsBackAs(Joined(plain, dollar), plain, dollar);

  static const std::string folder = ScratchFolder() + "/game";
  static const std::u16string wideFolder = Wide(folder);
  RemoveTree(folder);
  MakeFolder(folder);
  WriteFileAt(folder + "/uninst.lst", 0, data, size);
  const std::u16string names[] = {u"Game.PAK", u"", u"data\\Map.pak", std::u16string(800, u'n')};
  bool updated = UpdateUninstallList(wideFolder.c_str(), names, std::size(names));
  FUZZ_CHECK(updated == (size > 0));
  std::string written = ReadFile(folder + "/uninst.lst");
  if (!updated) {
    FUZZ_CHECK(written == std::string(reinterpret_cast<const char*>(data), size));
  } else {
    // The old lines, then the new names (a name too long for a line left out).
    UninstallLines expectPlain = plain, expectDollar = dollar;
    for (const char* name : {"game.pak", "data\\map.pak"}) {
      if (std::find(expectPlain.begin(), expectPlain.end(), name) == expectPlain.end()) expectPlain.push_back(name);
    }
    CheckReadsBackAs(written, expectPlain, expectDollar);
  }
  FUZZ_CHECK(FolderNames(folder) == std::vector<std::string>{"uninst.lst"});
  return 0;
}
