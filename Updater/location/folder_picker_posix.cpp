// In a terminal both pickers ask for the folder as one line on standard input:
// a POSIX path (~ names a home folder, as in the shell), or a Windows path
// whose drive letter the Wine prefix resolves.
// An empty line or the end of the input gives up.
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "location/folder_picker.h"
#include "text/terminal_posix.h"
#include "text/text.h"

namespace {

// "~" and "~user" at the start name a home folder, as in the shell; an unknown
// user leaves the text as typed.
std::string ExpandHome(const std::string& typed) {
  if (typed.empty() || typed[0] != '~') return typed;
  size_t end = typed.find('/');
  std::string user = typed.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  const char* home = user.empty() ? std::getenv("HOME") : nullptr;
  if (!home || !*home) {
    const passwd* entry = user.empty() ? getpwuid(getuid()) : getpwnam(user.c_str());
    home = entry ? entry->pw_dir : nullptr;
  }
  return home ? home + (end == std::string::npos ? "" : typed.substr(end)) : typed;
}

bool ReadFolder(const char16_t* prompt, const char16_t* current, std::u16string* chosen) {
  std::string text = WideToNarrow(prompt, TargetUtf8) + "\n";
  if (current[0]) text += "(last chosen: " + WideToNarrow(current, TargetUtf8) + ")\n";
  WriteLocaleText(stderr, text + "> ");
  std::string line;
  LineRead read;
  while ((read = ReadAnswerLine(STDIN_FILENO, &line, nullptr)) == LineRead::Interrupted) {
  }
  if (read == LineRead::Ended) std::fputs("\n", stderr);
  if (read == LineRead::Ended || line.empty()) return false;
  *chosen = NarrowToWide(ExpandHome(FromLocaleText(line)).c_str());
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
