// The progress window: a modeless dialog from template 102 or 103, alive only
// through the polls of the install procedure.
#include <windows.h>

#include "app/app_state.h"
#include "app/progress.h"
#include "app/progress_win32.h"
#include "text/path_buffer.h"

HWND ProgressDialog = nullptr;

namespace {

constexpr WORD JapaneseTemplate = 102;
constexpr WORD EnglishTemplate = 103;

struct MonitorEntry {
  int32_t index;
  RECT rect;
  MonitorEntry* next;
};
MonitorEntry* MonitorHead = nullptr;
MonitorEntry* MonitorTail = nullptr;

class DialogControls : public ProgressControls {
 public:
  void LookUp(HWND dialog) {
    status_ = GetDlgItem(dialog, StatusLineId);
    fileBar_ = GetDlgItem(dialog, FileBarId);
    entriesBar_ = GetDlgItem(dialog, EntriesBarId);
  }
  void SetStatusText(const char16_t* text) override {
    if (status_) SetWindowTextW(status_, reinterpret_cast<const wchar_t*>(text));
  }
  void SetBarRange(int barId, uint32_t maximum) override {
    if (HWND bar = Bar(barId)) SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(maximum));
  }
  void SetBarPosition(int barId, uint32_t position) override {
    if (HWND bar = Bar(barId)) SendMessageA(bar, PBM_SETPOS, position, 0);
  }

 private:
  static constexpr UINT PBM_SETRANGE32 = 0x406;
  static constexpr UINT PBM_SETPOS = 0x402;
  HWND Bar(int barId) const { return barId == FileBarId ? fileBar_ : barId == EntriesBarId ? entriesBar_ : nullptr; }
  HWND status_ = nullptr, fileBar_ = nullptr, entriesBar_ = nullptr;
};

DialogControls Controls;

// The progress-bar class lives in comctl32, which is loaded by its full path in
// System32 (never from beside the program) and asked to register the class.
bool RegisterProgressBarClass() {
  PathBuffer<MAX_PATH> path;
  UINT length = GetSystemDirectoryW(reinterpret_cast<wchar_t*>(path.data()), MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !path.Append(u"\\comctl32.dll")) return false;
  HMODULE comctl = LoadLibraryW(reinterpret_cast<const wchar_t*>(path.c_str()));
  if (!comctl) return false;
  struct InitCommonControlsExArgs {
    DWORD size;
    DWORD classes;
  } args = {sizeof args, 0x20 /* ICC_PROGRESS_CLASS */};
  using InitFunction = BOOL(WINAPI*)(const InitCommonControlsExArgs*);
  auto init = reinterpret_cast<InitFunction>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  return init && init(&args);
}

}  // namespace

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;  // the focus goes to the first tab stop, the Cancel button
    case WM_COMMAND:
      if (LOWORD(wParam) != CancelButtonId || HIWORD(wParam) != BN_CLICKED) return FALSE;
      if (ConfirmCancel(window)) {
        if (HWND button = GetDlgItem(window, CancelButtonId)) EnableWindow(button, FALSE);
      }
      return TRUE;
    case WM_CLOSE:
      AbortRequested = 1;
      DestroyWindow(ProgressDialog);
      ProgressDialog = nullptr;
      return TRUE;
    case WM_SYSCOMMAND:
      return (wParam & 0xFFF0) == SC_CLOSE;  // swallowed, so it never becomes WM_CLOSE
    default:
      return FALSE;
  }
}

int PumpOneMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return 0;
  if (message.message == WM_QUIT) throw 0;
  if (ProgressDialog && IsDialogMessageA(ProgressDialog, &message)) return 1;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return 1;
}

ProgressControls* CurrentProgressControls() {
  if (!ProgressDialog) return nullptr;
  Controls.LookUp(ProgressDialog);
  return &Controls;
}

static BOOL CALLBACK AddMonitorEntry(HMONITOR, HDC, LPRECT rect, LPARAM) {
  auto* entry = new MonitorEntry{0, *rect, nullptr};
  if (!MonitorHead) {
    MonitorHead = MonitorTail = entry;
  } else {
    entry->index = MonitorTail->index + 1;
    MonitorTail->next = entry;
    MonitorTail = entry;
  }
  return TRUE;
}

BOOL BuildMonitorList() { return EnumDisplayMonitors(nullptr, nullptr, AddMonitorEntry, 0); }

int GetMonitorRect(RECT* rect, int32_t index) {
  for (MonitorEntry* entry = MonitorHead; entry; entry = entry->next) {
    if (entry->index == index) {
      *rect = entry->rect;
      return 1;
    }
  }
  return 0;
}

void FreeMonitorList() {
  while (MonitorHead) {
    MonitorEntry* next = MonitorHead->next;
    delete MonitorHead;
    MonitorHead = next;
  }
  MonitorTail = nullptr;
}

void CentreProgressWindow(HWND window) {
  RECT windowRect, monitor;
  GetWindowRect(window, &windowRect);
  if (!GetMonitorRect(&monitor, 0)) return;  // no monitor known: the window stays where it was made
  int32_t x, y;
  CentredPosition({windowRect.left, windowRect.top, windowRect.right, windowRect.bottom},
                  {monitor.left, monitor.top, monitor.right, monitor.bottom}, &x, &y);
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE);
}

bool CreateProgressWindow() {
  RegisterProgressBarClass();  // without it the creation below fails, which is reported
  WORD templateId = IsJapanese() ? JapaneseTemplate : EnglishTemplate;
  ProgressDialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), nullptr,
                                      ProgressDialogProc, 0);
  return ProgressDialog != nullptr;
}

void ShowProgressWindow(int showCommand) {
  BuildMonitorList();
  SetWindowTextW(ProgressDialog, reinterpret_cast<const wchar_t*>(WindowTitle));
  CentreProgressWindow(ProgressDialog);
  ShowWindow(ProgressDialog, showCommand);
}

void DestroyProgressWindow() {
  if (!ProgressDialog) return;
  DestroyWindow(ProgressDialog);
  ProgressDialog = nullptr;
}

void ReleaseProgressWindowResources() { FreeMonitorList(); }
