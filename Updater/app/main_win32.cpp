// For now the Windows program only shows the title of its own payload.
#include <windows.h>

#include "payload/payload.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  char16_t title[TitleCapacity];
  if (!ReadPayloadTitle(title, TitleCapacity)) {
    MessageBoxW(nullptr, L"Failed to get version information.", L"Error", MB_OK | MB_ICONWARNING);
    return -5;
  }
  MessageBoxW(nullptr, reinterpret_cast<wchar_t*>(title), reinterpret_cast<wchar_t*>(title), MB_OK | MB_ICONINFORMATION);
  return 0;
}
