// The Windows program keeps a log of its last run in %TEMP%: the player sees
// only the result box, and support asks for the file.
#include <windows.h>

#include "app/flow.h"
#include "app/install_update.h"
#include "payload/file.h"
#include "payload/filesystem.h"
#include "payload/held_folder.h"
#include "payload/held_folder_win32.h"
#include "text/path_buffer.h"
#include "text/text.h"

void RecordInstallRun(const InstallRun& run) {
  PathBuffer<> temp, path;
  DWORD length = GetTempPathW(static_cast<DWORD>(temp.capacity()), reinterpret_cast<wchar_t*>(temp.data()));
  if (length == 0 || length >= temp.capacity() || !path.Format(u"%s\\%s updater.log", temp.c_str(), ProductTitle))
    return;
  // The folder is held like the game's, with no link anywhere on its path:
  // an elevated program writes no log through a folder someone redirected.
  if (!HoldFolderWithoutLinks(temp.c_str())) return;
  std::string text = "\xEF\xBB\xBF" + RunLogText(run);
  std::string lines;  // CR LF, as Windows' own editors expect
  for (char c : text) lines += c == '\n' ? std::string("\r\n") : std::string(1, c);
  // A fresh file every run, never written through whatever stands at the name.
  RemoveFile(path.c_str());
  CFileDX log;
  if (log.OpenWrite(path.c_str(), OpenWriteCreateNew)) log.Write(lines.data(), static_cast<uint32_t>(lines.size()));
  log.Close();
  ReleaseHeldFolder();
}

std::string LocalTimeText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  // By hand: snprintf would bring some 20 KB of the C library's printf into the image.
  auto digits = [](unsigned value, int count) {
    std::string text(count, '0');
    for (int i = count - 1; i >= 0; --i, value /= 10) text[i] = static_cast<char>('0' + value % 10);
    return text;
  };
  return digits(now.wYear, 4) + "-" + digits(now.wMonth, 2) + "-" + digits(now.wDay, 2) + " " + digits(now.wHour, 2) +
         ":" + digits(now.wMinute, 2) + ":" + digits(now.wSecond, 2);
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
