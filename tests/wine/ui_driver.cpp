// Drives the packed updater from outside, the way a user (or another program)
// would: starts it, waits for its windows, reads what they show, presses their
// buttons and sends them messages. It runs a script of steps (README.md beside
// this file) and prints one UTF-8 line per thing it saw; the shell test
// compares those lines.
//
//   ui_driver.exe SCRIPT
//
// Exit status 0 when every step passed and every started process has ended;
// 1 when a step failed or timed out, after killing the processes it started.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
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

// ---------------------------------------------------------------- text and output

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                      nullptr);
  return narrow;
}

// Quoted the way the script writes texts, so an expected line reads like the script.
std::string Quote(const std::wstring& text) {
  std::string out = "\"";
  for (char c : ToUtf8(text)) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '"') out += "\\\"";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out + "\"";
}

// Raw bytes to the standard output: no code page may touch the UTF-8.
void Say(const std::string& line) {
  std::string text = line + "\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string Hex(DWORD value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(value));
  return buffer;
}

std::string RectText(const RECT& r) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
  return buffer;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096];
  int length = GetWindowTextW(window, buffer, 4096);
  return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256];
  int length = GetClassNameW(window, buffer, 256);
  return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

bool IsClass(HWND window, const wchar_t* name) { return _wcsicmp(ClassName(window).c_str(), name) == 0; }

// The size of a file another process is writing; 0 while it does not exist.
uint64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

// ---------------------------------------------------------------- windows

std::vector<HWND> TopWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

DWORD OwnerProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::vector<HWND> VisibleWindows(DWORD pid) {
  std::vector<HWND> windows;
  for (HWND window : TopWindows())
    if (IsWindowVisible(window) && OwnerProcess(window) == pid) windows.push_back(window);
  return windows;
}

std::vector<HWND> VisibleDialogs(DWORD pid) {
  std::vector<HWND> dialogs;
  for (HWND window : VisibleWindows(pid))
    if (IsClass(window, L"#32770")) dialogs.push_back(window);
  return dialogs;
}

// A message box holds static texts and buttons only; the folder dialog has more.
bool IsMessageBox(HWND dialog) {
  if (!GetDlgItem(dialog, BoxTextId) || GetDlgItem(dialog, StatusLineId)) return false;
  for (HWND child : Children(dialog))
    if (!IsClass(child, L"Static") && !IsClass(child, L"Button")) return false;
  return true;
}

bool IsProgressWindow(HWND dialog) { return GetDlgItem(dialog, CancelButtonId) && GetDlgItem(dialog, StatusLineId); }

struct ButtonName {
  int id;
  const char* name;
};
constexpr ButtonName ButtonNames[] = {{IDOK, "ok"},       {IDCANCEL, "cancel"}, {IDABORT, "abort"},
                                      {IDRETRY, "retry"}, {IDIGNORE, "ignore"}, {IDYES, "yes"},
                                      {IDNO, "no"},       {IDCLOSE, "close"},   {IDHELP, "help"}};

int ButtonId(const std::string& name) {
  for (const auto& b : ButtonNames)
    if (name == b.name) return b.id;
  return 0;
}

// The first monitor as the system enumerates it.
RECT FirstMonitor() {
  struct State {
    RECT rect{};
    bool found = false;
  } state;
  EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR, HDC, LPRECT rect, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<State*>(data);
        if (!s->found) s->rect = *rect, s->found = true;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&state));
  return state.rect;
}

// ---------------------------------------------------------------- pixels

using Pixels = std::vector<uint8_t>;  // RGB rows

// Draws into a 32-bit top-down bitmap and returns its pixels as RGB.
template <typename Paint>
Pixels DrawOffscreen(int width, int height, Paint paint) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  paint(memory, screen);
  GdiFlush();
  Pixels rgb(static_cast<size_t>(width) * height * 3);
  const auto* pixels = static_cast<const uint8_t*>(bits);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    rgb[i * 3] = pixels[i * 4 + 2];
    rgb[i * 3 + 1] = pixels[i * 4 + 1];
    rgb[i * 3 + 2] = pixels[i * 4];
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return rgb;
}

