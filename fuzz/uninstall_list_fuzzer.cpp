// The game folder's "uninst.lst": parsed on its own, and extended and rewritten
// in a folder; the rewritten list must read back as itself.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "fuzz_support.h"
#include "lists/uninstall_list.h"

namespace {

// Parses a written list and checks that it holds exactly these groups.
void CheckReadsBackAs(const std::string& written, const UninstallLines& plain, const UninstallLines& dollar) {
  FUZZ_CHECK(!written.empty() && written.find('\0') == written.size() - 1);
  UninstallLines plainAgain, dollarAgain;
  ParseUninstallList(written.c_str(), &plainAgain, &dollarAgain);
  FUZZ_CHECK(plainAgain == plain && dollarAgain == dollar);
}

}  // namespace

const size_t MaxInputSize = 1 << 20;

void FuzzOne(const uint8_t* data, size_t size) {
  // The text up to its first NUL, in a block of exactly that size.
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t length = strnlen(input.data(), size);
  std::unique_ptr<char[]> text(new char[length + 1]);
  std::memcpy(text.get(), data, length);
  text[length] = 0;

  // Each line once, whole, without leading blanks, "$" lines in their group.
  UninstallLines plain, dollar;
  ParseUninstallList(text.get(), &plain, &dollar);
  std::string joined;
  for (const UninstallLines* group : {&plain, &dollar}) {
    for (size_t i = 0; i < group->size(); ++i) {
      const std::string& line = (*group)[i];
      FUZZ_CHECK(!line.empty() && line[0] != ' ' && line[0] != '\t' && line.find_first_of("\r\n") == std::string::npos);
      FUZZ_CHECK((line[0] == '$') == (group == &dollar));
      FUZZ_CHECK(std::find(group->begin(), group->begin() + i, line) == group->begin() + i);
      joined += line + "\n";
    }
  }
  // Normalised once, the list is its own normal form.
  CheckReadsBackAs(joined + '\0', plain, dollar);

  static const std::string folder = ScratchFolder() + "/game";
  static const std::u16string wideFolder = ToWide(folder);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  WriteBytes(folder + "/uninst.lst", input);
  const std::u16string names[] = {u"Game.PAK", u"", u"data\\Map.pak", std::u16string(800, u'n')};
  bool updated = UpdateUninstallList(wideFolder.c_str(), names, std::size(names));
  FUZZ_CHECK(updated == (size > 0));
  if (!updated) {
    FUZZ_CHECK(ReadBytes(folder + "/uninst.lst") == input);
  } else {
    // The old lines, then the new names (a name too long for a line left out).
    for (const char* name : {"game.pak", "data\\map.pak"})
      if (std::find(plain.begin(), plain.end(), name) == plain.end()) plain.push_back(name);
    CheckReadsBackAs(ReadBytes(folder + "/uninst.lst"), plain, dollar);
  }
  FUZZ_CHECK(FolderNames(folder) == std::vector<std::string>{"uninst.lst"});
}
