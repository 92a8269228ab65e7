#include "location/install_folder.h"

#include "location/folder_picker.h"
#include "payload/filesystem.h"
#include "payload/held_folder.h"
#include "text/path_buffer.h"
#include "text/text.h"

namespace {

bool CopyFolder(char16_t* folder, size_t capacity, const char16_t* candidate) {
  return FormatWide(folder, capacity, u"%s", candidate) >= 0;
}

}  // namespace

bool HoldGameFolder(const char16_t* folder) {
  PathBuffer<MaxPathCapacity> executable;
  if (!executable.Format(u"%s\\%s", folder, GameExecutableName) || !HoldFolder(folder)) return false;
  // Looked up in the held folder, a link taken as itself: a file, not a folder, not a link.
  uint32_t attributes = GetPathAttributes(executable.c_str());
  if (attributes != InvalidFileAttributes && !(attributes & (FileAttributeDirectory | FileAttributeReparsePoint)))
    return true;
  ReleaseHeldFolder();
  return false;
}

InstallResult SelectInstallFolder(char16_t* folder, size_t capacity, const FolderChoiceTexts& texts) {
  YCFolderDialog dialog;
  dialog.SetTitle(texts.selectFolder);
  CFolderBrowser browser(nullptr);
  browser.SetCaption(texts.browserCaption);
  browser.SetPrompt(texts.selectFolder);

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
      if (HoldGameFolder(folder)) return InstallSucceeded;
    }
    texts.warn(texts.gameNotInFolder);
  }
  texts.inform(texts.cancelling);
  return InstallCancelled;
}