// What the screen shows in a rectangle.
Pixels GrabScreen(const RECT& r) {
  return DrawOffscreen(r.right - r.left, r.bottom - r.top, [&](HDC memory, HDC screen) {
    BitBlt(memory, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
  });
}

// Which standard icon a message box shows. Its icon handle belongs to the other
// process, so the picture on screen is compared with the same icons drawn here.
std::string IconKind(HWND box) {
  HWND icon = nullptr;
  for (HWND child : Children(box))
    if (IsClass(child, L"Static") && IsWindowVisible(child) &&
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
      icon = child;
  if (!icon) return "none";
  RECT r;
  GetWindowRect(icon, &r);
  int size = GetSystemMetrics(SM_CXICON);
  RECT square{r.left, r.top, r.left + size, r.top + size};
  Pixels shown = GrabScreen(square);
  COLORREF background = RGB(shown[0], shown[1], shown[2]);  // every standard icon leaves its corner clear
  const struct {
    LPCWSTR id;
    const char* name;
  } kinds[] = {{IDI_WARNING, "warning"}, {IDI_INFORMATION, "information"}, {IDI_QUESTION, "question"},
               {IDI_ERROR, "error"}};
  for (const auto& kind : kinds) {
    Pixels drawn = DrawOffscreen(size, size, [&](HDC memory, HDC) {
      RECT all{0, 0, size, size};
      HBRUSH brush = CreateSolidBrush(background);
      FillRect(memory, &all, brush);
      DeleteObject(brush);
      DrawIconEx(memory, 0, 0, LoadIconW(nullptr, kind.id), size, size, 0, nullptr, DI_NORMAL);
    });
    if (drawn == shown) return kind.name;
  }
  return "unknown";
}

// ---------------------------------------------------------------- PNG files

uint32_t Crc(const uint8_t* data, size_t size) {
  static uint32_t table[256];
  if (!table[1]) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBigEndian(out, Crc(out.data() + start, out.size() - start));
}

// The zlib stream uses stored blocks: no compressor needed, and every reader takes it.
bool WritePng(const std::wstring& path, int width, int height, const Pixels& rgb) {
  std::vector<uint8_t> raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter: none
    auto row = rgb.begin() + static_cast<ptrdiff_t>(y) * width * 3;
    raw.insert(raw.end(), row, row + width * 3);
  }
  std::vector<uint8_t> z = {0x78, 0x01};
  for (size_t at = 0;;) {
    size_t length = std::min<size_t>(65535, raw.size() - at);
    bool last = at + length == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<uint8_t>(length));
    z.push_back(static_cast<uint8_t>(length >> 8));
    z.push_back(static_cast<uint8_t>(~length));
    z.push_back(static_cast<uint8_t>(~length >> 8));
    z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + length));
    at += length;
    if (last) break;
  }
  uint32_t a = 1, b = 0;
  for (uint8_t byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  PutBigEndian(z, (b << 16) | a);

  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutBigEndian(header, static_cast<uint32_t>(width));
  PutBigEndian(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", {});

  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, png.data(), static_cast<DWORD>(png.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == png.size();
}

// ---------------------------------------------------------------- the script

struct Failure {
  std::string what;
};

[[noreturn]] void Fail(const std::string& what) { throw Failure{what}; }

std::vector<std::string> Tokenize(const std::string& text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '#') {
      while (i < text.size() && text[i] != '\n') ++i;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      ++i;
    } else if (c == '"') {
      std::string token;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
          char e = text[++i];
          token += e == 'n' ? '\n' : e == 'r' ? '\r' : e;
        } else {
          token += text[i];
        }
      }
      if (i >= text.size()) Fail("script: unterminated quote");
      ++i;
      tokens.push_back(token);
    } else {
      size_t start = i;
      while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n') ++i;
      tokens.push_back(text.substr(start, i - start));
    }
  }
  return tokens;
}

struct Process {
  PROCESS_INFORMATION info{};
  std::set<HWND> visible;  // its visible top-level windows at the last look
  int appeared = 0;        // how many times one of its windows became visible
};

class Driver {
 public:
  explicit Driver(std::vector<std::string> tokens) : tokens_(std::move(tokens)) {}

  ~Driver() {
    Thaw();
    for (auto& [name, process] : processes_) {
      if (WaitForSingleObject(process.info.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.info.hProcess, 0xDEAD);
        WaitForSingleObject(process.info.hProcess, 5000);
        Say("killed " + name);
      }
    }
  }

