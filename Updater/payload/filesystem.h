// Whole-file operations on Windows paths, beside CFileDX: attributes, moves,
// deletes, links and the crash-safe rewrite of a small file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class CFileDX;

constexpr uint32_t InvalidFileAttributes = 0xFFFFFFFFu;
constexpr uint32_t FileAttributeReadOnly = 0x1;
constexpr uint32_t FileAttributeDirectory = 0x10;
constexpr uint32_t FileAttributeReparsePoint = 0x400;  // a link (symbolic link, junction)

// GetFileAttributesW: InvalidFileAttributes when nothing of that name exists;
// a link has FileAttributeReparsePoint besides its target's attributes.
uint32_t GetPathAttributes(const char16_t* path);
// True only when the system says that nothing of that name exists (not found,
// or a folder on the way missing). A path it cannot look at, such as one
// through a link below the held folder, is not known to be absent.
bool PathIsAbsent(const char16_t* path);
// SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL): clears read-only, only of
// a file that has no other name (attributes belong to the file, and its other
// name may be anyone's). `previous`, when given, receives what the file had,
// for RestorePathAttributes.
bool ResetPathAttributes(const char16_t* path, uint32_t* previous = nullptr);
bool RestorePathAttributes(const char16_t* path, uint32_t previous);
// Gives the file `replacement` what the file `replaced` has besides its
// content, before it is renamed over it: on Windows its hidden and system
// attributes, ACL and, where the system lets it be given, owner (as
// ReplaceFileW keeps them); on POSIX its mode and, where permitted, owner.
bool TakeAttributesOf(const char16_t* replaced, const char16_t* replacement);
// MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING): one atomic rename.
bool MoveFileReplacing(const char16_t* from, const char16_t* to);
// Removes a file, or a link itself (never what it points to).
bool RemoveFile(const char16_t* path);
// A second name for an existing file's current content: a hard link, or a copy
// where the volume has none. Fails if `link` exists.
bool LinkOrCopyFile(const char16_t* existing, const char16_t* link);
// Makes the folder entries changed by renames in the folder of `path` durable
// (POSIX fsync of the folder; Windows needs nothing).
bool FlushFolderOf(const char16_t* path);

// The system's code for why the last failed file operation failed (errno;
// GetLastError()), read right after the failure; 0 when the system gave none.
uint32_t LastFileError();
void ClearLastFileError();

// The name beside a file through which RewriteFile writes it.
constexpr char16_t ReplacementSuffix[] = u".upd-new";

// Rewrites the existing file at `path` through open files only, never by a
// name looked up again: it is opened once (as CFileDX::OpenRead opens it: in
// a held folder never a link, nor a file with another name) and refused when
// read-only; `rewrite` reads it through that open file and gives the new
// content, which goes to a file created new beside it, takes the old file's
// attributes (as TakeAttributesOf), is flushed and is renamed over the old
// one through its own handle. A failure or a crash at any moment leaves the
// old file or the new one whole. False, with the old file as it was, when it
// cannot be opened, `rewrite` gives false or the new file cannot be written;
// `why` is then set to the cause where the system gives none (and left as it
// is otherwise).
using Rewrite = std::function<bool(CFileDX& old, std::string* content)>;
bool RewriteFile(const char16_t* path, const Rewrite& rewrite, const char** why = nullptr);
