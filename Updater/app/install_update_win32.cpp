// The Windows program keeps a log of its last run in %TEMP%: the player sees
// only the result box, and support asks for the file.
#include <windows.h>

#include <cstdio>

#include "app/flow.h"
#include "app/install_update.h"
#include "text/path_buffer.h"
#include "text/text.h"

namespace {
const wchar_t* AsWide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
}  // namespace

void RecordInstallRun(const InstallRun& run) {
  PathBuffer<> path;
  DWORD length = GetTempPathW(static_cast<DWORD>(path.capacity()), reinterpret_cast<wchar_t*>(path.data()));
  if (length == 0 || length >= path.capacity() || !path.Append(ProductTitle) || !path.Append(u" updater.log")) return;
  // A fresh file every run, never written through whatever stands at the name.
  DeleteFileW(AsWide(path.c_str()));
  HANDLE file = CreateFileW(AsWide(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text = "\xEF\xBB\xBF" + RunLogText(run);
  std::string lines;  // CR LF, as Windows' own editors expect
  for (char c : text) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
  DWORD written = 0;
  WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
  CloseHandle(file);
}

std::string LocalTimeText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                now.wMinute, now.wSecond);
  return text;
}

std::string SystemErrorText(uint32_t code) {
  wchar_t* text = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string narrow = length ? WideToNarrow(reinterpret_cast<const char16_t*>(text), TargetUtf8) : "";
  LocalFree(text);
  while (!narrow.empty() && (narrow.back() == '\n' || narrow.back() == '\r' || narrow.back() == ' ')) narrow.pop_back();
  return narrow.empty() ? "error" : narrow;
}