  void Run() {
    while (at_ < tokens_.size()) Step(Next());
    for (auto& [name, process] : processes_)
      if (WaitForSingleObject(process.info.hProcess, 0) == WAIT_TIMEOUT)
        Fail("process " + name + " still running at the end of the script");
  }

 private:
  std::vector<std::string> tokens_;
  size_t at_ = 0;
  std::map<std::string, Process> processes_;
  std::string current_;      // the process whose windows the steps look at
  DWORD timeoutMs_ = 30000;  // for every wait
  HANDLE gameMutex_ = nullptr;
  HWND box_ = nullptr;       // the message box found last
  HWND progress_ = nullptr;  // the progress window found last
  HWND folder_ = nullptr;    // the folder dialog found last
  std::set<HWND> pressed_;   // boxes already answered, which may linger a moment
  HWND window_ = nullptr;    // the window found last, for screenshots
  HANDLE frozen_ = nullptr;  // the updater's UI thread while it is suspended

  std::string Next() {
    if (at_ >= tokens_.size()) Fail("script: step '" + tokens_.back() + "' lacks an argument");
    return tokens_[at_++];
  }

  Process& Need(const std::string& name) {
    auto found = processes_.find(name);
    if (found == processes_.end()) Fail("unknown process '" + name + "'");
    return found->second;
  }

  // Counts windows as they appear, so that "it showed no window" can be checked.
  void NoteWindows() {
    for (auto& [name, process] : processes_) {
      std::vector<HWND> now = VisibleWindows(process.info.dwProcessId);
      for (HWND window : now)
        if (!process.visible.count(window)) ++process.appeared;
      process.visible = std::set<HWND>(now.begin(), now.end());
    }
  }

