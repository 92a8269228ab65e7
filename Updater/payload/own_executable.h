// The path of the running program's own file (GetModuleFileNameW; /proc/self/exe).
#pragma once

#include <cstddef>

bool GetOwnExecutablePath(char16_t* path, size_t capacity);
