#include <windows.h>

#include "app/messages.h"

int PlatformMessageBox(void* owner, const char16_t* text, const char16_t* caption, uint32_t style) {
  return MessageBoxW(static_cast<HWND>(owner), reinterpret_cast<const wchar_t*>(text),
                     reinterpret_cast<const wchar_t*>(caption), style);
}
