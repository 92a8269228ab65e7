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

// What the terminal port says besides the Windows program's boxes, which stay
// as they are there (no-ops on Windows): the game folder about to be updated
// and where it came from, before the confirmation; and where the game was
// looked for when it was not found, `registered` being the registry's folder
// that did not hold the game, or null when the registry names none.
void SayGameFolder(const char16_t* folder);
void SayWhereGameWasLookedFor(const char16_t* registered);
