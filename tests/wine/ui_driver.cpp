// Drives the packed updater from outside, the way a user (or another program)
// would: starts it, waits for its windows, checks what they show, presses their
// buttons and sends them messages. It runs a script of steps (README.md beside
// this file) and prints one UTF-8 line per thing it saw.
//
//   ui_driver.exe SCRIPT
//
// Exit status 0 when every step passed and every started process has ended;
// 1 when a step failed or timed out, after killing the processes it started.
#include <windows.h>

#include <commctrl.h>
#include <objidl.h>  // before gdiplus.h, which needs it

#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr char GameMutexName[] = "Velkan General Interpreter for LumenTrail is executing.";
constexpr int CancelButtonId = 1000;
constexpr int StatusLineId = 1001;
constexpr int FileBarId = 1002;
constexpr int BoxTextId = 0xFFFF;
constexpr DWORD PollMs = 10;

struct Failure {
  std::string what;
};

void Expect(bool holds, const std::string& what) {
  if (!holds) throw Failure{what};
}

// ---------------------------------------------------------------- text and output

std::wstring FromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                      wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

std::string ToUtf8(const std::wstring& text) {
  std::string narrow(text.size() * 3, '\0');
  narrow.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                        narrow.data(), static_cast<int>(narrow.size()), nullptr,
                                                        nullptr)));
  return narrow;
}

// Quoted the way the script writes texts.
std::string Quote(const std::wstring& text) {
  std::ostringstream out;
  out << std::quoted(ToUtf8(text));
  return out.str();
}

// Raw bytes to the standard output: no code page may touch the UTF-8.
void Say(const std::string& line) {
  std::string text = line + "\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Hex(DWORD value) {
  char buffer[16];
  return std::string(buffer, std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(value)));
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096];
  return std::wstring(buffer, static_cast<size_t>(std::max(0, GetWindowTextW(window, buffer, 4096))));
}

bool IsClass(HWND window, const wchar_t* name) {
  wchar_t buffer[256] = {};
  return GetClassNameW(window, buffer, 256) && _wcsicmp(buffer, name) == 0;
}

// The size of a file another process is writing; 0 while it does not exist.
uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)
             ? uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow
             : 0;
}

// ---------------------------------------------------------------- windows

// The top-level windows, or the controls of PARENT.
std::vector<HWND> Windows(HWND parent = nullptr) {
  std::vector<HWND> windows;
  WNDENUMPROC add = [](HWND window, LPARAM data) -> BOOL {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
  };
  if (parent) EnumChildWindows(parent, add, reinterpret_cast<LPARAM>(&windows));
  else EnumWindows(add, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> VisibleDialogs(DWORD pid) {
  std::vector<HWND> dialogs;
  for (HWND window : Windows()) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == pid && IsWindowVisible(window) && IsClass(window, L"#32770")) dialogs.push_back(window);
  }
  return dialogs;
}

// A message box holds static texts and buttons only; the folder dialog has more.
bool IsMessageBox(HWND dialog) {
  if (!GetDlgItem(dialog, BoxTextId) || GetDlgItem(dialog, StatusLineId)) return false;
  for (HWND child : Windows(dialog))
    if (!IsClass(child, L"Static") && !IsClass(child, L"Button")) return false;
  return true;
}

constexpr std::pair<int, const char*> ButtonNames[] = {{IDOK, "ok"},       {IDCANCEL, "cancel"}, {IDABORT, "abort"},
                                      {IDRETRY, "retry"}, {IDIGNORE, "ignore"}, {IDYES, "yes"},
                                      {IDNO, "no"},       {IDCLOSE, "close"},   {IDHELP, "help"}};

// ---------------------------------------------------------------- pixels

