#include <objbase.h>
#include <windows.h>

#include "app/platform.h"

void StartPlatform() { CoInitialize(nullptr); }
void StopPlatform() { CoUninitialize(); }

uint16_t GetUserUiLanguage() { return GetUserDefaultUILanguage(); }

void* CreateNamedMutex(const char* name, uint32_t* error) {
  HANDLE handle = CreateMutexA(nullptr, TRUE, name);
  *error = GetLastError();
  return handle;
}

void CloseNamedMutex(void* handle) {
  if (handle) CloseHandle(handle);
}

void SayGameFolder(const char16_t*) {}
void SayWhereGameWasLookedFor(const char16_t*) {}
