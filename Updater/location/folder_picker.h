// The two folder pickers: the shell's file-open dialog in folder mode, and the
// older folder browser where that dialog cannot be created. In the POSIX port
// both read the folder from the terminal.
#pragma once

#include <cstdint>
#include <string>

#include "text/text.h"

enum FolderPickResult : int {
  FolderPicked = 1,
  FolderPickCancelled = 2,
  FolderPickUnavailable = 3,
};

class YCFolderDialog {
 public:
  YCFolderDialog() = default;
  virtual ~YCFolderDialog() = default;
  void SetTitle(const char16_t* text) { title_ = text; }
  // Opens at the folder chosen last (if any); afterwards holds the new choice.
  int Show(void* owner);
  const char16_t* GetPath() const { return path_.c_str(); }

 private:
  std::u16string path_;
  std::u16string title_;
};

class CFolderBrowser {
 public:
  explicit CFolderBrowser(void* owner) : owner_(owner) {}
  // Texts that do not fit are refused (false) and the previous text stays.
  bool SetCaption(const char16_t* text);
  bool SetPrompt(const char16_t* text);
  int Show();
  const char16_t* GetPath() const { return path_; }
  // The browser's callback: captions it and preselects the folder chosen last.
  static int BrowseCallback(void* window, unsigned message, intptr_t lParam, intptr_t data);

 private:
  void* owner_;
  char16_t path_[MaxPathCapacity] = {};
  char16_t caption_[128] = {};
  char16_t prompt_[512] = {};
};
