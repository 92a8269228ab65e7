// Whole-file operations on Windows paths, beside CFileDX: attributes, moves,
// deletes, links and the crash-safe rewrite of a small file.
#pragma once

#include <cstddef>
#include <cstdint>

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
// SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL): clears read-only.
bool ResetPathAttributes(const char16_t* path);
// MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING): one atomic rename.
bool MoveFileReplacing(const char16_t* from, const char16_t* to);
// Renames `replacement` over the existing file `replaced` as MoveFileReplacing
// does, giving it what the replaced file had besides its content: on Windows
// its attributes (hidden, system), ACL and owner, as ReplaceFileW would; on
// POSIX its mode and, where permitted, its owner. A missing `replaced` is a
// plain move.
bool MoveFileKeepingAttributes(const char16_t* replacement, const char16_t* replaced);
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

// The name beside a file through which ReplaceFileContents writes it.
constexpr char16_t ReplacementSuffix[] = u".upd-new";

// Replaces the file at `path` by `size` bytes so that a failure or a crash at
// any moment leaves either the old file or the new one whole: the bytes go to a
// fresh file beside it, are flushed, and are renamed over it. Refuses a
// read-only file as writing it in place would.
bool ReplaceFileContents(const char16_t* path, const void* data, size_t size);
