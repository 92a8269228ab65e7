// The game's uninstall list "uninst.lst": read in any mix of Shift-JIS and UTF-8
// lines and line ends, extended with the installed names and written back
// normalised (UTF-8, lower case, no duplicates, "$" lines last, LF, one NUL).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr char16_t UninstallListFileName[] = u"uninst.lst";

using UninstallLines = std::vector<std::string>;

// The longest line the list is normalised in, before and after conversion to
// UTF-8. A longer line of the list is carried through as it stands (its bytes,
// its group, its place), since the uninstaller relies on it; a longer name to
// add is skipped, as cutting it would name another file.
constexpr size_t MaxUninstallLineBytes = 779;

// Adds every non-empty name not listed yet and rewrites the list through the
// one open file it was read from (RewriteFile). False when the list is
// missing, empty, unreadable, a link or a file with another name, read-only or
// cannot be written (the old list stays); `why` then names the cause where the
// system gives none.
bool UpdateUninstallList(const char16_t* folder, const std::u16string* names, size_t count,
                         const char** why = nullptr);

// Adds the lines of a NUL-terminated text to the two groups.
void ParseUninstallList(const char* text, UninstallLines* plain, UninstallLines* dollar);

// The list's text: the plain group, then the dollar group, each line ended by
// LF, and one NUL; empties both groups.
void WriteUninstallList(std::string* text, UninstallLines* plain, UninstallLines* dollar);
