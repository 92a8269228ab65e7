// The install procedure bound to this process: its own payload, its progress
// window and message poll, its stop flags and the status line in its language.
#pragma once

#include "install/install_result.h"

InstallResult InstallUpdate(const char16_t* folder);
