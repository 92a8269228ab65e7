// In a terminal both pickers ask for the folder as one line on standard input:
// a POSIX path, or a Windows path whose drive letter the Wine prefix resolves.
// An empty line or the end of the input gives up.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "location/folder_picker.h"
#include "text/text.h"

namespace {

bool ReadFolder(const char16_t* prompt, const char16_t* current, std::u16string* chosen) {
  std::fprintf(stderr, "%s\n", WideToNarrow(prompt, TargetUtf8).c_str());
  if (current[0]) std::fprintf(stderr, "(last chosen: %s)\n", WideToNarrow(current, TargetUtf8).c_str());
  std::fprintf(stderr, "> ");
  std::fflush(stderr);
  std::string line;
  int c;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return false;
  *chosen = NarrowToWide(line.c_str());
  return true;
}

}  // namespace

int YCFolderDialog::Show(void*) {
  std::u16string chosen;
  if (!ReadFolder(title_.c_str(), path_.c_str(), &chosen)) return FolderPickCancelled;
  path_ = chosen;
  return FolderPicked;
}

int CFolderBrowser::Show() {
  std::u16string chosen;
  if (!ReadFolder(prompt_, path_, &chosen) || chosen.size() >= std::size(path_))
    return FolderPickCancelled;
  std::memcpy(path_, chosen.c_str(), (chosen.size() + 1) * sizeof(char16_t));
  return FolderPicked;
}

int CFolderBrowser::BrowseCallback(void*, unsigned, intptr_t, intptr_t) { return 0; }