  // While the installation is suspended nothing moves, so the steps in between
  // cannot race it; every wait lets it run again.
  void Freeze() {
    if (frozen_) return;
    DWORD thread = GetWindowThreadProcessId(NeedProgress(), nullptr);
    frozen_ = OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread);
    if (!frozen_ || SuspendThread(frozen_) == static_cast<DWORD>(-1)) Fail("cannot suspend the updater's thread");
  }

  void Thaw() {
    if (!frozen_) return;
    ResumeThread(frozen_);
    CloseHandle(frozen_);
    frozen_ = nullptr;
  }

  // Waits until `found` returns a window; fails when the process ends first or time runs out.
  template <typename Find>
  HWND WaitFor(const std::string& what, Find found) {
    Thaw();
    Process& process = Need(current_);
    DWORD start = GetTickCount();
    for (;;) {
      NoteWindows();
      if (HWND window = found()) {
        NoteWindows();
        return window;
      }
      if (WaitForSingleObject(process.info.hProcess, 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.info.hProcess, &code);
        Fail("process " + current_ + " ended (" + Hex(code) + ") while waiting for " + what);
      }
      if (GetTickCount() - start > timeoutMs_) Fail("timed out waiting for " + what + "; " + OpenWindows(process));
      Sleep(PollMs);
    }
  }

  void WaitGone(const std::string& what, HWND window) {
    WaitFor(what, [&]() -> HWND { return IsWindow(window) ? nullptr : GetDesktopWindow(); });
  }

  std::string OpenWindows(const Process& process) {
    std::string open;
    for (HWND window : VisibleDialogs(process.info.dwProcessId))
      open += " [" + (IsMessageBox(window) ? BoxLine(window) : "window " + Quote(WindowText(window))) + "]";
    return "open windows:" + (open.empty() ? std::string(" none") : open);
  }

  HWND NeedProgress() {
    if (!progress_ || !IsWindow(progress_)) Fail("no progress window");
    return progress_;
  }

  std::string ProgressLine(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    HWND cancel = GetDlgItem(window, CancelButtonId);
    return "progress caption=" + Quote(WindowText(window)) +
           " status=" + Quote(WindowText(GetDlgItem(window, StatusLineId))) +
           " cancel=" + (IsWindowEnabled(cancel) ? "enabled" : "disabled") + " rect=" + RectText(r) +
           " monitor=" + RectText(FirstMonitor());
  }

  std::string BoxLine(HWND box) {
    std::string buttons, defaultButton = "none";
    for (const auto& b : ButtonNames) {
      HWND button = GetDlgItem(box, b.id);
      if (!button || !IsWindowVisible(button)) continue;
      buttons += std::string(buttons.empty() ? "" : ",") + b.name;
      if ((GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) defaultButton = b.name;
    }
    HWND owner = GetWindow(box, GW_OWNER);
    std::string ownerText = !owner ? "none" : owner == progress_ ? "progress" : "other";
    return "box caption=" + Quote(WindowText(box)) + " text=" + Quote(WindowText(GetDlgItem(box, BoxTextId))) +
           " icon=" + IconKind(box) + " buttons=" + buttons + " default=" + defaultButton + " owner=" + ownerText;
  }

  void Step(const std::string& step) {
    if (step == "timeout") {
      timeoutMs_ = static_cast<DWORD>(std::atoi(Next().c_str())) * 1000;
    } else if (step == "start") {
      std::string name = Next();
      std::wstring path = FromUtf8(Next());
      std::wstring command = L"\"" + path + L"\"";
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      Process process;
      if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process.info))
        Fail("cannot start " + ToUtf8(path) + ": error " + std::to_string(GetLastError()));
      processes_[name] = process;
      if (current_.empty()) current_ = name;
      Say("started " + name);
    } else if (step == "use") {
      current_ = Next();
      Need(current_);
    } else if (step == "hold-game-mutex") {
      gameMutex_ = CreateMutexA(nullptr, TRUE, GameMutexName);
      if (!gameMutex_) Fail("cannot create the game mutex");
      Say("holding the game mutex");
    } else if (step == "expect-box") {
      std::wstring text = FromUtf8(Next());
      DWORD pid = Need(current_).info.dwProcessId;
      box_ = WaitFor("the box " + Quote(text), [&]() -> HWND {
        for (HWND dialog : VisibleDialogs(pid)) {
          if (!IsMessageBox(dialog) || pressed_.count(dialog)) continue;
          std::wstring shown = WindowText(GetDlgItem(dialog, BoxTextId));
          if (shown.empty()) continue;  // still being filled in
          if (shown != text) Fail("expected the box " + Quote(text) + ", got " + BoxLine(dialog));
          return dialog;
        }
        return nullptr;
      });
      window_ = box_;
      // Painted a moment after it shows: wait for its icon, and for screenshots.
      Sleep(300);
      for (int i = 0; i < 20 && IconKind(box_) == "unknown"; ++i) Sleep(100);
      Say(BoxLine(box_));
    } else if (step == "press") {
      std::string name = Next();
      if (!box_ || !IsWindow(box_)) Fail("press " + name + ": no box");
      int id = ButtonId(name);
      HWND button = GetDlgItem(box_, id);
      if (!id || !button || !IsWindowVisible(button)) Fail("press " + name + ": the box has no such button");
      PostMessageW(box_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
      pressed_.insert(box_);
      Say("pressed " + name);
      if (!frozen_) WaitGone("the box to close", box_);
    } else if (step == "expect-progress") {
      DWORD pid = Need(current_).info.dwProcessId;
      progress_ = WaitFor("the progress window", [&]() -> HWND {
        for (HWND dialog : VisibleDialogs(pid))
          if (IsProgressWindow(dialog)) return dialog;
        return nullptr;
      });
      window_ = progress_;
      Freeze();
      Say(ProgressLine(progress_));
    } else if (step == "expect-status") {
      std::wstring text = FromUtf8(Next());
      HWND window = NeedProgress();
      WaitFor("the status " + Quote(text), [&]() -> HWND {
        return WindowText(GetDlgItem(window, StatusLineId)) == text ? window : nullptr;
      });
      Freeze();
      Say(ProgressLine(window));
    } else if (step == "show-progress") {
      Say(ProgressLine(NeedProgress()));
    } else if (step == "run") {
      Thaw();
      Sleep(static_cast<DWORD>(std::atoi(Next().c_str())));
      Freeze();
    } else if (step == "run-until-size") {
      // The bar's position is the updater's own answer at its next poll,
      // bracketed by the file's size just before and after it.
      std::wstring path = FromUtf8(Next());
      uint64_t bytes = std::strtoull(Next().c_str(), nullptr, 10);
      HWND window = NeedProgress();
      WaitFor(ToUtf8(path) + " to reach " + std::to_string(bytes) + " bytes",
              [&]() -> HWND { return FileSize(path) >= bytes ? window : nullptr; });
      uint64_t before = FileSize(path);
      HWND bar = GetDlgItem(window, FileBarId);
      DWORD_PTR position = 0, maximum = 0;
      if (!SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 10000, &position) ||
          !SendMessageTimeoutW(bar, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 10000, &maximum))
        Fail("cannot read the file bar");
      uint64_t after = FileSize(path);
      Freeze();
      Say("file-bar=" + std::to_string(position) + "/" + std::to_string(maximum) + " size=" +
          std::to_string(before) + ".." + std::to_string(after));
    } else if (step == "freeze") {
      Freeze();
    } else if (step == "press-cancel") {
      HWND window = NeedProgress();
      HWND button = GetDlgItem(window, CancelButtonId);
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(CancelButtonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
      Say("pressed cancel");
    } else if (step == "post" || step == "send") {
      // Posted: handled at the updater's next poll. Sent: handled when the call returns.
      std::string what = Next();
      UINT message = 0;
      WPARAM wParam = 0;
      if (what == "close") message = WM_CLOSE;
      else if (what == "syscommand-close") message = WM_SYSCOMMAND, wParam = SC_CLOSE;
      else if (what == "command-ok") message = WM_COMMAND, wParam = IDOK;
      else if (what == "command-cancel") message = WM_COMMAND, wParam = IDCANCEL;
      else if (what == "key-escape") message = WM_KEYDOWN, wParam = VK_ESCAPE;
      else if (what == "key-alt-f4") message = WM_SYSKEYDOWN, wParam = VK_F4;
      else Fail(step + ": unknown message " + what);
      HWND window = NeedProgress();
      LPARAM lParam = 0;
      if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        // Keys go to the control that has the focus, as typing would.
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus)
          window = info.hwndFocus;
        lParam = 1 | (message == WM_SYSKEYDOWN ? 1 << 29 : 0);  // repeat count 1; Alt held
        if (step == "send") Fail("send: keys are posted");
      }
      if (step == "post") {
        if (!PostMessageW(window, message, wParam, lParam)) Fail("cannot post " + what);
      } else {
        if (frozen_) Fail("send " + what + ": the updater is suspended");
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, message, wParam, 0, SMTO_ABORTIFHUNG, 10000, &result))
          Fail("send " + what + ": not delivered");
      }
      Say((step == "post" ? "posted " : "sent ") + what);
    } else if (step == "post-quit") {
      DWORD thread = GetWindowThreadProcessId(NeedProgress(), nullptr);
      if (!PostThreadMessageW(thread, WM_QUIT, 0, 0)) Fail("cannot post the quit message");
      Say("posted quit");
    } else if (step == "expect-cancel-disabled") {
      // The window goes soon after the button is disabled: look without pause.
      HWND window = NeedProgress();
      HWND button = GetDlgItem(window, CancelButtonId);
      Thaw();
      DWORD start = GetTickCount();
      for (;;) {
        // One read: a window that is gone has no style at all.
        LONG style = GetWindowLongW(button, GWL_STYLE);
        if (!style) Fail("the progress window went away with its Cancel button enabled");
        if (style & WS_DISABLED) break;
        if (GetTickCount() - start > timeoutMs_) Fail("timed out waiting for the Cancel button to be disabled");
      }
      Say("cancel disabled");
    } else if (step == "expect-progress-gone") {
      WaitGone("the progress window to go away", NeedProgress());
      Say("progress gone");
    } else if (step == "expect-folder-dialog") {
      std::wstring title = FromUtf8(Next());
      DWORD pid = Need(current_).info.dwProcessId;
      folder_ = WaitFor("the folder dialog " + Quote(title), [&]() -> HWND {
        for (HWND dialog : VisibleDialogs(pid))
          if (WindowText(dialog) == title && !IsMessageBox(dialog)) return dialog;
        return nullptr;
      });
      window_ = folder_;
      Sleep(300);
      Say("folder dialog " + Quote(title));
    } else if (step == "type-folder" || step == "cancel-folder") {
      // Types the folder into the dialog's name box and presses OK, or presses Cancel.
      if (!folder_ || !IsWindow(folder_)) Fail(step + ": no folder dialog");
      int button = IDCANCEL;
      if (step == "type-folder") {
        std::wstring folder = FromUtf8(Next());
        HWND edit = nullptr;
        for (HWND child : Children(folder_))
          if (!edit && IsClass(child, L"Edit") && IsWindowVisible(child)) edit = child;
        if (!edit) Fail("the folder dialog has no name box");
        DWORD_PTR result = 0;
        SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()), SMTO_ABORTIFHUNG, 5000,
                            &result);
        wchar_t typed[1024] = {};
        SendMessageTimeoutW(edit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(typed), SMTO_ABORTIFHUNG, 5000,
                            &result);
        Say("typed " + Quote(typed));
        button = IDOK;
      } else {
        Say("cancelled the folder dialog");
      }
      PostMessageW(folder_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(folder_, button)));
      WaitGone("the folder dialog to close", folder_);
    } else if (step == "screenshot") {
      std::wstring path = FromUtf8(Next());
      RECT r;
      if (!window_ || !GetWindowRect(window_, &r)) Fail("screenshot: no window");
      if (!WritePng(path, r.right - r.left, r.bottom - r.top, GrabScreen(r)))
        Fail("screenshot: cannot write " + ToUtf8(path));
    } else if (step == "wait-file") {
      // Until another program of the test creates the file; a frozen updater
      // stays frozen meanwhile.
      std::wstring path = FromUtf8(Next());
      DWORD start = GetTickCount();
      while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > timeoutMs_) Fail("timed out waiting for " + ToUtf8(path));
        Sleep(PollMs);
      }
      Say("found " + ToUtf8(path));
    } else if (step == "sleep") {
      Sleep(static_cast<DWORD>(std::atoi(Next().c_str())));
    } else if (step == "wait-exit") {
      // A message box meanwhile is a failure: nothing is left to be shown.
      std::string name = Next();
      Process& process = Need(name);
      if (name == current_) Thaw();
      DWORD start = GetTickCount();
      while (WaitForSingleObject(process.info.hProcess, PollMs) == WAIT_TIMEOUT) {
        NoteWindows();
        for (HWND dialog : VisibleDialogs(process.info.dwProcessId))
          if (IsMessageBox(dialog) && !pressed_.count(dialog) && !WindowText(GetDlgItem(dialog, BoxTextId)).empty())
            Fail("unexpected " + BoxLine(dialog) + " while waiting for " + name + " to end");
        if (GetTickCount() - start > timeoutMs_)
          Fail("timed out waiting for " + name + " to end; " + OpenWindows(process));
      }
      DWORD code = 0;
      GetExitCodeProcess(process.info.hProcess, &code);
      Say("exit " + name + " " + Hex(code) + " windows=" + std::to_string(process.appeared));
    } else if (step == "dump") {
      // For writing scripts: every window of the current process with its controls.
      for (HWND window : TopWindows()) {
        if (OwnerProcess(window) != Need(current_).info.dwProcessId) continue;
        Say("window class=" + Quote(ClassName(window)) + " text=" + Quote(WindowText(window)) +
            (IsWindowVisible(window) ? " visible" : " hidden"));
        for (HWND child : Children(window))
          Say("  child id=" + std::to_string(GetDlgCtrlID(child)) + " class=" + Quote(ClassName(child)) +
              " text=" + Quote(WindowText(child)) + (IsWindowVisible(child) ? " visible" : " hidden"));
      }
    } else {
      Fail("script: unknown step '" + step + "'");
    }
  }
};

std::string ReadScript(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("cannot open " + ToUtf8(path));
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    Say("usage: ui_driver SCRIPT");
    return 2;
  }
  try {
    Driver driver(Tokenize(ReadScript(argv[1])));
    try {
      driver.Run();
    } catch (const Failure& failure) {
      Say("FAIL: " + failure.what);
      return 1;  // the driver's destructor kills what is still running
    }
  } catch (const Failure& failure) {
    Say("FAIL: " + failure.what);
    return 1;
  }
  return 0;
}
