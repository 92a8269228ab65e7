#include "location/install_folder.h"

#include "app/messages.h"
#include "location/folder_picker.h"
#include "payload/filesystem.h"
#include "text/text.h"

namespace {

constexpr size_t MaxPath = 260;

bool CopyFolder(char16_t* folder, size_t capacity, const char16_t* candidate) {
  return FormatWide(folder, capacity, u"%s", candidate) >= 0;
}

// The folder holds the game when a file (not a folder) of the game's name is in it.
bool HoldsTheGame(const char16_t* folder) {
  char16_t executable[MaxPath];
  if (FormatWide(executable, MaxPath, u"%s\\%s", folder, GameExecutableName) < 0) return false;
  uint32_t attributes = GetPathAttributes(executable);
  return attributes != InvalidFileAttributes && !(attributes & FileAttributeDirectory);
}

}  // namespace

InstallResult SelectInstallFolder(char16_t* folder, size_t capacity) {
  YCFolderDialog dialog;
  dialog.SetTitle(GetMessageText(MessageSelectFolder));
  CFolderBrowser browser(nullptr);
  browser.SetCaption(GetMessageText(MessageBrowserCaption));
  browser.SetPrompt(GetMessageText(MessageSelectFolder));

  for (;;) {
    const char16_t* candidate;
    int picked = dialog.Show(nullptr);
    if (picked == FolderPicked) {
      candidate = dialog.GetPath();
    } else if (picked == FolderPickCancelled) {
      break;
    } else {
      if (browser.Show() != FolderPicked) break;
      candidate = browser.GetPath();
    }
    // A folder too long for the buffer cannot be used, like one without the game.
    if (CopyFolder(folder, capacity, candidate)) {
      size_t length = WideLength(folder);
      if (length > 0 && (folder[length - 1] == u'\\' || folder[length - 1] == u'/')) folder[length - 1] = 0;
      if (HoldsTheGame(folder)) return InstallSucceeded;
    }
    ShowWarningBox(GetMessageText(MessageGameNotInFolder));
  }
  ShowInfoBox(GetMessageText(MessageCancelling));
  return InstallCancelled;
}
