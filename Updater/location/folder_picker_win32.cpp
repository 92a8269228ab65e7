#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>

#include <cstring>

#include "location/folder_picker.h"

namespace {

const wchar_t* AsWide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

template <typename T>
void Release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

int CALLBACK BrowseCallbackThunk(HWND window, UINT message, LPARAM lParam, LPARAM data) {
  return CFolderBrowser::BrowseCallback(window, message, lParam, data);
}

}  // namespace

int YCFolderDialog::Show(void* owner) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(&dialog))))
    return FolderPickUnavailable;

  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
  IShellItem* start = nullptr;
  if (!path_.empty() && SHCreateItemFromParsingName(AsWide(path_.c_str()), nullptr, IID_IShellItem,
                                                    reinterpret_cast<void**>(&start)) == S_OK)
    dialog->SetDefaultFolder(start);
  dialog->SetTitle(AsWide(title_.c_str()));

  int result = FolderPickCancelled;
  IShellItem* chosen = nullptr;
  if (dialog->Show(static_cast<HWND>(owner)) == S_OK && SUCCEEDED(dialog->GetResult(&chosen))) {
    PWSTR name = nullptr;
    if (SUCCEEDED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &name))) {
      path_ = reinterpret_cast<const char16_t*>(name);
      CoTaskMemFree(name);
      result = FolderPicked;
    }
  }
  Release(chosen);
  Release(start);
  Release(dialog);
  return result;
}

int CFolderBrowser::Show() {
  wchar_t displayName[MAX_PATH];
  // The tree starts at the computer: its item list, not the folder's number.
  PIDLIST_ABSOLUTE drives = nullptr;
  SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives);
  BROWSEINFOW info{};
  info.hwndOwner = static_cast<HWND>(owner_);
  info.pidlRoot = drives;
  info.pszDisplayName = displayName;
  info.lpszTitle = AsWide(prompt_);
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX;
  info.lpfn = BrowseCallbackThunk;
  info.lParam = reinterpret_cast<LPARAM>(this);
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (drives) CoTaskMemFree(drives);
  if (!chosen) return FolderPickCancelled;

  wchar_t path[MAX_PATH];
  std::memcpy(path, path_, sizeof path);
  SHGetPathFromIDListW(chosen, path);
  CoTaskMemFree(chosen);
  std::memcpy(path_, path, sizeof path);
  path_[MAX_PATH - 1] = 0;
  return FolderPicked;
}

int CFolderBrowser::BrowseCallback(void* window, unsigned message, intptr_t, intptr_t data) {
  if (message != BFFM_INITIALIZED) return 0;
  auto* browser = reinterpret_cast<CFolderBrowser*>(data);
  SetWindowTextW(static_cast<HWND>(window), AsWide(browser->caption_));
  wchar_t selection[MAX_PATH];
  std::memcpy(selection, browser->path_, sizeof selection);
  SendMessageW(static_cast<HWND>(window), BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(selection));
  return 0;
}