// Paints into a 32-bit top-down bitmap and returns its pixels.
template <typename Paint>
std::vector<uint8_t> DrawOffscreen(int width, int height, Paint paint) {
  HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  paint(memory, screen, bitmap);
  GdiFlush();
  std::vector<uint8_t> pixels(static_cast<uint8_t*>(bits), static_cast<uint8_t*>(bits) + width * height * 4);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// What the screen shows in a rectangle; saved as a PNG file when a path is given.
std::vector<uint8_t> GrabScreen(const RECT& r, const std::wstring& png = {}) {
  return DrawOffscreen(r.right - r.left, r.bottom - r.top, [&](HDC memory, HDC screen, HBITMAP bitmap) {
    BitBlt(memory, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    if (png.empty()) return;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    const CLSID pngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    Gdiplus::Status saved = Gdiplus::Bitmap(bitmap, nullptr).Save(png.c_str(), &pngEncoder, nullptr);
    Gdiplus::GdiplusShutdown(token);
    Expect(saved == Gdiplus::Ok, "screenshot: cannot write " + ToUtf8(png));
  });
}

// Which standard icon a message box shows. Its icon handle belongs to the other
// process, so the picture on screen is compared with the same icons drawn here.
std::string IconKind(HWND box) {
  HWND icon = nullptr;
  for (HWND child : Windows(box))
    if (IsClass(child, L"Static") && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) icon = child;
  RECT r;
  if (!icon || !IsWindowVisible(icon) || !GetWindowRect(icon, &r)) return "none";
  int size = GetSystemMetrics(SM_CXICON);
  std::vector<uint8_t> shown = GrabScreen({r.left, r.top, r.left + size, r.top + size});
  for (auto [id, name] : {std::pair{IDI_WARNING, "warning"}, {IDI_INFORMATION, "information"},
                          {IDI_QUESTION, "question"}, {IDI_ERROR, "error"}}) {
    auto drawn = DrawOffscreen(size, size, [&](HDC memory, HDC, HBITMAP) {
      RECT all{0, 0, size, size};
      HBRUSH brush = CreateSolidBrush(RGB(shown[2], shown[1], shown[0]));  // an icon leaves its corner clear
      FillRect(memory, &all, brush);
      DeleteObject(brush);
      DrawIconEx(memory, 0, 0, LoadIconW(nullptr, id), size, size, 0, nullptr, DI_NORMAL);
    });
    if (drawn == shown) return name;
  }
  return "unknown";
}

// ---------------------------------------------------------------- the script

// What can be posted to the progress window: the message and its wParam.
const std::map<std::string, std::pair<UINT, WPARAM>> Messages = {
    {"close", {WM_CLOSE, 0}},
    {"syscommand-close", {WM_SYSCOMMAND, SC_CLOSE}},
    {"command-ok", {WM_COMMAND, IDOK}},
    {"command-cancel", {WM_COMMAND, IDCANCEL}},
    {"cancel-button", {WM_COMMAND, MAKEWPARAM(CancelButtonId, BN_CLICKED)}},
    {"key-escape", {WM_KEYDOWN, VK_ESCAPE}},
    {"key-alt-f4", {WM_SYSKEYDOWN, VK_F4}},
    {"quit", {WM_QUIT, 0}}};

class Driver {
 public:
  explicit Driver(const wchar_t* path) : script_(path) { Expect(script_.good(), "cannot read the script"); }

  ~Driver() {
    Thaw();
    for (auto& [name, process] : processes_)
      if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT && TerminateProcess(process.hProcess, 0xDEAD))
        Say("killed " + name);
  }

  void Run() {
    for (std::string step; script_ >> std::quoted(step);) Step(step);
    for (auto& [name, process] : processes_)
      Expect(WaitForSingleObject(process.hProcess, 0) != WAIT_TIMEOUT, name + " still runs at the end of the script");
  }

 private:
  std::ifstream script_;
  std::map<std::string, PROCESS_INFORMATION> processes_;
  std::string main_;         // the first program started, whose windows the steps look at
  DWORD timeoutMs_ = 30000;  // for every wait
  std::wstring title_;       // the caption of the updater's windows
  HWND box_ = nullptr;       // the message box found last
  HWND progress_ = nullptr;  // the progress window found last
  HWND folder_ = nullptr;    // the folder dialog found last
  HWND window_ = nullptr;    // the window found last, for screenshots
  std::set<HWND> pressed_;   // boxes already answered, which may linger a moment
  HANDLE frozen_ = nullptr;  // the updater's UI thread while it is suspended

  std::string Next() {
    std::string token;
    Expect(static_cast<bool>(script_ >> std::quoted(token)), "script: a step lacks an argument");
    return token;
  }

  PROCESS_INFORMATION& Need(const std::string& name) {
    Expect(processes_.count(name), "unknown process '" + name + "'");
    return processes_[name];
  }

  HWND NeedProgress() {
    Expect(progress_ && IsWindow(progress_), "no progress window");
    return progress_;
  }

  // While the installation is suspended nothing moves, so the steps in between
  // cannot race it; every wait lets it run again.
  void Freeze() {
    if (frozen_) return;
    frozen_ = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(NeedProgress(), nullptr));
    Expect(frozen_ && SuspendThread(frozen_) != static_cast<DWORD>(-1), "cannot suspend the updater's thread");
  }

  void Thaw() {
    if (frozen_) ResumeThread(frozen_), CloseHandle(frozen_);
    frozen_ = nullptr;
  }

  // Waits until `found` returns a window; fails when the updater ends first or time runs out.
  template <typename Find>
  HWND WaitFor(const std::string& what, Find found) {
    Thaw();
    for (DWORD start = GetTickCount();; Sleep(PollMs)) {
      if (HWND window = found()) return window;
      DWORD code = 0;
      GetExitCodeProcess(Need(main_).hProcess, &code);
      Expect(code == STILL_ACTIVE, "the updater ended (" + Hex(code) + ") while waiting for " + what);
      Expect(GetTickCount() - start <= timeoutMs_, "timed out waiting for " + what);
    }
  }

  void WaitGone(const std::string& what, HWND window) {
    WaitFor(what, [&]() -> HWND { return IsWindow(window) ? nullptr : GetDesktopWindow(); });
  }

  std::string BoxLine(HWND box) {
    std::string buttons, defaultButton = "none";
    for (auto [id, name] : ButtonNames) {
      HWND button = GetDlgItem(box, id);
      if (!button || !IsWindowVisible(button)) continue;
      buttons += std::string(buttons.empty() ? "" : ",") + name;
      if ((GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) defaultButton = name;
    }
    HWND owner = GetWindow(box, GW_OWNER);
    return "box caption=" + Quote(WindowText(box)) + " text=" + Quote(WindowText(GetDlgItem(box, BoxTextId))) +
           " icon=" + IconKind(box) + " buttons=" + buttons + " default=" + defaultButton +
           " owner=" + (!owner ? "none" : owner == progress_ ? "progress" : "other");
  }

  void Step(const std::string& step) {
    if (step == "timeout") {
      timeoutMs_ = std::stoul(Next()) * 1000;
    } else if (step == "title") {
      title_ = FromUtf8(Next());
    } else if (step == "start" || step == "start-suspended") {
      std::string name = Next();
      std::wstring path = FromUtf8(Next()), command = L"\"" + path + L"\"";
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      DWORD flags = step == "start" ? 0 : CREATE_SUSPENDED;
      Expect(CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                            &processes_[name]),
             "cannot start " + ToUtf8(path) + ": error " + std::to_string(GetLastError()));
      if (main_.empty()) main_ = name;
      Say(step == "start" ? "started " + name : "suspended " + name);
    } else if (step == "resume") {
      Expect(ResumeThread(Need(Next()).hThread) != static_cast<DWORD>(-1), "cannot resume the updater");
    } else if (step == "hold-game-mutex") {
      Expect(CreateMutexA(nullptr, TRUE, GameMutexName), "cannot create the game mutex");
    } else if (step == "expect-box" || step == "question" || step == "information" || step == "warning") {
      std::wstring text = FromUtf8(Next());
      DWORD pid = Need(main_).dwProcessId;
      box_ = window_ = WaitFor("the box " + Quote(text), [&]() -> HWND {
        for (HWND dialog : VisibleDialogs(pid)) {
          std::wstring shown = WindowText(GetDlgItem(dialog, BoxTextId));
          if (!IsMessageBox(dialog) || pressed_.count(dialog) || shown.empty()) continue;  // empty: being filled in
          Expect(shown == text, "expected the box " + Quote(text) + ", got " + BoxLine(dialog));
          return dialog;
        }
        return nullptr;
      });
      // Painted a moment after it shows: wait for its icon, and for screenshots.
      Sleep(300);
      for (int i = 0; i < 20 && IconKind(box_) == "unknown"; ++i) Sleep(100);
      std::string line = BoxLine(box_);
      Say(line);
      // Each kind has its icon and buttons, No being a question's default; the
      // progress window owns a box while it is open.
      std::string expected = "box caption=" + Quote(title_) + " text=" + Quote(text) + " icon=" + step +
                             (step == "question" ? " buttons=yes,no default=no" : " buttons=ok default=ok") +
                             " owner=" + (progress_ && IsWindow(progress_) ? "progress" : "none");
      Expect(step == "expect-box" || line == expected, "expected " + expected);
    } else if (step == "press") {
      std::string name = Next();
      Expect(box_ && IsWindow(box_), "press " + name + ": no box");
      HWND button = nullptr;
      for (auto [id, buttonName] : ButtonNames)
        if (name == buttonName) button = GetDlgItem(box_, id);
      Expect(button && IsWindowVisible(button), "press " + name + ": the box has no such button");
      PostMessageW(box_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
      pressed_.insert(box_);
      Say("pressed " + name);
      if (!frozen_) WaitGone("the box to close", box_);
    } else if (step == "expect-progress") {
      // Centred on the first monitor (the only one here), measured from the
      // screen's origin, with the Cancel button enabled; then suspended.
      std::wstring label = FromUtf8(Next()), status = FromUtf8(Next());
      DWORD pid = Need(main_).dwProcessId;
      progress_ = window_ = WaitFor("the progress window showing " + Quote(status), [&]() -> HWND {
        for (HWND dialog : VisibleDialogs(pid))
          if (GetDlgItem(dialog, CancelButtonId) && WindowText(GetDlgItem(dialog, StatusLineId)) == status)
            return dialog;
        return nullptr;
      });
      Freeze();
      HWND cancel = GetDlgItem(progress_, CancelButtonId);
      RECT r{};
      GetWindowRect(progress_, &r);
      auto line = [&](const std::wstring& caption, const std::wstring& button, bool enabled, LONG x, LONG y) {
        return "progress caption=" + Quote(caption) + " button=" + Quote(button) +
               (enabled ? " enabled" : " disabled") + " status=" + Quote(status) + " at " + std::to_string(x) +
               "," + std::to_string(y);
      };
      std::string shown = line(WindowText(progress_), WindowText(cancel), IsWindowEnabled(cancel), r.left, r.top);
      std::string expected = line(title_, label, true, (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2);
      Say(shown);
      Expect(shown == expected, "expected " + expected);
    } else if (step == "freeze") {
      Freeze();
    } else if (step == "run") {
      Thaw();
      Sleep(std::stoul(Next()));
      Freeze();
    } else if (step == "run-until-size") {
      // The bar's position is the updater's answer at its next poll, bracketed
      // by the file's size just before and after it, give or take the block
      // being copied.
      std::wstring path = FromUtf8(Next());
      uint64_t bytes = std::stoull(Next()), total = std::stoull(Next());
      HWND bar = GetDlgItem(NeedProgress(), FileBarId);
      WaitFor(ToUtf8(path) + " to reach " + std::to_string(bytes) + " bytes",
              [&]() -> HWND { return FileSize(path) >= bytes ? bar : nullptr; });
      uint64_t before = FileSize(path);
      DWORD_PTR position = 0, range = 0;
      Expect(SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 10000, &position) &&
                 SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 10000, &range) && range,
             "cannot read the file bar");
      uint64_t after = FileSize(path), shown = position * total / range;
      Freeze();
      Say("file bar " + std::to_string(position) + "/" + std::to_string(range) + " shows " + std::to_string(shown) +
          " bytes, " + std::to_string(before) + " to " + std::to_string(after) + " written");
      Expect(shown + (2 << 20) >= before && shown <= after, "the file bar is not where the bytes written put it");
    } else if (step == "post") {
      // Handled in order at the updater's next poll.
      std::string name = Next();
      Expect(Messages.count(name), "unknown message " + name);
      auto [message, wParam] = Messages.at(name);
      HWND window = NeedProgress();
      DWORD thread = GetWindowThreadProcessId(window, nullptr);
      LPARAM lParam = 0;
      if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        // Keys go to the control that has the focus, as typing would.
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) window = info.hwndFocus;
        lParam = 1 | (message == WM_SYSKEYDOWN ? 1 << 29 : 0);  // repeat count 1; Alt held
      }
      Expect(message == WM_QUIT ? PostThreadMessageW(thread, WM_QUIT, 0, 0)
                                : PostMessageW(window, message, wParam, lParam),
             "cannot post " + name);
      Say("posted " + name);
    } else if (step == "expect-cancel-disabled") {
      // The window goes soon after the button is disabled: look without pause.
      HWND button = GetDlgItem(NeedProgress(), CancelButtonId);
      Thaw();
      for (DWORD start = GetTickCount();;) {
        LONG style = GetWindowLongW(button, GWL_STYLE);  // one read: a window that is gone has no style at all
        Expect(style, "the progress window went away with its Cancel button enabled");
        if (style & WS_DISABLED) break;
        Expect(GetTickCount() - start <= timeoutMs_, "timed out waiting for the Cancel button to be disabled");
      }
      Say("cancel disabled");
    } else if (step == "expect-folder-dialog") {
      std::wstring title = FromUtf8(Next());
      DWORD pid = Need(main_).dwProcessId;
      folder_ = window_ = WaitFor("the folder dialog " + Quote(title), [&]() -> HWND {
        for (HWND dialog : VisibleDialogs(pid))
          if (WindowText(dialog) == title && !IsMessageBox(dialog)) return dialog;
        return nullptr;
      });
      Sleep(300);
      Say("folder dialog " + Quote(title));
    } else if (step == "type-folder" || step == "cancel-folder") {
      // Types the folder into the dialog's name box and presses OK, or presses Cancel.
      Expect(folder_ && IsWindow(folder_), step + ": no folder dialog");
      int button = IDCANCEL;
      if (step == "type-folder") {
        std::wstring folder = FromUtf8(Next());
        HWND edit = nullptr;
        for (HWND child : Windows(folder_))
          if (!edit && IsClass(child, L"Edit") && IsWindowVisible(child)) edit = child;
        DWORD_PTR result = 0;
        Expect(edit && SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()),
                                           SMTO_ABORTIFHUNG, 5000, &result),
               "cannot type into the folder dialog's name box");
        button = IDOK;
      }
      Say(step);
      PostMessageW(folder_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(folder_, button)));
      WaitGone("the folder dialog to close", folder_);
    } else if (step == "screenshot") {
      std::wstring path = FromUtf8(Next());
      RECT r;
      Expect(window_ && GetWindowRect(window_, &r), "screenshot: no window");
      GrabScreen(r, path);
    } else if (step == "wait-file") {
      // Until another program of the test creates the file; a suspended
      // updater stays suspended meanwhile.
      std::wstring path = FromUtf8(Next());
      for (DWORD start = GetTickCount(); GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; Sleep(PollMs))
        Expect(GetTickCount() - start <= timeoutMs_, "timed out waiting for " + ToUtf8(path));
      Say("found " + ToUtf8(path));
    } else if (step == "wait-exit") {
      // NAME [CODE]: a message box meanwhile fails, nothing being left to show.
      std::string name = Next();
      PROCESS_INFORMATION& process = Need(name);
      std::string expected;
      if (script_ >> std::ws && script_.peek() == '0') expected = Next();
      if (name == main_) Thaw();
      for (DWORD start = GetTickCount(); WaitForSingleObject(process.hProcess, PollMs) == WAIT_TIMEOUT;) {
        for (HWND dialog : VisibleDialogs(process.dwProcessId))
          Expect(!IsMessageBox(dialog) || pressed_.count(dialog) || WindowText(GetDlgItem(dialog, BoxTextId)).empty(),
                 "unexpected " + BoxLine(dialog) + " while waiting for " + name + " to end");
        Expect(GetTickCount() - start <= timeoutMs_, "timed out waiting for " + name + " to end");
      }
      DWORD code = 0;
      GetExitCodeProcess(process.hProcess, &code);
      Say("exit " + name + " " + Hex(code));
      Expect(expected.empty() || std::stoul(expected, nullptr, 16) == code, "expected the exit code " + expected);
    } else {
      Expect(false, "script: unknown step '" + step + "'");
    }
  }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    Say("usage: ui_driver SCRIPT");
    return 2;
  }
  try {
    Driver(argv[1]).Run();  // its destructor kills what is still running
  } catch (const Failure& failure) {
    Say("FAIL: " + failure.what);
    return 1;
  }
  return 0;
}
