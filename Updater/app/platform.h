// What the entry flow needs of the operating system besides files and windows.
#pragma once

#include <cstdint>

// CoInitialize / CoUninitialize: the folder picker needs a single-threaded apartment.
void StartPlatform();
void StopPlatform();

// GetUserDefaultUILanguage: a LANGID, primary language in the low 10 bits.
uint16_t GetUserUiLanguage();

constexpr uint32_t ErrorAlreadyExists = 183;

// CreateMutexA with initial ownership: the handle (null when none could be
// made) and, in *error, GetLastError() right after (ErrorAlreadyExists when
// another process holds it).
void* CreateNamedMutex(const char* name, uint32_t* error);
void CloseNamedMutex(void* handle);
