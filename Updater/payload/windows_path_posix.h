// The one place where a Windows path becomes a POSIX path, used by every POSIX
// file operation: "\" separators become "/", a drive letter "X:" stands for the
// Wine prefix's dosdevices/x: link, and each component that names an existing
// entry is matched ASCII-case-insensitively, as Windows matches names (so
// Data\A.DAT finds data/a.dat). A component that names nothing keeps its spelling.
#pragma once

#include <string>

bool ResolveWindowsPath(const char16_t* path, std::string* posixPath);

// $WINEPREFIX, or ~/.wine when it is unset.
std::string WinePrefixFolder();
